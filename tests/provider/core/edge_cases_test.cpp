// The call-state setter, the lock, and the events whose effects go beyond
// states and LINE_* messages: sends, device IDs, pauses, stored feature state.
#include <thread>

#include "model_fixture.h"

namespace velkor::core::testing {
namespace {

constexpr DWORD IDLE = LINECALLSTATE_IDLE;
constexpr DWORD OFFERING = LINECALLSTATE_OFFERING;
constexpr DWORD DIALTONE = LINECALLSTATE_DIALTONE;
constexpr DWORD RINGBACK = LINECALLSTATE_RINGBACK;
constexpr DWORD BUSY = LINECALLSTATE_BUSY;
constexpr DWORD CONNECTED = LINECALLSTATE_CONNECTED;
constexpr DWORD ONHOLD = LINECALLSTATE_ONHOLD;
constexpr DWORD CONFERENCED = LINECALLSTATE_CONFERENCED;

using Setter = ModelFixture;

TEST_F(Setter, UnchangedStateRaisesNothing) {
    setUpCalls({{"  21", CONNECTED}});
    model.setCallState(*line, call(0), CONNECTED, LINEDISCONNECTMODE_NORMAL);
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(call(0).mode, 0u);
}

TEST_F(Setter, ConnectedDropsDialtoneRingbackBusyOnly) {
    setUpCalls({{"  21", RINGBACK}, {"000", DIALTONE}, {"  22", RINGBACK}, {"  23", BUSY},
                {"  24", ONHOLD}, {"  25", OFFERING}});
    model.setCallState(*line, call(0), CONNECTED);
    EXPECT_EQ(events.log, (std::vector<std::string>{"c1 CALLSTATE CONNECTED", "c2 CALLSTATE IDLE",
                                                    "c3 CALLSTATE IDLE", "c4 CALLSTATE IDLE"}));
    EXPECT_EQ(call(4).state, ONHOLD);
    EXPECT_EQ(call(5).state, OFFERING);
}

TEST_F(Setter, IdleAndDisconnectedClearKeyAndRole) {
    for (const DWORD state : {IDLE, LINECALLSTATE_DISCONNECTED}) {
        setUpCalls({{"  21", CONNECTED, kRoleTransferTarget}});
        CallContext& c = *line->calls.back();
        model.setCallState(*line, c, state);
        EXPECT_EQ(c.key, "");
        EXPECT_EQ(c.role, kRoleOrdinary);
    }
}

TEST_F(Setter, ControllerLeavingTakesConferencedCallsToIdle) {
    setUpCalls({{"", CONNECTED, kRoleConferenceController}, {"  21", CONFERENCED}, {"  22", CONFERENCED},
                {"  23", ONHOLD}});
    model.setCallState(*line, call(0), LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
    EXPECT_EQ(events.log, (std::vector<std::string>{"c1 CALLSTATE DISCONNECTED mode=0x1",
                                                    "c2 CALLSTATE IDLE", "c3 CALLSTATE IDLE"}));
    EXPECT_EQ(call(3).state, ONHOLD);
}

// Holds the call-state lock? Asked from another thread while TAPI hears an event.
class LockProbe final : public TapiEvents {
public:
    explicit LockProbe(StationModel*& model) : m_model(model) {}
    std::vector<bool> heldDuringCallState;
    void lineEvent(const LineContext&, const CallContext*, DWORD message, DWORD_PTR, DWORD_PTR,
                   DWORD_PTR) override {
        if (message != LINE_CALLSTATE) return;
        bool free = false;
        std::thread([&] {
            free = m_model->callLock().try_lock();
            if (free) m_model->callLock().unlock();
        }).join();
        heldDuringCallState.push_back(!free);
    }
    HTAPICALL newCall(const LineContext&, CallContext&) override { return reinterpret_cast<HTAPICALL>(1); }
    void providerEvent(DWORD, DWORD_PTR, DWORD_PTR) override {}
    void complete(DRV_REQUESTID, LONG) override {}
    void phoneDevSpecificAll(DWORD_PTR, DWORD_PTR, DWORD_PTR) override {}

private:
    StationModel*& m_model;
};

TEST(CallStateLock, HeldWhileCallStateIsRaised) {
    StationModel* self = nullptr;
    LockProbe probe(self);
    RecordingSender sender;
    StationModel model(probe, sender);
    self = &model;
    LineContext* line = model.openLine(3, nullptr, nullptr);
    CallContext* c = model.createCall(*line, true);
    c->key = "  21";
    model.setCallState(*line, *c, OFFERING);
    const std::uint8_t answered[] = {' ', ' ', '2', '1'};
    model.onEvent({0, 3, 0x22, answered});
    ASSERT_EQ(probe.heldDuringCallState.size(), 2u);  // OFFERING, then CONNECTED by the event
    for (const bool held : probe.heldDuringCallState) EXPECT_TRUE(held);
}

using Events = ModelFixture;

TEST_F(Events, CallTapiRefusesIsDiscarded) {
    events.refuseCalls = true;
    feed(0x20, "!  21");
    feed(0x22, "  22");
    EXPECT_EQ(events.log, (std::vector<std::string>{"NEWCALL refused", "NEWCALL refused"}));
    EXPECT_TRUE(line->calls.empty());
}

TEST_F(Events, IncomingSubCodesSetReasonAndOrigin) {
    const std::pair<char, DWORD> cases[] = {
        {'!', LINECALLREASON_DIRECT},
        {'+', LINECALLREASON_CALLCOMPLETION},
        {'-', LINECALLREASON_FWDBUSY | LINECALLREASON_FWDNOANSWER | LINECALLREASON_FWDUNCOND},
        {'$', LINECALLREASON_REMINDER},
        {'=', LINECALLREASON_TRANSFER},
        {'P', LINECALLREASON_TRANSFER},
        {'T', LINECALLREASON_REDIRECT},
    };
    for (const auto& [sub, reason] : cases) {
        line->calls.clear();
        feed(0x20, std::string(1, sub) + "  21  22");
        ASSERT_EQ(line->calls.size(), 1u) << sub;
        EXPECT_EQ(call(0).reason, reason) << sub;
        EXPECT_EQ(call(0).origin, LINECALLORIGIN_INTERNAL) << sub;
    }
}

TEST_F(Events, AnsweredUnknownCallHasUnknownOrigin) {
    feed(0x22, "  21");
    EXPECT_EQ(call(0).origin, LINECALLORIGIN_UNKNOWN);
    EXPECT_EQ(call(0).reason, LINECALLREASON_DIRECT);
}

TEST_F(Events, TruncatedAndOversizedPayloadsIgnored) {
    feed(0x20, "!  2");                        // num cut short
    feed(0x45, "!!  2");
    feed(0x20, "!  21" + std::string(55, ' '));  // 60 bytes: more than a frame holds
    EXPECT_TRUE(events.log.empty());
    EXPECT_TRUE(line->calls.empty());
    feed(0x20, "!  21" + std::string(54, ' '));  // 59 bytes: the most a frame holds
    EXPECT_EQ(line->calls.size(), 1u);
}

TEST_F(Events, UnknownCodesAndRepliesIgnored) {
    setUpCalls({{"  21", CONNECTED}});
    for (const std::uint8_t code : {0x2F, 0x30, 0x3D, 0x4F, 0x50, 0xA0}) feed(code, "  21  21  21");
    EXPECT_TRUE(events.log.empty());
}

TEST_F(Events, ReleaseFlagsAndInUse) {
    line->messageWaiting = line->doNotDisturb = true;
    feed(0x21, "\x80");
    EXPECT_FALSE(line->messageWaiting);
    EXPECT_FALSE(line->doNotDisturb);
    setUpCalls({{"  21", CONNECTED}});
    line->inUse = true;
    feed(0x21, ":  21");
    EXPECT_FALSE(line->inUse);
    feed(0x20, "!  22");
    EXPECT_TRUE(line->inUse);
}

TEST_F(Events, ReleasedWithDropSendsRelease) {
    setUpCalls({{"  21", CONNECTED}, {"  22", RINGBACK}});
    feed(0x2A, "  21");
    EXPECT_TRUE(line->dropRequested);
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 5 0x5a"}));
    feed(0x2A, "  22");  // not connected: nothing to release
    EXPECT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(call(1).state, LINECALLSTATE_DISCONNECTED);
}

TEST_F(Events, BlindTransferResultCompletesTransfer) {
    setUpCalls({{"", 0, kRoleBlindTransfer}});
    feed(0x45, "!!  21");
    EXPECT_EQ(sender.sent, (std::vector<std::string>{"CTI 5 0x70"}));
    EXPECT_EQ(call(0).state, 0u);
}

TEST_F(Events, TransferTargetRole) {
    setUpCalls({{"  21", CONNECTED}, {" 205", CONNECTED}});
    feed(0x2B, "  21");
    feed(0x2B, " 205");
    EXPECT_EQ(call(0).role, kRoleTransferTarget);
    EXPECT_EQ(call(1).role, kRoleOrdinary);
}

TEST_F(Events, CampedOnCallReleased) {
    setUpCalls({{"  21", CONNECTED}});
    feed(0x24, "x  22");
    ASSERT_EQ(line->campedOnCall, &call(1));
    events.log.clear();
    feed(0x29, "x  23");  // not the remembered call
    EXPECT_TRUE(events.log.empty());
    feed(0x29, "x  22");
    EXPECT_EQ(events.log, (std::vector<std::string>{"c2 CALLSTATE IDLE", "c1 CALLSTATE CONNECTED",
                                                    "c1 CALLINFO CONNECTEDID"}));
    EXPECT_EQ(line->campedOnCall, nullptr);
}

TEST_F(Events, HeldCallReconnectedCompletesPendingRequest) {
    setUpCalls({{"", ONHOLD}});
    line->pendingGeneral = 41;
    feed(0x47, "  21");
    EXPECT_EQ(events.log, (std::vector<std::string>{"COMPLETE 41,0", "c1 CALLSTATE CONNECTED"}));
    EXPECT_EQ(line->pendingGeneral, 0u);
}

TEST_F(Events, OnHookIdlesProgressCallsAndEndsPaging) {
    setUpCalls({{"000", DIALTONE}, {"  21", BUSY}});
    line->inUse = true;
    feed(0x3C, "8");
    EXPECT_EQ(events.log, (std::vector<std::string>{"c1 CALLSTATE IDLE", "c2 CALLSTATE IDLE"}));
    EXPECT_FALSE(line->inUse);

    setUpCalls({{"PAGE", CONNECTED}});
    line->inUse = line->pagingActive = true;
    feed(0x3C, "8");
    EXPECT_EQ(events.log, (std::vector<std::string>{"c3 CALLSTATE IDLE"}));
    EXPECT_FALSE(line->pagingActive);
    EXPECT_TRUE(line->inUse);
}

TEST_F(Events, ForwardingStatusStoresModeAndDestination) {
    struct Case {
        std::string data;
        DWORD mode;
        std::string destination;
    };
    const Case cases[] = {
        {"&!  22", LINEFORWARDMODE_UNCOND, "22"},
        {"&\" 123", LINEFORWARDMODE_BUSY, "123"},
        {"&#  22", LINEFORWARDMODE_NOANSW, "22"},
        {"&$  22", LINEFORWARDMODE_BUSYNA, "22"},
        {"&%0301234", LINEFORWARDMODE_UNCONDEXTERNAL, "0301234"},
        {"&*" + std::string(30, '5'), LINEFORWARDMODE_UNCONDEXTERNAL, std::string(28, '5')},
        {"&+", LINEFORWARDMODE_NOANSWEXTERNAL, ""},
        {"&-", LINEFORWARDMODE_BUSY, "DVU"},
        {"&.", LINEFORWARDMODE_NOANSW, "DVU"},
    };
    for (const Case& c : cases) {
        line->doNotDisturb = true;
        feed(0x3C, c.data);
        EXPECT_EQ(line->forwardMode, c.mode) << c.data;
        EXPECT_TRUE(line->forwardActive) << c.data;
        EXPECT_EQ(line->forwardDestination, c.destination) << c.data;
        EXPECT_FALSE(line->doNotDisturb) << c.data;
    }
    feed(0x3C, "&(");
    EXPECT_FALSE(line->forwardActive);
    feed(0x3C, "%!");
    EXPECT_TRUE(line->doNotDisturb);
    EXPECT_EQ(line->forwardMode, LINEFORWARDMODE_UNCOND);
    EXPECT_EQ(line->forwardDestination, "");
}

TEST_F(Events, CompletionNumberReportPacesAndCollects) {
    line->collectsCompletionNumbers = true;
    feed(0x3C, "(!  21");
    feed(0x3C, "(\"  22");
    EXPECT_EQ(pauses, (std::vector<long>{100, 100, 100, 100}));
    EXPECT_EQ(line->completionNumbers, (std::vector<DWORD>{21}));
}

TEST_F(Events, CompletionListsLoseCancelledNumbers) {
    line->completionList1 = {"  21", "  22"};
    line->completionList2 = {"  21"};
    feed(0x3C, "'\"  21");
    feed(0x3C, ")!  21");  // not a cancellation
    EXPECT_EQ(line->completionList1, (std::vector<std::string>{"  22"}));
    EXPECT_EQ(line->completionList2, (std::vector<std::string>{"  21"}));
    feed(0x3C, ")\"  21");
    EXPECT_TRUE(line->completionList2.empty());
}

TEST_F(Events, CallbackOfferLeavesPendingList) {
    line->pendingCallbacks = {"  21", "  22"};
    feed(0x23, "  21");
    EXPECT_EQ(line->pendingCallbacks, (std::vector<std::string>{"  22"}));
    EXPECT_TRUE(call(0).callback);
    EXPECT_EQ(call(0).reason, LINECALLREASON_CALLCOMPLETION);
}

TEST_F(Events, MessageCountStoredWhenTracked) {
    feed(0x3C, ",#");
    EXPECT_FALSE(line->messageCountPending);
    line->tracksMessageCount = true;
    feed(0x3C, ",%");
    EXPECT_TRUE(line->messageCountPending);
    EXPECT_EQ(line->messageCount, 5u);
}

TEST_F(Events, ShortMessageStoredAndCut) {
    feed(0x4A, "  21" + std::string(55, 'x'));
    EXPECT_EQ(line->shortMessage, "  21" + std::string(54, 'x'));
    EXPECT_TRUE(line->shortMessageReady);
}

TEST_F(Events, StationAddedGetsTemporaryIdsAndKeepsItsDevice) {
    model.providerIds().lineBase = 10;
    model.providerIds().lineCount = 3;
    model.providerIds().providerHandle = reinterpret_cast<HPROVIDER>(0xAB);
    feed(0x3B, "", 7);
    feed(0x3B, "", 8);
    feed(0x3B, "", 7);  // added again: no second device
    feed(0x3B, "");     // the open line hears about it
    EXPECT_EQ(events.log, (std::vector<std::string>{"CREATE 13 provider=0xab", "CREATE 14 provider=0xab",
                                                    "DEVSPECIFIC 254,1,0", "CREATE 15 provider=0xab"}));
    EXPECT_EQ(model.stations().at(7)->type, kTypeDkt);
    EXPECT_EQ(model.stations().at(8)->lineDeviceId, 14u);
}

TEST_F(Events, StationRemovedRaisesLineRemove) {
    feed(0x3C, ";", 9);  // no device: nothing to remove
    model.stations().at(9)->lineDeviceId = 4;
    feed(0x3C, ";", 9);
    EXPECT_EQ(events.log, (std::vector<std::string>{"REMOVE 4"}));
}

class Records final : public RecordSink {
public:
    std::vector<std::string> calls, other;
    void onCallRecord(std::span<const std::uint8_t> r) override { calls.emplace_back(r.begin(), r.end()); }
    void onOtherData(std::span<const std::uint8_t> d) override { other.emplace_back(d.begin(), d.end()); }
};

TEST_F(Events, CallRecordAssembledFromTwoParts) {
    Records records;
    model.setRecordSink(&records);
    feed(0x3F, " first half ", link::kSystemIndex);
    feed(0x3F, "!second half", link::kSystemIndex);
    feed(0x3F, "!alone", link::kSystemIndex);
    feed(0x48, "\x01\x02raw", link::kSystemIndex);
    EXPECT_EQ(records.calls, (std::vector<std::string>{"first half second half", "alone"}));
    EXPECT_EQ(records.other, (std::vector<std::string>{"\x01\x02raw"}));
}

TEST_F(Events, ParkSlotsTracked) {
    feed(0x41, "  10EMP", link::kSystemIndex);
    feed(0x41, "  11OCC", link::kSystemIndex);
    feed(0x41, "  10OCC", link::kSystemIndex);
    ASSERT_EQ(model.parkSlots().size(), 2u);
    EXPECT_EQ(model.parkSlots()[0].number, "  10");
    EXPECT_TRUE(model.parkSlots()[0].occupied);
    EXPECT_EQ(events.log.size(), 3u);
}

TEST_F(Events, SystemNoticeReachesEveryOpenLine) {
    model.openLine(9, nullptr, nullptr);
    feed(0x40, "8", link::kSystemIndex);
    EXPECT_EQ(events.log, (std::vector<std::string>{"DEVSPECIFIC 255,2,0", "DEVSPECIFIC 255,2,0",
                                                    "PHONE_DEVSPECIFIC 255,2,0"}));
}

}  // namespace
}  // namespace velkor::core::testing
