// The call-control entry points: their checks in order, the request each
// sends, what it answers at once, and how replies and rejections complete it.
#include "provider/core/line_operations.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/time/virtual_clock.h"
#include "tests/provider/core/model_fixture.h"

namespace velkor::core::testing {
namespace {

using namespace std::chrono_literals;

constexpr DRV_REQUESTID kRequest = 42;
const auto kTapiCall = reinterpret_cast<HTAPICALL>(std::uintptr_t{0x900});

class LineOperationsTest : public ModelFixture {
public:
    // Public, so that the rows of the operation table reach the fixture.
    using ModelFixture::call;
    LineOperationsTest() {
        clock.setAutoAdvance(true);
        model.setDialect(link::Dialect::Extended);
    }

    HDRVLINE hdLine() { return line->handle(); }
    HDRVCALL hd(std::size_t i) { return call(i).handle(); }

    void reply(std::uint8_t code, std::string_view data = {}) {
        link::CtiMessage m;
        m.station = kOwnIndex;
        m.code = code;
        m.data = {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
        ops.onReply(m);
    }
    void reject(std::uint8_t request, std::uint8_t cause) {
        ops.onRejection(link::Rejection{kOwnIndex, link::rejectionCode(request), cause, false});
    }

    platform::VirtualClock clock;
    LocationPrefixes prefixes{"", "9"};
    LineOperations ops{model, clock, [this] { return prefixes; }};
    HDRVCALL created = nullptr;
};

constexpr DWORD kOffering = LINECALLSTATE_OFFERING;
constexpr DWORD kConnected = LINECALLSTATE_CONNECTED;
constexpr DWORD kOnHold = LINECALLSTATE_ONHOLD;
constexpr DWORD kRingback = LINECALLSTATE_RINGBACK;
constexpr DWORD kBusy = LINECALLSTATE_BUSY;
constexpr DWORD kIdle = LINECALLSTATE_IDLE;
constexpr DWORD kPendTransfer = LINECALLSTATE_ONHOLDPENDTRANSFER;
constexpr DWORD kDialtone = LINECALLSTATE_DIALTONE;
constexpr DWORD kConferenced = LINECALLSTATE_CONFERENCED;

struct Row {
    const char* name;
    std::vector<CallSetup> calls;
    std::function<LONG(LineOperationsTest&)> operation;
    LONG result;
    // What went to the PBX ("" for nothing).
    std::string sent;
};

// Runs the operation on a fresh line and call list.
class CallControlTable : public LineOperationsTest,
                         public ::testing::WithParamInterface<Row> {
public:
    LONG run(const std::function<LONG(LineOperationsTest&)>& op) { return op(*this); }
};

TEST_P(CallControlTable, ChecksResultAndRequest) {
    const Row& row = GetParam();
    setUpCalls(row.calls);
    sender.sent.clear();
    EXPECT_EQ(run(row.operation), row.result);
    EXPECT_EQ(sender.sent, row.sent.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{row.sent});
}

#define OP(...) [](LineOperationsTest& t) -> LONG { return __VA_ARGS__; }

const Row kRows[] = {
    // Make call: destination classes, the pending check, the missing destination.
    {"make station call", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "202", nullptr)),
     kRequest, "CTI 5 0x55 202 "},
    {"make call through CO line 001", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "C001123", nullptr)),
     kRequest, "CTI 5 0x57   1123"},  // co3 is blank-padded
    {"make call with the outside access code", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "90123", nullptr)),
     kRequest, "CTI 5 0x56  990123"},
    {"make call to G plus one digit", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "G1", nullptr)),
     LINEERR_OPERATIONFAILED, ""},
    {"make call to N alone", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "N", nullptr)),
     LINEERR_OPERATIONFAILED, ""},
    {"second make call while one is pending", {{"", 0, 0, PartyKind::Station, true}},
     OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "202", nullptr)), LINEERR_OPERATIONFAILED, ""},
    {"make call without destination", {}, OP(t.ops.makeCall(kRequest, t.hdLine(), kTapiCall, &t.created, "", nullptr)),
     LINEERR_CALLUNAVAIL, ""},
    {"make call on an unknown line", {}, OP(t.ops.makeCall(kRequest, reinterpret_cast<HDRVLINE>(0x1), kTapiCall, &t.created, "202", nullptr)),
     LINEERR_INVALLINEHANDLE, ""},
    // Answer by party kind.
    {"answer a station", {{" 201", kOffering}}, OP(t.ops.answer(kRequest, t.hd(0), {})), kRequest, "CTI 5 0x58  201"},
    {"answer a CO line", {{"001", kOffering, 0, PartyKind::Co}}, OP(t.ops.answer(kRequest, t.hd(0), {})),
     kRequest, std::string("CTI 5 0x59 001") + '\0'},
    {"answer a connected call", {{" 201", kConnected}}, OP(t.ops.answer(kRequest, t.hd(0), {})), LINEERR_INVALCALLSTATE, ""},
    {"answer an unknown call", {}, OP(t.ops.answer(kRequest, reinterpret_cast<HDRVCALL>(0x1), {})), LINEERR_INVALCALLHANDLE, ""},
    // Drop.
    {"drop a connected call", {{" 201", kConnected}}, OP(t.ops.drop(kRequest, t.hd(0))), kRequest, "CTI 5 0x5a"},
    {"drop a held call", {{" 201", kOnHold}}, OP(t.ops.drop(kRequest, t.hd(0))), LINEERR_INVALCALLSTATE, ""},
    {"drop the consultation of a transfer", {{" 201", kPendTransfer}, {" 203", kRingback}},
     OP(t.ops.drop(kRequest, t.hd(1))), kRequest, "CTI 5 0x5d  201"},
    {"drop a member while the controller talks", {{" 201", kConnected}, {"", kConnected, kRoleConferenceController}},
     OP(t.ops.drop(kRequest, t.hd(0))), LINEERR_OPERATIONUNAVAIL, ""},
    // Hold, retrieve, swap.
    {"hold a station call", {{" 201", kConnected}}, OP(t.ops.hold(kRequest, t.hd(0))), kRequest, "CTI 5 0x5b"},
    {"hold a CO call", {{"001", kConnected, 0, PartyKind::Co}}, OP(t.ops.hold(kRequest, t.hd(0))), kRequest, "CTI 5 0x5b $"},
    {"hold a ringing call", {{" 201", kRingback}}, OP(t.ops.hold(kRequest, t.hd(0))), LINEERR_INVALCALLSTATE, ""},
    {"retrieve a station call", {{" 201", kOnHold}}, OP(t.ops.unhold(kRequest, t.hd(0))), kRequest, "CTI 5 0x5d  201"},
    {"retrieve a CO call", {{"002", kOnHold, 0, PartyKind::Co}}, OP(t.ops.unhold(kRequest, t.hd(0))), kRequest, "CTI 5 0x5c 002"},
    {"swap to the held call", {{" 201", kConnected}, {" 203", kOnHold}}, OP(t.ops.swapHold(kRequest, t.hd(0), t.hd(1))),
     kRequest, "CTI 5 0x90  203"},
    // Transfer and conference.
    {"set up a transfer", {{" 201", kConnected}}, OP(t.ops.setupTransfer(kRequest, t.hd(0), kTapiCall, &t.created)),
     kRequest, "CTI 5 0x6f"},
    {"complete a transfer", {{" 201", kPendTransfer}, {" 203", kRingback}},
     OP(t.ops.completeTransfer(kRequest, t.hd(0), t.hd(1), nullptr, nullptr, LINETRANSFERMODE_TRANSFER)),
     kRequest, "CTI 5 0x70"},
    {"complete a transfer in an unknown mode", {{" 201", kPendTransfer}, {" 203", kRingback}},
     OP(t.ops.completeTransfer(kRequest, t.hd(0), t.hd(1), nullptr, nullptr, 7)), LINEERR_OPERATIONUNAVAIL, ""},
    {"remove a station from the conference", {{" 201", kConferenced}, {"", kConnected, kRoleConferenceController}},
     OP(t.ops.removeFromConference(kRequest, t.hd(0))), kRequest, "CTI 5 0x75  201"},
    // Park, pickup, completion, redirect, dial.
    {"park at a directed location", {{" 201", kConnected}}, OP(t.ops.park(kRequest, t.hd(0), LINEPARKMODE_DIRECTED, "12", nullptr)),
     kRequest, "CTI 5 0x5e   12"},
    {"park at a location of five characters", {{" 201", kConnected}},
     OP(t.ops.park(kRequest, t.hd(0), LINEPARKMODE_DIRECTED, "12345", nullptr)), LINEERR_INVALADDRESS, ""},
    {"park in an unknown mode", {{" 201", kConnected}}, OP(t.ops.park(kRequest, t.hd(0), 4, "12", nullptr)),
     LINEERR_INVALPARKMODE, ""},
    {"directed pickup", {}, OP(t.ops.pickup(kRequest, t.hdLine(), kTapiCall, &t.created, "202")), kRequest, "CTI 5 0x60 202 "},
    {"group pickup", {}, OP(t.ops.pickup(kRequest, t.hdLine(), kTapiCall, &t.created, "")), kRequest, "CTI 5 0x61"},
    {"pickup of a CO group", {}, OP(t.ops.pickup(kRequest, t.hdLine(), kTapiCall, &t.created, "G123")), LINEERR_INVALADDRESS, ""},
    {"camp on a busy station", {{" 202", kBusy}}, OP([&] { DWORD id = 0; return t.ops.completeCall(kRequest, t.hd(0), &id, LINECALLCOMPLMODE_CAMPON); }()),
     kRequest, "CTI 5 0x65  202"},
    {"camp on a ringing station", {{" 202", kRingback}}, OP([&] { DWORD id = 0; return t.ops.completeCall(kRequest, t.hd(0), &id, LINECALLCOMPLMODE_CAMPON); }()),
     LINEERR_INVALCALLSTATE, ""},
    {"completion in an unknown mode", {{" 202", kBusy}}, OP([&] { DWORD id = 0; return t.ops.completeCall(kRequest, t.hd(0), &id, 0x40); }()),
     LINEERR_INVALCALLCOMPLMODE, ""},
    {"redirect a station call to the voice mailbox", {{" 201", kOffering}}, OP(t.ops.redirect(kRequest, t.hd(0), "VMIB")),
     kRequest, "CTI 5 0x8e 6 201"},
    {"redirect a CO call to the voice mailbox", {{"001", kOffering, 0, PartyKind::Co}}, OP(t.ops.redirect(kRequest, t.hd(0), "VMIB")),
     kRequest, "CTI 5 0x8e 5001"},
    {"redirect a connected call", {{" 201", kConnected}}, OP(t.ops.redirect(kRequest, t.hd(0), "VMIB")), LINEERR_INVALCALLSTATE, ""},
    {"account code on a CO call", {{"001", kConnected, 0, PartyKind::Co}}, OP(t.ops.dial(kRequest, t.hd(0), "ac123")),
     kRequest, "CTI 5 0x77 \xDD\xD0" "123"},
    {"account code on a station call", {{" 201", kConnected}}, OP(t.ops.dial(kRequest, t.hd(0), "ac123")), LINEERR_OPERATIONUNAVAIL, ""},
    {"dial on dial tone", {{"000", kDialtone}}, OP(t.ops.dial(kRequest, t.hd(0), "203")), kRequest, "CTI 5 0x55 203 "},
    // Forwarding.
    {"forwarding off", {}, OP(t.ops.forward(kRequest, t.hdLine(), 0, nullptr)), kRequest, "CTI 5 0x62 ("},
    {"forwarding on another address", {}, OP(t.ops.forward(kRequest, t.hdLine(), 1, nullptr)), LINEERR_INVALADDRESSID, ""},
    // Conference set-up, preparing and adding.
    {"set up a conference", {{" 201", kConnected}},
     OP([&] { HDRVCALL conf = nullptr, consult = nullptr; return t.ops.setupConference(kRequest, t.hd(0), t.hdLine(), kTapiCall, &conf, kTapiCall, &consult); }()),
     kRequest, "CTI 5 0x71"},
    {"set up a second conference", {{" 201", kConnected}, {"", LINECALLSTATE_ONHOLDPENDCONF, kRoleConferenceController}},
     OP([&] { HDRVCALL conf = nullptr, consult = nullptr; return t.ops.setupConference(kRequest, t.hd(0), t.hdLine(), kTapiCall, &conf, kTapiCall, &consult); }()),
     LINEERR_OPERATIONUNAVAIL, ""},
    {"prepare adding to a talking conference", {{"", kConnected, kRoleConferenceController}},
     OP([&] { HDRVCALL consult = nullptr; return t.ops.prepareAddToConference(kRequest, t.hd(0), kTapiCall, &consult); }()),
     kRequest, "CTI 5 0x72"},
    {"prepare adding to an ordinary call", {{" 201", kConnected}},
     OP([&] { HDRVCALL consult = nullptr; return t.ops.prepareAddToConference(kRequest, t.hd(0), kTapiCall, &consult); }()),
     LINEERR_INVALCALLSTATE, ""},
    {"add the consultation", {{"", LINECALLSTATE_ONHOLDPENDCONF, kRoleConferenceController}, {" 203", kConnected}},
     OP(t.ops.addToConference(kRequest, t.hd(0), t.hd(1))), kRequest, "CTI 5 0x73"},
    {"add a ringing consultation", {{"", LINECALLSTATE_ONHOLDPENDCONF, kRoleConferenceController}, {" 203", kRingback}},
     OP(t.ops.addToConference(kRequest, t.hd(0), t.hd(1))), LINEERR_INVALCALLSTATE, ""},
    {"remove a CO line from the conference", {{"001", kConferenced, 0, PartyKind::Co}, {"", kConnected, kRoleConferenceController}},
     OP(t.ops.removeFromConference(kRequest, t.hd(0))), kRequest, "CTI 5 0x74 001"},
    // Cancelling a camp-on that still waits.
    {"uncomplete a waiting camp-on", {{" 202", kBusy}},
     OP([&] { t.call(0).completionMode = kCompletionCampOn; return t.ops.uncompleteCall(kRequest, t.hdLine(), t.call(0).reference); }()),
     kRequest, "CTI 5 0x6b  202"},
    {"uncomplete an unknown completion", {{" 202", kBusy}}, OP(t.ops.uncompleteCall(kRequest, t.hdLine(), 9999)),
     LINEERR_OPERATIONUNAVAIL, ""},
    // User-user information, call data, digits: the service requests about the call.
    {"user-user information too big", {{" 201", kConnected}},
     OP(t.ops.sendUserUserInfo(kRequest, t.hd(0), std::vector<std::uint8_t>(LineOperations::kMaxUserUserInfo + 1))),
     LINEERR_USERUSERINFOTOOBIG, ""},
    {"user-user information on a held call", {{" 201", kOnHold}},
     OP(t.ops.sendUserUserInfo(kRequest, t.hd(0), std::vector<std::uint8_t>{1})), LINEERR_INVALCALLSTATE, ""},
    {"user-user information", {{" 201", kConnected}},
     OP(t.ops.sendUserUserInfo(kRequest, t.hd(0), std::vector<std::uint8_t>{1})), kRequest,
     std::string("CTI 65535 0x7c \x03\x00\x00\x05", 19)},
    {"digits without digits", {{" 201", kConnected}}, OP(t.ops.generateDigits(t.hd(0), 7, "")), LINEERR_CALLUNAVAIL, ""},
    {"digits", {{" 201", kConnected}}, OP(t.ops.generateDigits(t.hd(0), 7, "12#")), 0, "CTI 5 0x92 12#"},
    // Media modes.
    {"media mode other than voice", {{" 201", kConnected}}, OP(t.ops.setMediaMode(t.hd(0), LINEMEDIAMODE_DATAMODEM)),
     LINEERR_INVALMEDIAMODE, ""},
    {"conditional detection of voice", {}, OP(t.ops.conditionalMediaDetection(t.hdLine(), LINEMEDIAMODE_INTERACTIVEVOICE)),
     LINEERR_OPERATIONUNAVAIL, ""},
};

