// The application's line functions against the fake provider, by family:
// requests on calls and lines, requests that create calls, the 8-bit forms'
// conversions, and handles that never reach a provider.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/tapi/host/host_fixture.h"

namespace velkor::tapi {
namespace {

// Device 1 open with two calls offered on it (the provider's 85 and 86),
// device 0 open with one more (87).
class LineFunctionsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        app = initialize();
        line = openLine(app, 1);
        otherLine = openLine(app, 0);
        a = offeredCall(app, 1, 85);
        b = offeredCall(app, 1, 86);
        elsewhere = offeredCall(app, 0, 87);
        fake.clearLog();
    }
    // Completes request `id` with `result`; the LINE_REPLY the application got.
    LINEMESSAGE complete(LONG id, LONG result) {
        fake.complete(static_cast<DRV_REQUESTID>(id), result);
        const LINEMESSAGE reply = next(app);
        EXPECT_EQ(reply.dwMessageID, LINE_REPLY);
        EXPECT_EQ(reply.dwParam1, static_cast<DWORD_PTR>(id));
        EXPECT_EQ(static_cast<LONG>(reply.dwParam2), result);
        return reply;
    }
    // `size` bytes of a structure's variable part.
    static std::string bytesAt(const void* structure, DWORD size, DWORD offset) {
        return std::string(static_cast<const char*>(structure) + offset, size);
    }

    HLINEAPP app = 0;
    HLINE line = 0;
    HLINE otherLine = 0;
    HCALL a = 0;
    HCALL b = 0;
    HCALL elsewhere = 0;
};

TEST_F(LineFunctionsTest, RequestsReachTheProviderWithItsHandlesAndAnswerAsLineReply) {
    DWORD completionId = 0;
    HCALL consult = 7;
    char command[] = "PUSH_BTN/N";
    char callData[] = "xyz";
    struct Case {
        const char* entry;  // what the provider logs
        std::function<LONG()> start;
    };
    const Case cases[] = {
        {"accept 85 ", [&] { return lineAccept(a, nullptr, 0); }},
        {"answer 85 hi", [&] { return lineAnswer(a, "hi", 2); }},
        {"drop 86 ", [&] { return lineDrop(b, nullptr, 0); }},
        {"hold 85", [&] { return lineHold(a); }},
        {"unhold 85", [&] { return lineUnhold(a); }},
        {"swaphold 85 86", [&] { return lineSwapHold(a, b); }},
        {"redirect 85 VMIB", [&] { return lineRedirectA(a, "VMIB", 0); }},
        {"redirect 86 203", [&] { return lineRedirectW(b, u"203", 0); }},
        {"blindtransfer 85 203 \\u00e9", [&] { return lineBlindTransferA(a, "203 \xC3\xA9", 0); }},
        {"dial 85 123# cc=49", [&] { return lineDialA(a, "123#", 49); }},
        {"dial 86 9 cc=0", [&] { return lineDialW(b, u"9", 0); }},
        {"completetransfer 85 86 1",
         [&] { return lineCompleteTransfer(a, b, nullptr, LINETRANSFERMODE_TRANSFER); }},
        {"addtoconference 85 86", [&] { return lineAddToConference(a, b); }},
        {"removefromconference 86", [&] { return lineRemoveFromConference(b); }},
        {"park 85 701", [&] { return lineParkA(a, LINEPARKMODE_DIRECTED, "701", nullptr); }},
        {"completecall 85 1 0",
         [&] { return lineCompleteCall(a, &completionId, LINECALLCOMPLMODE_CAMPON, 0); }},
        {"uncompletecall 1 119", [&] { return lineUncompleteCall(line, 0x77); }},
        {"senduui 85 abc", [&] { return lineSendUserUserInfo(a, "abc", 3); }},
        {"releaseuui 85", [&] { return lineReleaseUserUserInfo(a); }},
        {"calldata 85 xyz", [&] { return lineSetCallData(a, callData, 3); }},
        {"devspecific 1 0 0 PUSH_BTN/N", [&] { return lineDevSpecific(line, 0, 0, command, 10); }},
        {"devspecific 1 0 86 PUSH_BTN/N", [&] { return lineDevSpecific(line, 0, b, command, 10); }},
        {"forward 1 all=1 0 rings=5 off",
         [&] { return lineForwardA(line, 1, 0, nullptr, 5, &consult, nullptr); }},
    };
    LONG previous = 0;
    bool failing = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        fake.clearLog();
        const LONG id = c.start();
        ASSERT_GT(id, 0);
        EXPECT_NE(id, previous) << "every request has an ID of its own";
        previous = id;
        EXPECT_TRUE(logged(c.entry)) << log();
        // Every other request fails at the provider; the reply says which.
        complete(id, failing ? LINEERR_OPERATIONFAILED : 0);
        failing = !failing;
    }
    EXPECT_EQ(completionId, 0x77u) << "the provider's completion ID reaches the application";
    EXPECT_EQ(consult, 0u) << "forwarding off needs no consultation call";
}

