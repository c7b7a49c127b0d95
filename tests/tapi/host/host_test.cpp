#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/tapi/host/host_fixture.h"

namespace velkor::tapi {
namespace {

TEST_F(HostTest, FirstInitializeLoadsTheProviderAndLastShutdownUnloadsIt) {
    const HLINEAPP first = initialize();
    EXPECT_EQ(devices, 3u);
    EXPECT_EQ(log(), "enum;init 0;");
    const HLINEAPP second = initialize();
    EXPECT_EQ(Host::instance().providerCount(), 1u) << "loaded once per process";
    shutdown(first);
    EXPECT_EQ(Host::instance().providerCount(), 1u);
    shutdown(second);
    EXPECT_EQ(Host::instance().providerCount(), 0u);
    EXPECT_EQ(lineShutdown(second), LINEERR_INVALAPPHANDLE);
}

TEST_F(HostTest, InitializeRefusesWhatItCannotServe) {
    HLINEAPP app;
    DWORD numDevs;
    DWORD version = TAPI_VERSION1_4;
    EXPECT_EQ(lineInitializeExA(&app, nullptr, nullptr, "x", &numDevs, &version, nullptr),
              LINEERR_INCOMPATIBLEAPIVERSION);
    version = TAPI_CURRENT_VERSION;
    EXPECT_EQ(lineInitializeExA(&app, nullptr, nullptr, "x", &numDevs, &version, nullptr),
              LINEERR_INVALPOINTER) << "hidden-window delivery needs a callback";
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USECOMPLETIONPORT;
    EXPECT_EQ(lineInitializeExA(&app, nullptr, nullptr, "x", &numDevs, &version, &params),
              LINEERR_INVALPARAM);
    EXPECT_EQ(Host::instance().providerCount(), 0u);
}

TEST_F(HostTest, DevCapsInBothTextForms) {
    const HLINEAPP app = initialize();
    std::vector<std::uint8_t> buffer(1024);
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetDevCapsA(app, 1, TAPI_CURRENT_VERSION, 0, caps), 0);
    EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_ASCII);
    const std::string name(reinterpret_cast<char*>(buffer.data()) + caps->dwLineNameOffset);
    EXPECT_EQ(name, "STATION 21 (DKT) \xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(caps->dwLineNameSize, name.size() + 1);
    EXPECT_EQ(caps->dwUsedSize, caps->dwNeededSize);

    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetDevCapsW(app, 1, TAPI_CURRENT_VERSION, 0, caps), 0);
    EXPECT_EQ(caps->dwStringFormat, STRINGFORMAT_UNICODE);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer.data() + caps->dwLineNameOffset)),
              u"STATION 21 (DKT) \u00e9\u20ac");

    // Room for the fixed part only: the text is left out, the size needed told.
    std::vector<std::uint8_t> small(sizeof(LINEDEVCAPS));
    auto* fixedOnly = reinterpret_cast<LINEDEVCAPS*>(small.data());
    fixedOnly->dwTotalSize = sizeof(LINEDEVCAPS);
    ASSERT_EQ(lineGetDevCapsA(app, 1, TAPI_CURRENT_VERSION, 0, fixedOnly), 0);
    EXPECT_EQ(fixedOnly->dwLineNameSize, 0u);
    EXPECT_GT(fixedOnly->dwNeededSize, sizeof(LINEDEVCAPS));
    EXPECT_EQ(fixedOnly->dwUsedSize, sizeof(LINEDEVCAPS));

    fixedOnly->dwTotalSize = 100;
    EXPECT_EQ(lineGetDevCapsA(app, 1, TAPI_CURRENT_VERSION, 0, fixedOnly), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(lineGetDevCapsA(app, 7, TAPI_CURRENT_VERSION, 0, caps), LINEERR_BADDEVICEID);
    EXPECT_EQ(lineGetDevCapsA(app + 100, 1, TAPI_CURRENT_VERSION, 0, caps), LINEERR_INVALAPPHANDLE);
}

