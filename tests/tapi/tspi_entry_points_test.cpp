// The provider host's view of a provider: entry points looked up by name in
// a shared object built with hidden visibility and called through the
// pointer types of tspi.h.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tspi.h"

namespace {

// What the layer sees of the provider's callbacks.
struct Seen {
    std::vector<DWORD> messages;
    std::vector<std::pair<DRV_REQUESTID, LONG>> completions;
    HTAPILINE line = nullptr;
    HTAPICALL newCallHandle = nullptr;
    HTAPICALL callStateCall = nullptr;
    DWORD offeredState = 0;
};
Seen g_seen;
int g_layerCallHandle;  // stands for the layer's object of the offered call

void onCompletion(DRV_REQUESTID id, LONG result) { g_seen.completions.emplace_back(id, result); }

void onLineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD msg, DWORD_PTR p1, DWORD_PTR p2,
                 DWORD_PTR) {
    g_seen.messages.push_back(msg);
    g_seen.line = htLine;
    if (msg == LINE_NEWCALL) {
        // The layer accepts the call by storing its handle where dwParam2 points.
        EXPECT_NE(p1, 0u);
        *reinterpret_cast<LPHTAPICALL>(p2) = reinterpret_cast<HTAPICALL>(&g_layerCallHandle);
    } else if (msg == LINE_CALLSTATE) {
        g_seen.callStateCall = htCall;
        g_seen.offeredState = static_cast<DWORD>(p1);
    }
}

LONG onUiCallback(DWORD_PTR, DWORD objectType, LPVOID params, DWORD size) {
    if (objectType != TUISPIDLL_OBJECT_PROVIDERID || size != sizeof(DWORD)) return -1;
    *static_cast<DWORD*>(params) = 1;
    return 0;
}

class TspiEntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        so_ = dlopen(TAPI_STUB_PROVIDER_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(so_, nullptr) << dlerror();
        g_seen = {};
    }
    void TearDown() override {
        if (so_) dlclose(so_);
    }
    template <typename T>
    T find(const char* name) {
        return reinterpret_cast<T>(dlsym(so_, name));
    }
    void* so_ = nullptr;
};

// Walking the entry-point list finds exactly what the provider defines, and
// nothing else of it is visible.
TEST_F(TspiEntryPoints, LookupByNameFindsExactlyTheDefinedEntryPoints) {
    std::set<std::string> found;
#define X(name, params) \
    if (dlsym(so_, #name)) found.insert(#name);
    TSPI_ENTRY_POINTS(X)
#undef X
    const std::set<std::string> defined = {
        "TSPI_providerInit",      "TSPI_lineNegotiateTSPIVersion", "TSPI_lineOpen",
        "TSPI_lineMakeCall",      "TSPI_lineGetCallInfo",          "TSPI_providerUIIdentify",
        "TUISPI_providerInstall",
    };
    EXPECT_EQ(found, defined);
    EXPECT_EQ(dlsym(so_, "_Z22tapiStubProviderHelperv"), nullptr);
}

TEST_F(TspiEntryPoints, CallsThroughPointerTypesCarryHandlesTextAndEvents) {
    auto init = find<TSPI_providerInit_t>("TSPI_providerInit");
    auto negotiate = find<TSPI_lineNegotiateTSPIVersion_t>("TSPI_lineNegotiateTSPIVersion");
    auto open = find<TSPI_lineOpen_t>("TSPI_lineOpen");
    auto makeCall = find<TSPI_lineMakeCall_t>("TSPI_lineMakeCall");
    auto getCallInfo = find<TSPI_lineGetCallInfo_t>("TSPI_lineGetCallInfo");
    ASSERT_TRUE(init && negotiate && open && makeCall && getCallInfo);

    DWORD options = 0;
    ASSERT_EQ(init(TAPI_VERSION2_1, 7, 0, 0, 1, 0, onCompletion, &options), 0);
    EXPECT_EQ(options, LINETSPIOPTION_NONREENTRANT);

    DWORD version = 0;
    ASSERT_EQ(negotiate(0, TAPI_VERSION1_4, 0x00030000, &version), 0);
    EXPECT_EQ(version, TAPI_VERSION2_1);

    int layerLine;
    HTAPILINE htLine = reinterpret_cast<HTAPILINE>(&layerLine);
    HDRVLINE hdLine = nullptr;
    ASSERT_EQ(open(0, htLine, &hdLine, TAPI_VERSION2_1, onLineEvent), 0);
    ASSERT_NE(hdLine, nullptr);

    int layerCall;
    HDRVCALL hdCall = nullptr;
    EXPECT_EQ(makeCall(41, hdLine, reinterpret_cast<HTAPICALL>(&layerCall), &hdCall, u"C001123", 0,
                       nullptr),
              41);
    ASSERT_NE(hdCall, nullptr);
    EXPECT_EQ(g_seen.messages, (std::vector<DWORD>{LINE_NEWCALL, LINE_CALLSTATE}));
    EXPECT_EQ(g_seen.line, htLine);
    // The handle stored for LINE_NEWCALL comes back on the new call's events.
    EXPECT_EQ(g_seen.callStateCall, reinterpret_cast<HTAPICALL>(&g_layerCallHandle));
    EXPECT_EQ(g_seen.offeredState, LINECALLSTATE_OFFERING);
    EXPECT_EQ(g_seen.completions, (std::vector<std::pair<DRV_REQUESTID, LONG>>{{41, 0}}));

    // First the fixed part only, as a client does, then the needed size.
    alignas(4) unsigned char block[sizeof(LINECALLINFO) + 64] = {};
    auto* info = reinterpret_cast<LPLINECALLINFO>(block);
    info->dwTotalSize = sizeof(LINECALLINFO);
    ASSERT_EQ(getCallInfo(hdCall, info), 0);
    EXPECT_EQ(info->dwNeededSize, 324u + 16u);
    EXPECT_EQ(info->dwUsedSize, 324u);
    info->dwTotalSize = info->dwNeededSize;
    ASSERT_EQ(getCallInfo(hdCall, info), 0);
    EXPECT_EQ(info->dwCalledIDOffset, 324u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(block + info->dwCalledIDOffset)),
              u"C001123");
}

TEST_F(TspiEntryPoints, UserInterfaceEntryPointsReachTheLayerCallback) {
    auto identify = find<TSPI_providerUIIdentify_t>("TSPI_providerUIIdentify");
    auto install = find<TUISPI_providerInstall_t>("TUISPI_providerInstall");
    ASSERT_TRUE(identify && install);

    char16_t name[260] = {};
    ASSERT_EQ(identify(name), 0);
    EXPECT_EQ(std::u16string(name), u"tapi_stub_provider.tsp");
    EXPECT_EQ(install(onUiCallback, nullptr, 7), 0);
    EXPECT_EQ(install([](DWORD_PTR, DWORD, LPVOID, DWORD) -> LONG { return -1; }, nullptr, 7),
              LINEERR_NOMULTIPLEINSTANCE);
}

}  // namespace