TEST_F(LineFunctionsTest, RequestsThatCreateCallsHandOverHandlesValidOnlyAfterSuccess) {
    struct Case {
        const char* what;
        int calls;
        std::function<LONG(HCALL*)> start;
    };
    const Case cases[] = {
        {"make call", 1,
         [&](HCALL* out) { return lineMakeCallA(line, &out[0], "202", 0, nullptr); }},
        {"transfer set-up", 1, [&](HCALL* out) { return lineSetupTransferA(a, &out[0], nullptr); }},
        {"transfer completed as a conference", 1,
         [&](HCALL* out) {
             return lineCompleteTransfer(a, b, &out[0], LINETRANSFERMODE_CONFERENCE);
         }},
        {"conference on a call", 2,
         [&](HCALL* out) { return lineSetupConferenceA(a, 0, &out[0], &out[1], 3, nullptr); }},
        {"conference on a line", 2,
         [&](HCALL* out) { return lineSetupConferenceW(0, line, &out[0], &out[1], 3, nullptr); }},
        {"add to conference prepared", 1,
         [&](HCALL* out) { return linePrepareAddToConferenceA(a, &out[0], nullptr); }},
        {"unpark", 1, [&](HCALL* out) { return lineUnparkA(line, 0, &out[0], "701"); }},
        {"pickup", 1, [&](HCALL* out) { return linePickupA(line, 0, &out[0], "202", nullptr); }},
        {"forward through a consultation call", 1,
         [&](HCALL* out) {
             fake.forwardConsult(1);
             return lineForwardA(line, 1, 0, nullptr, 5, &out[0], nullptr);
         }},
    };
    for (const Case& c : cases) {
        for (const LONG result : {0, LINEERR_CALLUNAVAIL}) {
            SCOPED_TRACE(std::string(c.what) + (result ? ", failing" : ", succeeding"));
            const DWORD first = madeCount();
            HCALL out[2] = {0, 0};
            const LONG id = c.start(out);
            ASSERT_GT(id, 0);
            ASSERT_EQ(madeCount(), first + c.calls);
            for (int k = 0; k < c.calls; ++k) {
                EXPECT_NE(out[k], 0u);
                EXPECT_NE(out[k], a);
                EXPECT_NE(out[k], b);
            }
            if (c.calls == 2) {
                EXPECT_NE(out[0], out[1]);
            }
            complete(id, result);
            for (int k = 0; k < c.calls; ++k) {
                fake.callEvent(1, fake.madeCall(first + k), LINE_CALLSTATE, LINECALLSTATE_DIALTONE,
                               0, 0);
                fake.clearLog();
                if (result != 0) {
                    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "the failed request's call is gone";
                    EXPECT_EQ(lineHold(out[k]), LINEERR_INVALCALLHANDLE);
                    continue;
                }
                const LINEMESSAGE state = next(app);
                EXPECT_EQ(state.dwMessageID, LINE_CALLSTATE);
                EXPECT_EQ(state.hDevice, out[k]);
                EXPECT_EQ(state.dwParam3, 0u) << "the application knows the call it made";
                // The handle leads to the provider's own call.
                const LONG hold = lineHold(out[k]);
                ASSERT_GT(hold, 0);
                EXPECT_TRUE(logged("hold " + std::to_string(fake.madeDriverCall(first + k))))
                    << log();
                complete(hold, 0);
            }
        }
    }
}