TEST_F(HostTest, VersionNegotiation) {
    const HLINEAPP app = initialize();
    struct Case {
        DWORD low;
        DWORD high;
        LONG result;
        DWORD version;
    };
    for (const Case c : {Case{TAPI_VERSION1_4, TAPI_VERSION2_0, 0, TAPI_VERSION2_0},
                         Case{TAPI_VERSION2_0, 0x00030000, 0, TAPI_CURRENT_VERSION},
                         Case{0x00030000, 0x00030001, LINEERR_INCOMPATIBLEAPIVERSION, 0},
                         Case{0x00010000, 0x00010002, LINEERR_INCOMPATIBLEAPIVERSION, 0}}) {
        DWORD version = 0;
        LINEEXTENSIONID ext;
        EXPECT_EQ(lineNegotiateAPIVersion(app, 0, c.low, c.high, &version, &ext), c.result);
        if (c.result == 0) {
            EXPECT_EQ(version, c.version);
        }
    }
    DWORD ext = 0;
    EXPECT_EQ(lineNegotiateExtVersion(app, 0, TAPI_CURRENT_VERSION, 1, 2, &ext),
              LINEERR_OPERATIONUNAVAIL) << "the fake has no extensions";
}

TEST_F(HostTest, ApplicationsShareOneOpenOfADevice) {
    const HLINEAPP a = initialize();
    const HLINEAPP b = initialize();
    const HLINE la = openLine(a, 0);
    const HLINE lb = openLine(b, 0);
    EXPECT_NE(la, lb);
    EXPECT_EQ(log(), "enum;init 0;open 0;");
    EXPECT_EQ(lineClose(la), 0);
    EXPECT_EQ(log(), "enum;init 0;open 0;") << "b still holds it";
    EXPECT_EQ(lineClose(la), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(lineClose(lb), 0);
    EXPECT_EQ(log(), "enum;init 0;open 0;close 0;");

    HLINE line = 0;
    EXPECT_EQ(lineOpenA(a, 2, &line, TAPI_CURRENT_VERSION, 0, 0, LINECALLPRIVILEGE_OWNER, 0, nullptr),
              LINEERR_OPERATIONFAILED) << "the provider's refusal reaches the application";
    EXPECT_EQ(lineOpenA(a, 9, &line, TAPI_CURRENT_VERSION, 0, 0, LINECALLPRIVILEGE_OWNER, 0, nullptr),
              LINEERR_BADDEVICEID);
    EXPECT_EQ(lineOpenA(a, 0, &line, TAPI_CURRENT_VERSION, 0, 0,
                        LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_OWNER, 0, nullptr),
              LINEERR_INVALPRIVSELECT);
}

TEST_F(HostTest, LineEventsReachEveryOpenWithItsHandleAndInstance) {
    const HLINEAPP app = initialize();
    const HLINE line = openLine(app, 1, 0x1234);
    fake.lineEvent(1, LINE_DEVSPECIFIC, 11, 2, 0);
    const LINEMESSAGE m = next(app);
    EXPECT_EQ(m.dwMessageID, LINE_DEVSPECIFIC);
    EXPECT_EQ(m.hDevice, line);
    EXPECT_EQ(m.dwCallbackInstance, 0x1234u);
    EXPECT_EQ(m.dwParam1, 11u);
    EXPECT_EQ(m.dwParam2, 2u);
    fake.lineEvent(0, LINE_DEVSPECIFIC, 1, 0, 0);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "device 0 is not open";
}

TEST_F(HostTest, AddressStateIsDeliveredOnlyOnceAskedFor) {
    const HLINEAPP app = initialize();
    const HLINE line = openLine(app, 0);
    fake.lineEvent(0, LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_FORWARD, 0);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u);
    ASSERT_EQ(lineSetStatusMessages(line, 0, LINEADDRESSSTATE_FORWARD), 0);
    EXPECT_NE(log().find("status 0 " + std::to_string(LINEADDRESSSTATE_FORWARD)), std::string::npos);
    fake.lineEvent(0, LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_FORWARD, 0);
    EXPECT_EQ(next(app).dwMessageID, LINE_ADDRESSSTATE);
    DWORD lineStates = 1;
    DWORD addressStates = 0;
    ASSERT_EQ(lineGetStatusMessages(line, &lineStates, &addressStates), 0);
    EXPECT_EQ(addressStates, LINEADDRESSSTATE_FORWARD);
}

