// LINECALLSTATUS, LINECALLINFO and LINEDEVSTATUS as TSPI_lineGetCallStatus,
// TSPI_lineGetCallInfo and TSPI_lineGetLineDevStatus hand them to TAPI. Every
// block is followed by a guard region holding a pattern, so that a write past
// dwTotalSize shows.
#include "provider/core/call_reports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/utf16.h"
#include "tests/provider/core/guarded_block.h"

namespace velkor::core {
namespace {

using testing::Block;
using testing::wideAt;

// Wide text at a Size/Offset pair, as 8-bit text.
std::string textAt(const Block& block, DWORD offset, DWORD size) {
    return platform::utf16ToUtf8(wideAt(block, offset, size));
}

std::vector<std::uint8_t> bytesAt(const Block& block, DWORD offset, DWORD size) {
    return {block.bytes.begin() + offset, block.bytes.begin() + offset + size};
}

// A line and its calls, built up per test.
class LineWithCalls : public ::testing::Test {
protected:
    CallContext& add(DWORD state, PartyKind party = PartyKind::Station,
                     std::uint32_t role = kRoleOrdinary, DWORD mode = 0) {
        line.calls.push_back(std::make_unique<CallContext>());
        CallContext& c = *line.calls.back();
        c.state = state;
        c.partyKind = party;
        c.role = role;
        c.mode = mode;
        return c;
    }