TEST_F(LineFunctionsTest, RequestRefusedAtOnceFreesTheCallsItWouldHaveMade) {
    fake.failNext(LINEERR_RESOURCEUNAVAIL);
    HCALL conference = 7;
    HCALL consult = 7;
    EXPECT_EQ(lineSetupConferenceA(a, 0, &conference, &consult, 3, nullptr),
              LINEERR_RESOURCEUNAVAIL);
    EXPECT_EQ(conference, 0u);
    EXPECT_EQ(consult, 0u);
    ASSERT_EQ(madeCount(), 2u);
    fake.callEvent(1, fake.madeCall(0), LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0, 0);
    fake.callEvent(1, fake.madeCall(1), LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0, 0);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "no reply, and no events for calls not made";
}

TEST_F(LineFunctionsTest, OtherApplicationsOnTheLineSeeACallAsMonitors) {
    const HLINEAPP watcher = initialize();
    const HLINE watched = openLine(watcher, 1, 0, LINECALLPRIVILEGE_MONITOR);
    HCALL made = 0;
    complete(lineMakeCallA(line, &made, "202", 0, nullptr), 0);
    fake.callEvent(1, fake.madeCall(0), LINE_CALLSTATE, LINECALLSTATE_RINGBACK, 0, 0);
    const LINEMESSAGE mine = next(app);
    EXPECT_EQ(mine.hDevice, made);
    EXPECT_EQ(mine.dwParam3, 0u);
    const LINEMESSAGE seen = next(watcher);
    EXPECT_EQ(seen.dwMessageID, LINE_CALLSTATE);
    EXPECT_EQ(seen.dwParam3, LINECALLPRIVILEGE_MONITOR);
    ASSERT_NE(seen.hDevice, 0u);
    EXPECT_NE(seen.hDevice, made);

    EXPECT_EQ(lineDrop(seen.hDevice, nullptr, 0), LINEERR_NOTOWNER);
    LINECALLINFO info{};
    info.dwTotalSize = sizeof info;
    ASSERT_EQ(lineGetCallInfoW(seen.hDevice, &info), 0);
    EXPECT_EQ(info.hLine, watched) << "each application sees its own line handle";
    EXPECT_EQ(info.dwNumOwners, 1u);
    EXPECT_EQ(info.dwNumMonitors, 1u);
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    ASSERT_EQ(lineGetCallStatus(seen.hDevice, &status), 0);
    EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_MONITOR);
    ASSERT_EQ(lineGetCallStatus(made, &status), 0);
    EXPECT_EQ(status.dwCallPrivilege, LINECALLPRIVILEGE_OWNER);
    EXPECT_EQ(status.dwCallState, LINECALLSTATE_CONNECTED);
    LINEDEVSTATUS devStatus{};
    devStatus.dwTotalSize = sizeof devStatus;
    ASSERT_EQ(lineGetLineDevStatusA(line, &devStatus), 0);
    EXPECT_EQ(devStatus.dwNumOpens, 2u) << "the provider has it open once, for both";
    EXPECT_EQ(devStatus.dwLineFeatures, LINEFEATURE_MAKECALL);
}