INSTANTIATE_TEST_SUITE_P(Operations, CallControlTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

// A one-entry forwarding list with the destination as wide text after it.
std::vector<std::uint8_t> forwardList(DWORD mode, std::u16string destination) {
    std::vector<std::uint8_t> block(sizeof(LINEFORWARDLIST) + (destination.size() + 1) * 2);
    auto* list = reinterpret_cast<LINEFORWARDLIST*>(block.data());
    list->dwTotalSize = static_cast<DWORD>(block.size());
    list->dwNumEntries = 1;
    list->ForwardList[0].dwForwardMode = mode;
    list->ForwardList[0].dwDestAddressSize = static_cast<DWORD>((destination.size() + 1) * 2);
    list->ForwardList[0].dwDestAddressOffset = sizeof(LINEFORWARDLIST);
    std::memcpy(block.data() + sizeof(LINEFORWARDLIST), destination.c_str(), (destination.size() + 1) * 2);
    return block;
}

TEST_F(LineOperationsTest, ForwardingSelectsByModeDestinationAndDialect) {
    struct Case {
        DWORD mode;
        std::u16string destination;
        link::Dialect dialect;
        LONG result;
        std::string sent;
    };
    const Case cases[] = {
        {LINEFORWARDMODE_UNCOND, u"DVU", link::Dialect::Extended, kRequest, "CTI 5 0x62 ,"},
        {LINEFORWARDMODE_BUSYNA, u"dvu", link::Dialect::Legacy, kRequest, "CTI 5 0x62 /"},
        {LINEFORWARDMODE_UNCONDEXTERNAL, u"dvu", link::Dialect::Extended, LINEERR_INVALPARAM, ""},
        {LINEFORWARDMODE_BUSY, u"203", link::Dialect::Extended, kRequest, "CTI 5 0x62 \"203 "},
        {LINEFORWARDMODE_NOANSW, u"203", link::Dialect::Legacy, kRequest, "CTI 5 0x62 # 203"},
        {LINEFORWARDMODE_UNCOND, u"20345", link::Dialect::Extended, kRequest, "CTI 5 0x62 !20345"},
        {LINEFORWARDMODE_UNCOND, u"G123", link::Dialect::Extended, LINEERR_INVALADDRESS, ""},
        {LINEFORWARDMODE_UNCOND, u"", link::Dialect::Extended, kRequest, "CTI 5 0x63"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.destination.begin(), c.destination.end()) + " mode " + std::to_string(c.mode));
        sender.sent.clear();
        line->pendingGeneral = 0;
        model.setDialect(c.dialect);
        auto block = forwardList(c.mode, c.destination);
        EXPECT_EQ(ops.forward(kRequest, hdLine(), 0, reinterpret_cast<LINEFORWARDLIST*>(block.data())), c.result);
        EXPECT_EQ(sender.sent, c.sent.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.sent});
    }
    // A destination offset outside the block is refused, not read.
    auto block = forwardList(LINEFORWARDMODE_UNCOND, u"203");
    reinterpret_cast<LINEFORWARDLIST*>(block.data())->ForwardList[0].dwDestAddressOffset = 4000;
    EXPECT_EQ(ops.forward(kRequest, hdLine(), 0, reinterpret_cast<LINEFORWARDLIST*>(block.data())),
              LINEERR_INVALPARAM);
}