TEST_F(HostTest, IncomingCallGetsAHandleAndItsPrivilegeOnFirstState) {
    const HLINEAPP owner = initialize();
    const HLINEAPP monitor = initialize();
    openLine(owner, 0);
    openLine(monitor, 0, 0, LINECALLPRIVILEGE_MONITOR);
    const HTAPICALL call = fake.newCall(0, 0x55);
    ASSERT_NE(call, nullptr);
    fake.callEvent(0, call, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, LINEMEDIAMODE_INTERACTIVEVOICE);
    fake.callEvent(0, call, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0, 0);

    const LINEMESSAGE offered = next(owner);
    EXPECT_EQ(offered.dwMessageID, LINE_CALLSTATE);
    EXPECT_EQ(offered.dwParam1, LINECALLSTATE_OFFERING);
    EXPECT_EQ(offered.dwParam3, LINECALLPRIVILEGE_OWNER);
    const LINEMESSAGE connected = next(owner);
    EXPECT_EQ(connected.hDevice, offered.hDevice);
    EXPECT_EQ(connected.dwParam3, 0u);
    const LINEMESSAGE seen = next(monitor);
    EXPECT_EQ(seen.dwParam3, LINECALLPRIVILEGE_MONITOR);
    EXPECT_NE(seen.hDevice, offered.hDevice) << "each application has its own call handle";

    ASSERT_EQ(lineDeallocateCall(offered.hDevice), 0);
    EXPECT_EQ(log().find("closecall"), std::string::npos) << "the monitor still holds it";
    ASSERT_EQ(lineDeallocateCall(seen.hDevice), 0);
    EXPECT_NE(log().find("closecall 85"), std::string::npos);
    EXPECT_EQ(lineDeallocateCall(seen.hDevice), LINEERR_INVALCALLHANDLE);
    fake.callEvent(0, call, LINE_CALLSTATE, LINECALLSTATE_IDLE, 0, 0);
    EXPECT_EQ(next(owner, 50).dwMessageID, 0u) << "a freed call's events are dropped";
}

TEST_F(HostTest, NewCallOnALineNobodyOpenedIsRefused) {
    initialize();
    EXPECT_EQ(fake.newCall(0, 1), nullptr);
}

TEST_F(HostTest, ProviderClosingALineTellsTheApplication) {
    const HLINEAPP app = initialize();
    const HLINE line = openLine(app, 1);
    fake.lineEvent(1, LINE_CLOSE, 0, 0, 0);
    const LINEMESSAGE m = next(app);
    EXPECT_EQ(m.dwMessageID, LINE_CLOSE);
    EXPECT_EQ(m.hDevice, line);
    EXPECT_EQ(lineClose(line), LINEERR_INVALLINEHANDLE);
    openLine(app, 1);  // and it can be opened again
}

TEST_F(HostTest, LineCreatedByTheProviderIsAnnounced) {
    const HLINEAPP app = initialize();
    fake.createLine(77);
    const LINEMESSAGE m = next(app);
    EXPECT_EQ(m.dwMessageID, LINE_CREATE);
    EXPECT_EQ(m.dwParam1, 3u);
    EXPECT_NE(log().find("create 77->3"), std::string::npos);
    DWORD version;
    LINEEXTENSIONID ext;
    EXPECT_EQ(lineNegotiateAPIVersion(app, 3, TAPI_VERSION2_0, TAPI_CURRENT_VERSION, &version, &ext), 0);

    fake.createLine(5);  // the provider refuses this temporary ID
    EXPECT_EQ(next(app, 50).dwMessageID, 0u);
    EXPECT_EQ(lineNegotiateAPIVersion(app, 4, TAPI_VERSION2_0, TAPI_CURRENT_VERSION, &version, &ext),
              LINEERR_BADDEVICEID);
}