TEST_F(LineFunctionsTest, HandlesAndArgumentsTheLayerRefusesNeverReachTheProvider) {
    const HCALL unknown = 0x3FFFF;
    const HLINE unknownLine = 0x2FFFF;
    HCALL out[2] = {};
    DWORD completionId = 0;
    LINECALLINFO info{};
    info.dwTotalSize = sizeof info;
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof status;
    LINEDEVSTATUS devStatus{};
    devStatus.dwTotalSize = sizeof devStatus;
    LINEADDRESSSTATUS addressStatus{};
    addressStatus.dwTotalSize = sizeof addressStatus;
    VARSTRING id{};
    id.dwTotalSize = sizeof id;
    LINECALLPARAMS small{};
    small.dwTotalSize = 100;
    alignas(4) unsigned char outside[sizeof(LINECALLPARAMS)] = {};
    auto* badParams = reinterpret_cast<LINECALLPARAMS*>(outside);
    badParams->dwTotalSize = sizeof outside;
    badParams->dwCalledPartySize = 8;
    badParams->dwCalledPartyOffset = sizeof outside - 4;
    struct Case {
        const char* what;
        LONG error;
        std::function<LONG()> call;
    };
    const Case cases[] = {
        {"hold", LINEERR_INVALCALLHANDLE, [&] { return lineHold(unknown); }},
        {"answer", LINEERR_INVALCALLHANDLE, [&] { return lineAnswer(unknown, nullptr, 0); }},
        {"swap with an unknown call", LINEERR_INVALCALLHANDLE,
         [&] { return lineSwapHold(a, unknown); }},
        {"swap with a call on another line", LINEERR_INVALCALLHANDLE,
         [&] { return lineSwapHold(a, elsewhere); }},
        {"transfer to an unknown call", LINEERR_INVALCONSULTCALLHANDLE,
         [&] { return lineCompleteTransfer(a, unknown, nullptr, LINETRANSFERMODE_TRANSFER); }},
        {"transfer mode", LINEERR_INVALTRANSFERMODE,
         [&] { return lineCompleteTransfer(a, b, &out[0], 0x10); }},
        {"add to an unknown conference", LINEERR_INVALCONFCALLHANDLE,
         [&] { return lineAddToConference(unknown, a); }},
        {"prepare an unknown conference", LINEERR_INVALCONFCALLHANDLE,
         [&] { return linePrepareAddToConferenceA(unknown, &out[0], nullptr); }},
        {"make call", LINEERR_INVALLINEHANDLE,
         [&] { return lineMakeCallA(unknownLine, &out[0], "202", 0, nullptr); }},
        {"make call without handle", LINEERR_INVALPOINTER,
         [&] { return lineMakeCallA(line, nullptr, "202", 0, nullptr); }},
        {"call parameters too small", LINEERR_STRUCTURETOOSMALL,
         [&] { return lineMakeCallA(line, &out[0], "202", 0, &small); }},
        {"call parameters outside their block", LINEERR_INVALCALLPARAMS,
         [&] { return lineMakeCallA(line, &out[0], "202", 0, badParams); }},
        {"wide call parameters outside their block", LINEERR_INVALCALLPARAMS,
         [&] { return lineMakeCallW(line, &out[0], u"202", 0, badParams); }},
        {"conference on a line", LINEERR_INVALLINEHANDLE,
         [&] { return lineSetupConferenceA(0, unknownLine, &out[0], &out[1], 3, nullptr); }},
        {"unpark", LINEERR_INVALLINEHANDLE,
         [&] { return lineUnparkA(unknownLine, 0, &out[0], "701"); }},
        {"pickup", LINEERR_INVALLINEHANDLE,
         [&] { return linePickupA(unknownLine, 0, &out[0], nullptr, nullptr); }},
        {"forward", LINEERR_INVALLINEHANDLE,
         [&] { return lineForwardA(unknownLine, 1, 0, nullptr, 5, &out[0], nullptr); }},
        {"uncomplete", LINEERR_INVALLINEHANDLE, [&] { return lineUncompleteCall(unknownLine, 1); }},
        {"device-specific", LINEERR_INVALLINEHANDLE,
         [&] { return lineDevSpecific(unknownLine, 0, 0, nullptr, 0); }},
        {"device-specific on a call of another line", LINEERR_INVALCALLHANDLE,
         [&] { return lineDevSpecific(line, 0, elsewhere, nullptr, 0); }},
        {"park mode", LINEERR_INVALPARKMODE, [&] { return lineParkA(a, 3, "701", nullptr); }},
        {"park without a place for the address", LINEERR_INVALPOINTER,
         [&] { return lineParkA(a, LINEPARKMODE_NONDIRECTED, nullptr, nullptr); }},
        {"redirect nowhere", LINEERR_INVALPOINTER, [&] { return lineRedirectA(a, nullptr, 0); }},
        {"completion without its ID", LINEERR_INVALPOINTER,
         [&] { return lineCompleteCall(a, nullptr, LINECALLCOMPLMODE_CAMPON, 0); }},
        {"user-user information missing", LINEERR_INVALPOINTER,
         [&] { return lineSendUserUserInfo(a, nullptr, 5); }},
        {"digits", LINEERR_INVALCALLHANDLE,
         [&] { return lineGenerateDigitsA(unknown, LINEDIGITMODE_DTMF, "1", 0); }},
        {"call info", LINEERR_INVALCALLHANDLE, [&] { return lineGetCallInfoA(unknown, &info); }},
        {"call status", LINEERR_INVALCALLHANDLE,
         [&] { return lineGetCallStatus(unknown, &status); }},
        {"line status", LINEERR_INVALLINEHANDLE,
         [&] { return lineGetLineDevStatusA(unknownLine, &devStatus); }},
        {"address status", LINEERR_INVALLINEHANDLE,
         [&] { return lineGetAddressStatusA(unknownLine, 0, &addressStatus); }},
        {"line ID", LINEERR_INVALLINEHANDLE,
         [&] { return lineGetIDA(unknownLine, 0, 0, LINECALLSELECT_LINE, &id, "tapi/line"); }},
        {"call ID", LINEERR_INVALCALLHANDLE,
         [&] { return lineGetIDA(line, 0, unknown, LINECALLSELECT_CALL, &id, "tapi/line"); }},
        {"ID select", LINEERR_INVALCALLSELECT,
         [&] { return lineGetIDA(line, 0, a, 0x10, &id, "tapi/line"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.clearLog();
        EXPECT_EQ(c.call(), c.error);
        EXPECT_EQ(log(), "");
    }
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "nothing started, nothing to reply";
    EXPECT_EQ(completionId, 0u);

    // Handles stop working once the application lets go of them.
    ASSERT_EQ(lineDeallocateCall(b), 0);
    EXPECT_EQ(lineHold(b), LINEERR_INVALCALLHANDLE);
    ASSERT_EQ(lineClose(line), 0);
    EXPECT_EQ(lineHold(a), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(lineDevSpecific(line, 0, 0, nullptr, 0), LINEERR_INVALLINEHANDLE);
}

TEST_F(LineFunctionsTest, CallParametersAndForwardListsOfEightBitCallersReachTheProviderWide) {
    alignas(4) unsigned char params[sizeof(LINECALLPARAMS) + 16] = {};
    auto* callParams = reinterpret_cast<LINECALLPARAMS*>(params);
    callParams->dwTotalSize = sizeof params;
    callParams->dwCalledPartySize = 5;  // "Zoë" and its zero
    callParams->dwCalledPartyOffset = sizeof(LINECALLPARAMS);
    std::memcpy(params + sizeof(LINECALLPARAMS), "Zo\xC3\xAB", 5);
    HCALL call = 0;
    const LONG made = lineMakeCallA(line, &call, "202", 0, callParams);
    ASSERT_GT(made, 0);
    EXPECT_TRUE(logged("makecall 1 202 cc=0 params=184 party=Zo\\u00eb -> 4097")) << log();
    complete(made, 0);

    // The client's one-entry list: 62 bytes, the size of the text without its zero.
    alignas(4) unsigned char block[62] = {};
    auto* list = reinterpret_cast<LINEFORWARDLIST*>(block);
    list->dwTotalSize = sizeof block;
    list->dwNumEntries = 1;
    list->ForwardList[0].dwForwardMode = LINEFORWARDMODE_BUSY;
    list->ForwardList[0].dwDestAddressSize = 6;
    list->ForwardList[0].dwDestAddressOffset = 32;
    std::memcpy(block + 32, "203 \xC3\xA9", 7);
    HCALL consult = 7;
    const LONG forwarded = lineForwardA(line, 1, 0, list, 5, &consult, nullptr);
    ASSERT_GT(forwarded, 0);
    EXPECT_TRUE(logged("forward 1 all=1 0 rings=5 16:203 \\u00e9")) << log();
    EXPECT_EQ(consult, 0u) << "no consultation call was needed";
    complete(forwarded, 0);

    // A list whose text lies outside its block is refused in both forms.
    list->ForwardList[0].dwDestAddressOffset = 60;
    fake.clearLog();
    EXPECT_EQ(lineForwardA(line, 1, 0, list, 5, &consult, nullptr), LINEERR_INVALPARAM);
    EXPECT_EQ(lineForwardW(line, 1, 0, list, 5, &consult, nullptr), LINEERR_INVALPARAM);
    list->dwNumEntries = 3;  // entries beyond the block
    list->ForwardList[0].dwDestAddressOffset = 32;
    EXPECT_EQ(lineForwardW(line, 1, 0, list, 5, &consult, nullptr), LINEERR_INVALPARAM);
    EXPECT_EQ(log(), "");
}

TEST_F(LineFunctionsTest, CallInfoInBothTextForms) {
    std::vector<std::uint8_t> buffer(1024);
    auto* info = reinterpret_cast<LINECALLINFO*>(buffer.data());
    info->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetCallInfoA(a, info), 0);
    EXPECT_EQ(bytesAt(info, info->dwCallerIDSize, info->dwCallerIDOffset),
              std::string("STA202", 7));
    EXPECT_EQ(bytesAt(info, info->dwCallerIDNameSize, info->dwCallerIDNameOffset),
              std::string("Zo\xC3\xAB \xE2\x82\xAC", 9));
    EXPECT_EQ(bytesAt(info, info->dwCalledIDSize, info->dwCalledIDOffset), std::string("STA21", 6));
    EXPECT_EQ(bytesAt(info, info->dwUserUserInfoSize, info->dwUserUserInfoOffset),
              std::string("uu\0\1", 4))
        << "user-user information is not text";
    EXPECT_EQ(info->hLine, line);
    EXPECT_EQ(info->dwNumOwners, 1u);
    EXPECT_EQ(info->dwNumMonitors, 0u);
    EXPECT_EQ(info->dwOrigin, LINECALLORIGIN_INTERNAL);
    EXPECT_EQ(info->dwCallID, 85u);
    EXPECT_EQ(info->dwUsedSize, info->dwNeededSize);

    info->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetCallInfoW(a, info), 0);
    EXPECT_EQ(
        std::u16string(reinterpret_cast<char16_t*>(buffer.data() + info->dwCallerIDNameOffset)),
        u"Zo\u00eb \u20ac");
    EXPECT_EQ(info->hLine, line);

    // Room for the fixed part only: no text, the size needed told.
    std::vector<std::uint8_t> small(sizeof(LINECALLINFO));
    auto* fixedOnly = reinterpret_cast<LINECALLINFO*>(small.data());
    fixedOnly->dwTotalSize = sizeof(LINECALLINFO);
    ASSERT_EQ(lineGetCallInfoA(a, fixedOnly), 0);
    EXPECT_EQ(fixedOnly->dwCallerIDSize, 0u);
    EXPECT_GT(fixedOnly->dwNeededSize, sizeof(LINECALLINFO));
    EXPECT_EQ(fixedOnly->dwUsedSize, sizeof(LINECALLINFO));
    EXPECT_EQ(fixedOnly->hLine, line);
    fixedOnly->dwTotalSize = 100;
    EXPECT_EQ(lineGetCallInfoA(a, fixedOnly), LINEERR_STRUCTURETOOSMALL);
}

TEST_F(LineFunctionsTest, AddressCapsAndStatusInEightBitText) {
    std::vector<std::uint8_t> buffer(1024);
    auto* caps = reinterpret_cast<LINEADDRESSCAPS*>(buffer.data());
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetAddressCapsA(app, 1, 0, TAPI_CURRENT_VERSION, 0, caps), 0);
    EXPECT_EQ(bytesAt(caps, caps->dwAddressSize, caps->dwAddressOffset),
              std::string("21 \xC3\xA9", 6));
    EXPECT_EQ(bytesAt(caps, caps->dwDevSpecificSize, caps->dwDevSpecificOffset), "\1\2\3");
    EXPECT_EQ(caps->dwParkModes, LINEPARKMODE_DIRECTED | LINEPARKMODE_NONDIRECTED);
    caps->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetAddressCapsW(app, 1, 0, TAPI_CURRENT_VERSION, 0, caps), 0);
    EXPECT_EQ(caps->dwAddressSize, 10u);
    EXPECT_EQ(lineGetAddressCapsA(app, 1, 1, TAPI_CURRENT_VERSION, 0, caps),
              LINEERR_INVALADDRESSID);
    EXPECT_EQ(lineGetAddressCapsA(app, 9, 0, TAPI_CURRENT_VERSION, 0, caps), LINEERR_BADDEVICEID);

    // The forwarding entry's address is narrowed inside the entry.
    auto* status = reinterpret_cast<LINEADDRESSSTATUS*>(buffer.data());
    status->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetAddressStatusA(line, 0, status), 0);
    ASSERT_EQ(status->dwForwardNumEntries, 1u);
    ASSERT_EQ(status->dwForwardSize, sizeof(LINEFORWARD));
    LINEFORWARD forward;
    std::memcpy(&forward, buffer.data() + status->dwForwardOffset, sizeof forward);
    EXPECT_EQ(forward.dwForwardMode, LINEFORWARDMODE_BUSY);
    EXPECT_EQ(bytesAt(status, forward.dwDestAddressSize, forward.dwDestAddressOffset),
              std::string("203 \xC3\xA9", 7));
    EXPECT_EQ(forward.dwCallerAddressSize, 0u);
    EXPECT_EQ(status->dwUsedSize, status->dwNeededSize);
}