TEST_F(LineOperationsTest, RepliesCompleteTheSlotOfTheirRequest) {
    setUpCalls({{" 201", kConnected}});
    ASSERT_EQ(ops.hold(7, hd(0)), 7);
    EXPECT_TRUE(call(0).requestPending);
    EXPECT_EQ(ops.makeCall(8, hdLine(), kTapiCall, &created, "202", nullptr), LINEERR_OPERATIONFAILED)
        << "the line is not free while the hold is pending";
    reply(link::code::Release);
    EXPECT_EQ(line->pendingHold, 7u) << "another request's reply leaves the hold pending";
    reply(link::code::Hold);
    EXPECT_EQ(events.log.back(), "COMPLETE 7,0");
    EXPECT_EQ(line->pendingHold, 0u);
    EXPECT_FALSE(call(0).requestPending);
    // A second reply finds nothing to complete.
    const auto before = events.log.size();
    reply(link::code::Hold);
    EXPECT_EQ(events.log.size(), before);
}

TEST_F(LineOperationsTest, RejectionsOfCallRequestsMapTheirCause) {
    struct Case {
        std::uint8_t cause;
        LONG result;
        // The call's state afterwards; "gone" when the call was removed.
        std::string after;
    };
    const Case cases[] = {
        {0x22, 0, "BUSY"},
        {'%', 0, "BUSY"},
        {'/', LINEERR_INVALADDRESS, "gone"},
        {'!', LINEERR_OPERATIONUNAVAIL, "gone"},
        {'C', LINEERR_OPERATIONFAILED, "gone"},
        {0x7F, LINEERR_INVALTIMEOUT, "gone"},
        {0x99, LINEERR_OPERATIONFAILED, "gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.cause));
        line->calls.clear();
        events.log.clear();
        ASSERT_EQ(ops.makeCall(kRequest, hdLine(), kTapiCall, &created, "202", nullptr), kRequest);
        reject(link::code::CallStation, c.cause);
        EXPECT_EQ(events.log.back(), "COMPLETE 42," + std::to_string(c.result));
        if (c.after == "gone") {
            EXPECT_TRUE(line->calls.empty());
        } else {
            ASSERT_EQ(line->calls.size(), 1u);
            EXPECT_EQ(stateName(call(0).state), c.after);
            // The busy call is known by the number the PBX reports, so a
            // camp-on names the station.
            EXPECT_EQ(call(0).key, " 202");
            sender.sent.clear();
            DWORD completion = 0;
            EXPECT_EQ(ops.completeCall(kRequest, hd(0), &completion, LINECALLCOMPLMODE_CAMPON), kRequest);
            EXPECT_EQ(sender.sent, std::vector<std::string>{"CTI 5 0x65  202"});
            line->pendingGeneral = 0;
            call(0).requestPending = false;
        }
    }
}

TEST_F(LineOperationsTest, CallbackRejectionsNeverCompleteAsSuccess) {
    struct Case {
        std::uint8_t cause;
        LONG result;
        DWORD state;
    };
    const Case cases[] = {
        {'&', LINEERR_OPERATIONUNAVAIL, kBusy},
        {'0', LINEERR_INVALCALLSTATE, kBusy},
        {'A', LINEERR_OPERATIONFAILED, kIdle},
        {'B', LINEERR_INVALCALLSTATE, kRingback},
        // Causes inside the PBX's range that name no result.
        {',', LINEERR_OPERATIONFAILED, kBusy},
        {'9', LINEERR_OPERATIONFAILED, kBusy},
        {'Z', LINEERR_OPERATIONFAILED, kBusy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, static_cast<char>(c.cause)));
        line->calls.clear();
        setUpCalls({{" 202", kBusy}});
        DWORD completion = 0;
        ASSERT_EQ(ops.completeCall(kRequest, hd(0), &completion, LINECALLCOMPLMODE_CALLBACK), kRequest);
        EXPECT_EQ(completion, call(0).reference);
        reject(link::code::CallbackRequest, c.cause);
        EXPECT_EQ(events.log.back(), "COMPLETE 42," + std::to_string(c.result));
        EXPECT_EQ(call(0).state, c.state);
    }
}