TEST_F(HostTest, AsynchronousRequestsCompleteAsLineReply) {
    const HLINEAPP app = initialize();
    DRV_REQUESTID seen = 0;
    LONG doneWith = 1;
    const LONG id = Host::instance().runAsync(
        app, [&](DRV_REQUESTID request) { seen = request; return static_cast<LONG>(request); },
        [&](LONG result) { doneWith = result; });
    ASSERT_GT(id, 0);
    EXPECT_EQ(static_cast<DRV_REQUESTID>(id), seen);
    fake.complete(seen, LINEERR_OPERATIONFAILED);
    EXPECT_EQ(doneWith, LINEERR_OPERATIONFAILED);
    const LINEMESSAGE reply = next(app);
    EXPECT_EQ(reply.dwMessageID, LINE_REPLY);
    EXPECT_EQ(reply.dwParam1, static_cast<DWORD_PTR>(id));
    EXPECT_EQ(static_cast<LONG>(reply.dwParam2), LINEERR_OPERATIONFAILED);
    fake.complete(seen, 0);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "a request completes once";

    DRV_REQUESTID refused = 0;
    EXPECT_EQ(Host::instance().runAsync(app, [&](DRV_REQUESTID request) {
        refused = request;
        return LINEERR_INVALCALLSTATE;
    }), LINEERR_INVALCALLSTATE);
    fake.complete(refused, 0);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "a request refused at once has no reply";
}

TEST_F(HostTest, EventDescriptorIsReadableWhileMessagesWait) {
    const HLINEAPP app = initialize();
    openLine(app, 0);
    ASSERT_GE(eventFd, 0);
    auto readable = [&] {
        pollfd p{eventFd, POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    };
    EXPECT_FALSE(readable());
    fake.lineEvent(0, LINE_DEVSPECIFIC, 1, 0, 0);
    fake.lineEvent(0, LINE_DEVSPECIFIC, 2, 0, 0);
    EXPECT_TRUE(readable());
    next(app);
    EXPECT_TRUE(readable());
    next(app);
    EXPECT_FALSE(readable());
}

std::mutex g_callbackMutex;
std::condition_variable g_callbackSeen;
std::vector<std::pair<DWORD, std::thread::id>> g_callbacks;

void recordCallback(DWORD, DWORD msg, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    std::lock_guard lock(g_callbackMutex);
    g_callbacks.emplace_back(msg, std::this_thread::get_id());
    g_callbackSeen.notify_all();
}

TEST_F(HostTest, CallbackDeliveryWithoutAPosterUsesAThreadOfItsOwn) {
    g_callbacks.clear();
    const HLINEAPP app = initialize(LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, &recordCallback);
    openLine(app, 0);
    fake.lineEvent(0, LINE_DEVSPECIFIC, 1, 0, 0);
    fake.lineEvent(0, LINE_DEVSPECIFIC, 2, 0, 0);
    std::unique_lock lock(g_callbackMutex);
    ASSERT_TRUE(g_callbackSeen.wait_for(lock, std::chrono::seconds(10),
                                        [] { return g_callbacks.size() == 2; }));
    EXPECT_NE(g_callbacks[0].second, std::this_thread::get_id());
    LINEMESSAGE m;
    EXPECT_EQ(lineGetMessage(app, &m, 0), LINEERR_INVALAPPHANDLE)
        << "a callback application has no message queue to read";
}

}  // namespace
}  // namespace velkor::tapi