// The provider hands a status block out once. An 8-bit caller whose buffer
// holds it narrowed must get it, though the wide text would not all fit.
TEST_F(LineFunctionsTest, StatusBlockHandedOutOnceReachesAnEightBitCaller) {
    std::vector<std::uint8_t> buffer(100);
    auto* status = reinterpret_cast<LINEADDRESSSTATUS*>(buffer.data());
    fake.armStatusBlock();
    status->dwTotalSize = 70;
    EXPECT_EQ(lineGetAddressStatusA(line, 0, status), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(status->dwNeededSize, sizeof(LINEADDRESSSTATUS) + 11) << "too small: kept for later";

    status->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetAddressStatusA(line, 0, status), 0);
    EXPECT_EQ(bytesAt(status, status->dwDevSpecificSize, status->dwDevSpecificOffset),
              std::string("STA_STATUS", 11));
    EXPECT_GT(status->dwNeededSize, status->dwTotalSize) << "the address that did not fit";

    status->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetAddressStatusA(line, 0, status), 0);
    EXPECT_EQ(status->dwDevSpecificSize, 0u) << "handed out once";
}

TEST_F(LineFunctionsTest, ParkWithoutDestinationGivesTheAddressOnSuccess) {
    std::vector<std::uint8_t> buffer(64, 0xEE);
    auto* address = reinterpret_cast<VARSTRING*>(buffer.data());
    std::memset(address, 0, sizeof(VARSTRING));
    address->dwTotalSize = static_cast<DWORD>(buffer.size());
    const LONG parked = lineParkA(a, LINEPARKMODE_NONDIRECTED, nullptr, address);
    ASSERT_GT(parked, 0);
    EXPECT_TRUE(logged("park 85 nondirected")) << log();
    EXPECT_EQ(address->dwStringSize, 0u) << "filled when the request succeeds";
    complete(parked, 0);
    EXPECT_EQ(address->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(bytesAt(address, address->dwStringSize, address->dwStringOffset), "0701");
    EXPECT_EQ(address->dwUsedSize, sizeof(VARSTRING) + 4);

    // A failed park leaves the caller's block alone.
    std::memset(address, 0, sizeof(VARSTRING));
    address->dwTotalSize = static_cast<DWORD>(buffer.size());
    complete(lineParkA(a, LINEPARKMODE_NONDIRECTED, nullptr, address), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(address->dwStringSize, 0u);

    // The wide form gets the provider's text at once.
    address->dwTotalSize = static_cast<DWORD>(buffer.size());
    complete(lineParkW(a, LINEPARKMODE_NONDIRECTED, nullptr, address), 0);
    EXPECT_EQ(bytesAt(address, address->dwStringSize, address->dwStringOffset),
              std::string(reinterpret_cast<const char*>(u"0701"), 8));

    // Too small for the provider: the size it needs comes back.
    address->dwTotalSize = sizeof(VARSTRING);
    EXPECT_EQ(lineParkA(a, LINEPARKMODE_NONDIRECTED, nullptr, address), LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(address->dwNeededSize, sizeof(VARSTRING) + 8);
}

TEST_F(LineFunctionsTest, DeviceIdsOfLinesAndCalls) {
    std::vector<std::uint8_t> buffer(64);
    auto* id = reinterpret_cast<VARSTRING*>(buffer.data());
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetIDA(line, 0, 0, LINECALLSELECT_LINE, id, "tapi/line"), 0);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_BINARY);
    DWORD device = 0;
    ASSERT_EQ(id->dwStringSize, sizeof device);
    std::memcpy(&device, buffer.data() + id->dwStringOffset, sizeof device);
    EXPECT_EQ(device, 1u) << "binary IDs pass unchanged";

    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetIDA(line, 0, 0, LINECALLSELECT_ADDRESS, id, "fake/name"), 0);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_ASCII);
    EXPECT_EQ(bytesAt(id, id->dwStringSize, id->dwStringOffset),
              std::string("Fake line \xC3\xA9", 13));
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetIDW(line, 0, 0, LINECALLSELECT_LINE, id, u"fake/name"), 0);
    EXPECT_EQ(id->dwStringFormat, STRINGFORMAT_UNICODE);

    fake.clearLog();
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(lineGetIDA(0, 0, b, LINECALLSELECT_CALL, id, "tapi/line"), 0);
    EXPECT_TRUE(logged("getid 1 86 4 tapi/line")) << "a call's ID goes with its line: " << log();
    EXPECT_EQ(lineGetIDA(line, 0, 0, LINECALLSELECT_LINE, id, "comm/datamodem"), LINEERR_NODEVICE);
}