TEST_F(LineOperationsTest, NonDirectedParkTakesTheFirstFreeSlot) {
    setUpCalls({{" 201", kConnected}});
    std::vector<std::uint8_t> small(24);
    reinterpret_cast<VARSTRING*>(small.data())->dwTotalSize = 24;
    EXPECT_EQ(ops.park(kRequest, hd(0), LINEPARKMODE_NONDIRECTED, "", reinterpret_cast<VARSTRING*>(small.data())),
              LINEERR_STRUCTURETOOSMALL);
    EXPECT_EQ(reinterpret_cast<VARSTRING*>(small.data())->dwNeededSize, 32u);

    std::vector<std::uint8_t> block(40, 0xEE);
    auto* address = reinterpret_cast<VARSTRING*>(block.data());
    address->dwTotalSize = 32;
    EXPECT_EQ(ops.park(kRequest, hd(0), LINEPARKMODE_NONDIRECTED, "", address), LINEERR_RESOURCEUNAVAIL);
    model.updateParkSlot(" 801", true);
    model.updateParkSlot(" 802", false);
    sender.sent.clear();
    ASSERT_EQ(ops.park(kRequest, hd(0), LINEPARKMODE_NONDIRECTED, "", address), kRequest);
    EXPECT_EQ(sender.sent, std::vector<std::string>{"CTI 5 0x5e  802"});
    EXPECT_EQ(address->dwNeededSize, 32u);
    EXPECT_EQ(address->dwUsedSize, 32u);
    EXPECT_EQ(address->dwStringSize, 8u);
    EXPECT_EQ(address->dwStringOffset, 24u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(block.data() + 24), 4), u" 802");
    EXPECT_EQ(block[32], 0xEE) << "nothing written past the block";
    EXPECT_EQ(call(0).parkNumber, " 802");
}