    LineContext line;
};

// ---------------------------------------------------------------------------
// Call status

using CallStatus = LineWithCalls;

enum Extra : unsigned {
    kNone = 0,
    kTransferPending = 1,  // the line completes a transfer (request 0x70)
    kCampedOn = 2,         // the call is the one the PBX held itself (event 0x24)
    kOtherConnected = 4,   // another call of the line is CONNECTED
    kOtherRingback = 8,    // another call of the line is RINGBACK
    kOtherDialTone = 16,   // another call of the line has dial tone
};

struct StatusCase {
    const char* name;
    DWORD state;
    PartyKind party;
    std::uint32_t role;
    DWORD mode;
    unsigned extra;
    DWORD features;
    DWORD features2;
    DWORD reportedMode;
};

constexpr PartyKind kSta = PartyKind::Station;
constexpr PartyKind kCo = PartyKind::Co;
constexpr PartyKind kCoName = PartyKind::CoWithName;

const StatusCase kStatusCases[] = {
    {"offering", LINECALLSTATE_OFFERING, kSta, 0, 0, kNone, 0x20004, 0, 0},
    {"offering CO", LINECALLSTATE_OFFERING, kCo, 0, 0, kNone, 0x20004, 0, 0},
    {"dial tone", LINECALLSTATE_DIALTONE, kSta, 0, 0, kNone, 0xC0, 0, 0x20},
    {"ringback", LINECALLSTATE_RINGBACK, kSta, 0, 0, kNone, 0x90, 0x20, 0},
    {"ringback CO", LINECALLSTATE_RINGBACK, kCo, 0, 0, kNone, 0x80, 0, 0},
    {"ringback, transfer", LINECALLSTATE_RINGBACK, kSta, 0, 0, kTransferPending, 0xB0, 0x20, 0},
    {"ringback CO, transfer", LINECALLSTATE_RINGBACK, kCo, 0, 0, kTransferPending, 0xA0, 0, 0},
    {"busy station", LINECALLSTATE_BUSY, kSta, 0, LINEBUSYMODE_STATION, kNone, 0x90, 12, 1},
    {"busy refused", LINECALLSTATE_BUSY, kSta, 0, kBusyModeRefused, kNone, 0x90, 0x20, 0x10000},
    {"busy CO", LINECALLSTATE_BUSY, kCo, 0, LINEBUSYMODE_TRUNK, kNone, 0x80, 0, 2},
    {"busy named CO", LINECALLSTATE_BUSY, kCoName, 0, LINEBUSYMODE_TRUNK, kNone, 0x80, 0, 2},
    {"busy, transfer", LINECALLSTATE_BUSY, kSta, 0, LINEBUSYMODE_STATION, kTransferPending, 0xB0,
     12, 1},
    {"special info", LINECALLSTATE_SPECIALINFO, kSta, 0, LINESPECIALINFO_UNAVAIL, kNone, 0x90, 12,
     LINESPECIALINFO_UNAVAIL},
    {"idle", LINECALLSTATE_IDLE, kSta, 0, 0, kNone, 0x80, 0, 0},
    {"dialing", LINECALLSTATE_DIALING, kSta, 0, 0, kNone, 0x80, 0, 0},
    {"disconnected", LINECALLSTATE_DISCONNECTED, kCo, 0, LINEDISCONNECTMODE_NORMAL, kNone, 0x80, 0,
     LINEDISCONNECTMODE_NORMAL},
    {"connected", LINECALLSTATE_CONNECTED, kSta, 0, 0, kNone, 0x3000888, 0, 0},
    {"connected CO", LINECALLSTATE_CONNECTED, kCo, 0, 0, kNone, 0x30088C8, 0x3C0, 0},
    {"connected named CO", LINECALLSTATE_CONNECTED, kCoName, 0, 0, kNone, 0x30088C8, 0x3C0, 0},
    {"connected camped-on", LINECALLSTATE_CONNECTED, kSta, 0, 0, kCampedOn, 0x7000088, 0, 0},
    {"connected camped-on CO", LINECALLSTATE_CONNECTED, kCo, 0, 0, kCampedOn, 0x70080C8, 0x3C0, 0},
    {"connected conference member", LINECALLSTATE_CONNECTED, kSta, kRoleConferenceMember, 0, kNone,
     0x2000882, 0, 0},
    {"connected member camped-on", LINECALLSTATE_CONNECTED, kSta, kRoleConferenceMember, 0,
     kCampedOn, 0x6000082, 0, 0},
    {"connected controller", LINECALLSTATE_CONNECTED, kSta, kRoleConferenceController, 0, kNone,
     0x50082, 0, 0},
    {"connected CO controller", LINECALLSTATE_CONNECTED, kCo, kRoleConferenceController, 0, kNone,
     0x50082, 0, 0},
    {"connected, transfer", LINECALLSTATE_CONNECTED, kSta, kRoleBeingTransferred, 0,
     kTransferPending, 0xA0, 0xC0, 0},
    {"connected CO controller, transfer", LINECALLSTATE_CONNECTED, kCo, kRoleConferenceController,
     0, kTransferPending, 0xA0, 0xC0, 0},
    {"on hold", LINECALLSTATE_ONHOLD, kSta, 0, 0, kNone, 0x8000000, 0, 0},
    {"on hold, dial tone", LINECALLSTATE_ONHOLD, kSta, 0, 0, kOtherDialTone, 0x8000000, 0, 0},
    {"on hold, ringback", LINECALLSTATE_ONHOLD, kSta, 0, 0, kOtherRingback, 0x8000020, 0x40, 0},
    {"on hold, connected", LINECALLSTATE_ONHOLD, kCo, 0, 0, kOtherConnected, 0xC000020, 0xC0, 0},
    {"on hold, both", LINECALLSTATE_ONHOLD, kSta, 0, 0, kOtherConnected | kOtherRingback, 0xC000020,
     0xC0, 0},
    {"conferenced", LINECALLSTATE_CONFERENCED, kSta, 0, 0, kNone, 0x40000, 0, 0},
    {"on hold pending conference", LINECALLSTATE_ONHOLDPENDCONF, kSta, kRoleConferenceController, 0,
     kOtherConnected, 0x8000002, 0, 0},
    {"pending transfer", LINECALLSTATE_ONHOLDPENDTRANSFER, kSta, 0, 0, kNone, 0x8000000, 0, 0},
    {"pending transfer, ringback", LINECALLSTATE_ONHOLDPENDTRANSFER, kSta, 0, 0, kOtherRingback,
     0x8000020, 0x40, 0},
    {"pending transfer, connected", LINECALLSTATE_ONHOLDPENDTRANSFER, kSta, 0, 0, kOtherConnected,
     0x8000020, 0xC0, 0},
    {"made call before progress", 0, kSta, 0, 0, kNone, 0, 0, 0},
};

TEST_F(CallStatus, ByStateAndSituation) {
    for (const StatusCase& c : kStatusCases) {
        SCOPED_TRACE(c.name);
        line.calls.clear();
        line.campedOnCall = nullptr;
        line.pendingTransfer = (c.extra & kTransferPending) ? 77 : 0;
        if (c.extra & kOtherConnected) add(LINECALLSTATE_CONNECTED);
        if (c.extra & kOtherRingback) add(LINECALLSTATE_RINGBACK);
        if (c.extra & kOtherDialTone) add(LINECALLSTATE_DIALTONE);
        // Idle calls waiting for TAPI to close them change nothing.
        add(LINECALLSTATE_IDLE);
        CallContext& call = add(c.state, c.party, c.role, c.mode);
        if (c.extra & kCampedOn) line.campedOnCall = &call;

        Block block(sizeof(LINECALLSTATUS));
        ASSERT_EQ(fillCallStatus(line, call, block.as<LINECALLSTATUS>()), 0);
        const LINECALLSTATUS& s = *block.as<LINECALLSTATUS>();
        EXPECT_EQ(s.dwCallState, c.state);
        EXPECT_EQ(s.dwCallStateMode, c.reportedMode);
        EXPECT_EQ(s.dwCallFeatures, c.features) << std::hex << s.dwCallFeatures;
        EXPECT_EQ(s.dwCallFeatures2, c.features2) << std::hex << s.dwCallFeatures2;
        EXPECT_EQ(s.dwNeededSize, 56u);
        EXPECT_EQ(s.dwUsedSize, 56u);
        EXPECT_EQ(s.dwCallPrivilege, 0u);
        EXPECT_EQ(s.dwDevSpecificSize, 0u);
        EXPECT_EQ(s.tStateEntryTime.wYear, 0u);
        EXPECT_TRUE(block.untouched(56));
    }
}

TEST_F(CallStatus, BlockTooSmallOrMissing) {
    CallContext& call = add(LINECALLSTATE_CONNECTED);
    Block block(55);
    EXPECT_EQ(fillCallStatus(line, call, block.as<LINECALLSTATUS>()), LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(block.untouched(sizeof(DWORD)));
    EXPECT_EQ(fillCallStatus(line, call, nullptr), LINEERR_INVALPOINTER);

    // A larger block keeps what lies past the 56 bytes.
    Block large(200);
    ASSERT_EQ(fillCallStatus(line, call, large.as<LINECALLSTATUS>()), 0);
    EXPECT_EQ(large.as<LINECALLSTATUS>()->dwUsedSize, 56u);
    EXPECT_TRUE(large.untouched(56));
}

// ---------------------------------------------------------------------------
// Call information

// 332 + the first user-user entry + the call data + each present text as
// wide text with its NUL.
DWORD neededFor(const CallContext& c) {
    std::size_t needed = 332 + c.callData.size();
    if (!c.userUserInfo.empty()) needed += c.userUserInfo.front().size();
    for (const std::string* t :
         {&c.connected.number, &c.caller.number, &c.called.number, &c.connected.name,
          &c.caller.name, &c.called.name, &c.redirecting.number, &c.redirecting.name,
          &c.redirection.number, &c.redirection.name, &c.charging}) {
        if (!t->empty()) needed += 2 * (platform::utf8ToUtf16(*t).size() + 1);
    }
    return static_cast<DWORD>(needed);
}

class CallInfo : public LineWithCalls {
protected:
    // A transferred CO call with everything the PBX can tell about it.
    CallContext& fullCall() {
        CallContext& related = add(LINECALLSTATE_IDLE);
        related.reference = 0x1234;
        CallContext& c = add(LINECALLSTATE_CONNECTED, PartyKind::CoWithName);
        c.origin = LINECALLORIGIN_OUTBOUND;
        c.reason = LINECALLREASON_TRANSFER;
        c.related = &related;
        c.trunk = 12;
        // Odd binary sizes push the texts onto an odd offset.
        c.userUserInfo = {{1, 2, 3}, {9, 9, 9, 9}};
        c.callData = {0xAA, 0xBB};
        c.connected = {"0301234567", "Zoë Ardent"};
        c.caller = {"201", "STA201"};
        c.called = {"0309876", "CO012"};
        c.redirecting = {"202", "STA202"};
        c.redirection = {"0411", "Ufficio €"};
        c.charging = "12 units";
        return c;
    }
};

TEST_F(CallInfo, EveryPartAtItsOffsetInTheStatedOrder) {
    line.mediaMode = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_UNKNOWN;
    const CallContext& call = fullCall();
    const DWORD needed = neededFor(call);
    for (const DWORD total : {needed, needed + 100}) {
        SCOPED_TRACE(total);
        Block block(total);
        ASSERT_EQ(fillCallInfo(line, call, 17, block.as<LINECALLINFO>()), 0);
        const LINECALLINFO& i = *block.as<LINECALLINFO>();
        EXPECT_EQ(i.dwNeededSize, needed);

        // Binary parts straight after the fixed part; only the first
        // user-user entry is reported.
        EXPECT_EQ(i.dwUserUserInfoOffset, 324u);
        EXPECT_EQ(bytesAt(block, i.dwUserUserInfoOffset, i.dwUserUserInfoSize),
                  (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_EQ(i.dwCallDataOffset, 327u);
        EXPECT_EQ(bytesAt(block, i.dwCallDataOffset, i.dwCallDataSize),
                  (std::vector<std::uint8_t>{0xAA, 0xBB}));

        struct Text {
            DWORD offset;
            DWORD size;
            const char* text;
        };
        const Text texts[] = {
            {i.dwConnectedIDOffset, i.dwConnectedIDSize, "0301234567"},
            {i.dwCallerIDOffset, i.dwCallerIDSize, "201"},
            {i.dwCalledIDOffset, i.dwCalledIDSize, "0309876"},
            {i.dwConnectedIDNameOffset, i.dwConnectedIDNameSize, "Zoë Ardent"},
            {i.dwCallerIDNameOffset, i.dwCallerIDNameSize, "STA201"},
            {i.dwCalledIDNameOffset, i.dwCalledIDNameSize, "CO012"},
            {i.dwRedirectingIDOffset, i.dwRedirectingIDSize, "202"},
            {i.dwRedirectingIDNameOffset, i.dwRedirectingIDNameSize, "STA202"},
            {i.dwRedirectionIDOffset, i.dwRedirectionIDSize, "0411"},
            {i.dwRedirectionIDNameOffset, i.dwRedirectionIDNameSize, "Ufficio €"},
            {i.dwChargingInfoOffset, i.dwChargingInfoSize, "12 units"},
        };
        // Each part follows the one before it (one pad byte at most, to make
        // the wide texts start on an even offset).
        DWORD end = i.dwCallDataOffset + i.dwCallDataSize;
        for (const Text& t : texts) {
            SCOPED_TRACE(t.text);
            EXPECT_EQ(textAt(block, t.offset, t.size), t.text);
            EXPECT_GE(t.offset, end);
            EXPECT_LE(t.offset, end + 1);
            end = t.offset + t.size;
        }
        EXPECT_EQ(i.dwUsedSize, end);
        EXPECT_LE(i.dwUsedSize, needed);
        EXPECT_TRUE(block.untouched(i.dwUsedSize));

        EXPECT_EQ(i.dwLineDeviceID, 17u);
        EXPECT_EQ(i.dwAddressID, 0u);
        EXPECT_EQ(i.dwBearerMode, 1u);
        EXPECT_EQ(i.dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_UNKNOWN);
        EXPECT_EQ(i.dwCallStates, 0xC109u);
        EXPECT_EQ(i.dwOrigin, LINECALLORIGIN_OUTBOUND);
        EXPECT_EQ(i.dwReason, LINECALLREASON_TRANSFER);
        EXPECT_EQ(i.dwCompletionID, 0x1234u);
        EXPECT_EQ(i.dwTrunk, 12u);
        for (const DWORD flags : {i.dwCallerIDFlags, i.dwCalledIDFlags, i.dwConnectedIDFlags,
                                  i.dwRedirectingIDFlags, i.dwRedirectionIDFlags}) {
            EXPECT_EQ(flags, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME);
        }
        // Fields the provider does not report.
        EXPECT_EQ(i.hLine, 0u);
        EXPECT_EQ(i.dwCallID, 0u);
        EXPECT_EQ(i.dwAppNameSize, 0u);
        EXPECT_EQ(i.dwDisplaySize, 0u);
        EXPECT_EQ(i.dwDevSpecificSize, 0u);
        EXPECT_EQ(i.dwSendingFlowspecSize, 0u);
    }
}

TEST_F(CallInfo, StationCallWithoutTexts) {
    CallContext& call = add(LINECALLSTATE_OFFERING);
    call.trunk = 5;  // left over; a station call has no trunk
    Block block(332);
    ASSERT_EQ(fillCallInfo(line, call, 3, block.as<LINECALLINFO>()), 0);
    const LINECALLINFO& i = *block.as<LINECALLINFO>();
    EXPECT_EQ(i.dwNeededSize, 332u);
    EXPECT_EQ(i.dwUsedSize, 324u);
    EXPECT_EQ(i.dwTrunk, 0xFFFFFFFFu);
    EXPECT_EQ(i.dwCompletionID, 0u);
    EXPECT_EQ(i.dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(i.dwUserUserInfoSize, 0u);
    EXPECT_EQ(i.dwUserUserInfoOffset, 0u);
    EXPECT_EQ(i.dwCallDataSize, 0u);
    EXPECT_EQ(i.dwCallerIDSize, 0u);
    EXPECT_EQ(i.dwCallerIDOffset, 0u);
    EXPECT_EQ(i.dwChargingInfoSize, 0u);
    EXPECT_TRUE(block.untouched(324));
}

TEST_F(CallInfo, PartyFlagsTellWhatIsKnown) {
    struct Case {
        PartyId party;
        DWORD flags;
    };
    const Case cases[] = {
        {{"", ""}, LINECALLPARTYID_UNKNOWN},
        {{"201", ""}, LINECALLPARTYID_ADDRESS},
        {{"", "Ardent"}, LINECALLPARTYID_NAME},
        {{"201", "STA201"}, LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.party.number + "/" + c.party.name);
        line.calls.clear();
        CallContext& call = add(LINECALLSTATE_CONNECTED);
        call.caller = call.called = call.connected = call.redirecting = call.redirection = c.party;
        Block block(1024);
        ASSERT_EQ(fillCallInfo(line, call, 0, block.as<LINECALLINFO>()), 0);
        const LINECALLINFO& i = *block.as<LINECALLINFO>();
        EXPECT_EQ(i.dwCallerIDFlags, c.flags);
        EXPECT_EQ(i.dwCalledIDFlags, c.flags);
        EXPECT_EQ(i.dwConnectedIDFlags, c.flags);
        EXPECT_EQ(i.dwRedirectingIDFlags, c.flags);
        EXPECT_EQ(i.dwRedirectionIDFlags, c.flags);
    }
}

TEST_F(CallInfo, TooSmallBlockLearnsOnlyTheSizes) {
    const CallContext& call = fullCall();
    const DWORD needed = neededFor(call);
    for (const DWORD total : {DWORD{324}, DWORD{332}, needed - 1}) {
        SCOPED_TRACE(total);
        Block block(total);
        ASSERT_EQ(fillCallInfo(line, call, 17, block.as<LINECALLINFO>()), 0);
        EXPECT_EQ(block.as<LINECALLINFO>()->dwNeededSize, needed);
        EXPECT_EQ(block.as<LINECALLINFO>()->dwUsedSize, 324u);
        EXPECT_TRUE(block.untouched(3 * sizeof(DWORD)));
    }

    // Below the fixed part nothing is written at all.
    Block tiny(323);
    EXPECT_EQ(fillCallInfo(line, call, 17, tiny.as<LINECALLINFO>()), LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(tiny.untouched(sizeof(DWORD)));
    EXPECT_EQ(fillCallInfo(line, call, 17, nullptr), LINEERR_INVALPOINTER);
}

// ---------------------------------------------------------------------------
// Line status

using LineDevStatus = LineWithCalls;

TEST_F(LineDevStatus, OfAnOpenLine) {
    add(LINECALLSTATE_IDLE);
    add(LINECALLSTATE_IDLE);
    add(LINECALLSTATE_CONNECTED);
    add(LINECALLSTATE_OFFERING);
    add(0);
    add(LINECALLSTATE_ONHOLD);
    add(LINECALLSTATE_ONHOLDPENDTRANSFER);
    add(LINECALLSTATE_ONHOLDPENDCONF);
    add(LINECALLSTATE_CONFERENCED);

    Block block(88);
    ASSERT_EQ(fillLineDevStatus(line, block.as<LINEDEVSTATUS>()), 0);
    const LINEDEVSTATUS& s = *block.as<LINEDEVSTATUS>();
    EXPECT_EQ(s.dwNeededSize, 88u);
    EXPECT_EQ(s.dwUsedSize, 88u);
    EXPECT_EQ(s.dwNumOpens, 1u);
    EXPECT_EQ(s.dwOpenMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    // Idle calls waiting to be closed are not active, held ones are counted apart.
    EXPECT_EQ(s.dwNumActiveCalls, 4u);
    EXPECT_EQ(s.dwNumOnHoldCalls, 1u);
    EXPECT_EQ(s.dwNumOnHoldPendCalls, 2u);
    EXPECT_EQ(s.dwLineFeatures, 0x18Du);
    EXPECT_EQ(s.dwDevStatusFlags, 5u);
    EXPECT_EQ(s.dwAvailableMediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
    EXPECT_EQ(s.dwNumCallCompletions, 0u);
    EXPECT_EQ(s.dwRingMode, 0u);
    EXPECT_EQ(s.dwTerminalModesSize, 0u);
    EXPECT_EQ(s.dwAppInfoSize, 0u);
    EXPECT_TRUE(block.untouched(88));

    Block small(87);
    EXPECT_EQ(fillLineDevStatus(line, small.as<LINEDEVSTATUS>()), LINEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(small.untouched(sizeof(DWORD)));
    EXPECT_EQ(fillLineDevStatus(line, nullptr), LINEERR_INVALPOINTER);
}

}  // namespace
}  // namespace velkor::core