TEST_F(LineFunctionsTest, DigitsAreGeneratedAtOnceEachWithAnEndToEndId) {
    ASSERT_EQ(lineGenerateDigitsA(a, LINEDIGITMODE_DTMF, "12*", 0), 0);
    ASSERT_EQ(lineGenerateDigitsW(b, LINEDIGITMODE_DTMF, u"#", 100), 0);
    // "digits <call> id=<n> <mode> <digits> <duration>"
    const auto endToEndId = [&](const std::string& call, const std::string& rest) {
        const std::string entries = log();
        const std::string prefix = "digits " + call + " id=";
        const auto at = entries.find(prefix);
        if (at == std::string::npos) return 0ul;
        std::size_t used = 0;
        const unsigned long id = std::stoul(entries.substr(at + prefix.size()), &used);
        return entries.compare(at + prefix.size() + used, rest.size(), rest) == 0 ? id : 0ul;
    };
    const unsigned long first = endToEndId("85", " 2 12* 0;");
    const unsigned long second = endToEndId("86", " 2 # 100;");
    EXPECT_NE(first, 0u) << log();
    EXPECT_NE(second, 0u) << log();
    EXPECT_NE(first, second);
    EXPECT_EQ(next(app, 50).dwMessageID, 0u) << "no LINE_REPLY for a synchronous function";
}

}  // namespace
}  // namespace velkor::tapi