TEST_F(LineOperationsTest, BlindTransferDialsOnTheConsultation) {
    // The target is dialled in the PBX's dialect (legacy: right-justified).
    model.setDialect(link::Dialect::Legacy);
    bool setsUp = true;
    sender.onSend = [&](std::uint16_t, std::uint8_t code) {
        if (code == link::code::TransferSetup && setsUp) {
            feed(0x39, " 201#");  // held, dial tone
            reply(code);
        }
    };
    struct Case {
        const char* name;
        bool setsUp;
        // The target's answer: 0 = it rings, else the rejection cause.
        std::uint8_t refusal;
        std::vector<std::string> sent;
        std::string completion;
    };
    const Case cases[] = {
        {"target rings", true, 0, {"CTI 5 0x6f", "CTI 5 0x55  203", "CTI 5 0x70"}, "COMPLETE 42,0"},
        {"target busy", true, 0x22, {"CTI 5 0x6f", "CTI 5 0x55  203", "CTI 5 0x70 \""}, "COMPLETE 42,0"},
        {"target unknown", true, '/', {"CTI 5 0x6f", "CTI 5 0x55  203", "CTI 5 0x5d  201"},
         "COMPLETE 42," + std::to_string(LINEERR_INVALADDRESS)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        line->calls.clear();
        line->pendingBlindTransfer = 0;
        setUpCalls({{" 201", kConnected}});
        sender.sent.clear();
        setsUp = c.setsUp;
        ASSERT_EQ(ops.blindTransfer(kRequest, hd(0), "203"), kRequest);
        ASSERT_EQ(line->calls.size(), 2u);
        EXPECT_EQ(call(0).state, kOnHold);
        EXPECT_EQ(call(1).role, kRoleBlindTransfer);
        if (c.refusal == 0) {
            feed(0x45, "!! 203    ");  // the target rings: the PBX takes the transfer
            reply(link::code::TransferComplete);
        } else {
            reject(link::code::CallStation, c.refusal);
            if (c.refusal == 0x22) reply(link::code::TransferComplete);
        }
        EXPECT_EQ(sender.sent, c.sent);
        EXPECT_EQ(events.log.back(), c.completion);
        EXPECT_EQ(line->pendingBlindTransfer, 0u);
    }

    // A PBX that never sets up the consultation: the transfer fails after 3 s.
    line->calls.clear();
    setUpCalls({{" 201", kConnected}});
    setsUp = false;
    const auto before = clock.now();
    EXPECT_EQ(ops.blindTransfer(kRequest, hd(0), "203"), LINEERR_OPERATIONFAILED);
    EXPECT_EQ(clock.now() - before, 3000ms);
    EXPECT_EQ(line->pendingBlindTransfer, 0u);
}

}  // namespace
}  // namespace velkor::core::testing
