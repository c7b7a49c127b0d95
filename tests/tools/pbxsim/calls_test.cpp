// The PBX's call engine, driven through the provider's own link: requests
// go in as the provider sends them, and every event the PBX sends is also
// fed into the provider's station model, so the tests check both the frames
// each station gets and the call states the provider derives from them.
#include <fstream>
#include <sstream>

#include "provider/core/model.h"
#include "provider/core/party.h"
#include "provider/link/encodings.h"
#include "tests/provider/core/model_fixture.h"
#include "tests/tools/pbxsim/sim_fixture.h"
#include "tools/pbxsim/control.h"

namespace velkor::pbxsim::testing {
namespace {

using namespace std::chrono_literals;
namespace code = link::code;
namespace ev = link::event;
using States = std::vector<std::string>;

std::string example(const std::string& name) {
    std::ifstream in(std::string(PBXSIM_EXAMPLES_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string num4(std::string_view number) {
    const auto n = link::encodeNum4(number);
    return std::string(n->begin(), n->end());
}

// The number as the extended dialect's call request carries it.
std::string dialled(std::string_view number) {
    const auto n = link::encodeNum4(number, link::Justify::Left);
    return std::string(n->begin(), n->end());
}

// The model90 office: 201, 202 and 203 (indexes 102-104) have lines open
// and are monitored; 204 is neither. The provider's model reads every event.
class CallsTest : public SimFixture, private core::CtiSender {
protected:
    void SetUp() override { start(example("model90-medium.pbx"), link::Dialect::Extended); }

    void start(const std::string& config, link::Dialect dialect) {
        makePbx(config);
        cti(link::kSystemIndex, code::SessionControl, bytes("##"));
        model.setDialect(dialect);
        heard.forward = &model;
        for (const char* n : {"201", "202", "203"}) openLine(n);
        heard.clear();
        events.log.clear();
    }

    std::uint16_t index(std::string_view number) {
        const StationConfig* s = pbx->config().stationByNumber(number);
        EXPECT_NE(s, nullptr) << number;
        return s ? s->index : 0;
    }

    void openLine(std::string_view number) {
        const std::uint16_t i = index(number);
        core::StationRecord* r = model.stations().at(i);
        r->number = num4(number);
        r->type = pbx->config().station(i)->type;
        model.openLine(i, reinterpret_cast<HTAPILINE>(0x1000 + i), nullptr);
        cti(i, code::SessionControl, bytes("!#"));
    }

    core::LineContext& line(std::string_view number) { return *model.findLine(index(number)); }

    void request(std::string_view number, std::uint8_t c, std::string_view data = {}) {
        cti(index(number), c, bytes(data));
    }

    // What the provider does for lineMakeCall (and the other operations that
    // open a call with TAPI's handle): a call of its own in state 0.
    core::CallContext& providerCall(std::string_view number) {
        core::LineContext& l = line(number);
        core::CallContext* c = model.createCall(l, true);
        c->origin = LINECALLORIGIN_OUTBOUND;
        l.inUse = true;
        return *c;
    }

    void makeCall(std::string_view from, std::string_view to) {
        core::CallContext& c = providerCall(from);
        const std::size_t rejected = heard.rejections.size();
        request(from, code::CallStation, dialled(to));
        // As the provider does with a busy rejection: the call shows busy.
        if (heard.rejections.size() > rejected) {
            const std::uint8_t why = heard.rejections.back().cause;
            if (why == 0x22) model.setCallState(line(from), c, LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
            if (why == '%') model.setCallState(line(from), c, LINECALLSTATE_BUSY, core::kBusyModeRefused);
        }
    }

    void control(std::string_view command) {
        const ControlReply reply = executeControl(*pbx, command);
        ASSERT_TRUE(reply.ok) << command << ": " << reply.text;
        pump();
    }

    // 201 and 202 in a call: 201 dialled, 202 answered.
    void connect(std::string_view from, std::string_view to) {
        makeCall(from, to);
        request(to, code::AnswerStation, num4(from));
        ASSERT_EQ(states(from), States{"CONNECTED " + std::string(to)});
        heard.clear();
    }

    // The provider's view of the station: every call not IDLE, as its state
    // and the number of its key.
    States states(std::string_view number) {
        States out;
        for (const auto& c : line(number).calls) {
            if (c->state == LINECALLSTATE_IDLE) continue;
            std::string s = core::testing::stateName(c->state);
            if (!c->key.empty()) s += " " + core::trimmed(c->key);
            out.push_back(s);
        }
        return out;
    }

    core::CallContext* call(std::string_view number, DWORD state) {
        return core::StationModel::findCallByState(line(number), state);
    }

    // Events one station heard since the last clear: code and data.
    std::vector<std::pair<std::uint8_t, std::string>> eventsTo(std::uint16_t station) {
        std::vector<std::pair<std::uint8_t, std::string>> out;
        for (const auto& e : heard.events) {
            if (e.station == station) out.emplace_back(e.code, std::string(e.data.begin(), e.data.end()));
        }
        return out;
    }
    std::vector<std::pair<std::uint8_t, std::string>> eventsTo(std::string_view number) {
        return eventsTo(index(number));
    }

    core::testing::RecordingEvents events;
    core::StationModel model{events, *this};

private:
    // The model's own requests (0x70 of a blind transfer, 0x5A) go out on the link.
    bool sendCti(std::uint16_t station, std::uint8_t c, std::span<const std::uint8_t> data) override {
        return provider.sendCti(station, c, data, clock.now());
    }
};

using Event = std::pair<std::uint8_t, std::string>;

TEST_F(CallsTest, StationCallAnsweredHeldRetrievedAndTransferredAfterConsultation) {
    makeCall("201", "202");
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].code, code::CallStation);
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::OutgoingCallResult, "!! 202 202"}}));
    EXPECT_EQ(eventsTo("202"), (std::vector<Event>{{ev::IncomingCall, "! 201 202"}}));
    EXPECT_EQ(states("201"), States{"RINGBACK 202"});
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
    EXPECT_EQ(call("202", LINECALLSTATE_OFFERING)->caller, (core::PartyId{"201", "STA201"}));

    heard.clear();
    request("202", code::AnswerStation, num4("201"));
    // The answering station goes off-hook after it is connected.
    EXPECT_EQ(eventsTo("202"), (std::vector<Event>{{ev::Answered, " 201"}, {ev::FeatureStatus, "7"}}));
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::StationCallProgress, "1 202"}}));
    EXPECT_EQ(states("201"), States{"CONNECTED 202"});
    EXPECT_EQ(states("202"), States{"CONNECTED 201"});

    request("201", code::Hold);
    EXPECT_EQ(states("201"), States{"ONHOLD 202"});
    EXPECT_EQ(states("202"), States{"CONNECTED 201"}) << "the held party's call does not change";
    request("201", code::RetrieveStation, num4("202"));
    EXPECT_EQ(states("201"), States{"CONNECTED 202"});

    request("201", code::TransferSetup);
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "DIALTONE 000"}));
    request("201", code::CallStation, dialled("203"));
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "RINGBACK 203"}));
    EXPECT_EQ(states("203"), States{"OFFERING 201"});
    request("203", code::AnswerStation, num4("201"));
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "CONNECTED 203"})) << "the held call stays held";
    EXPECT_EQ(states("203"), States{"CONNECTED 201"});

    heard.clear();
    request("201", code::TransferComplete);
    // The transferring station lets go of both calls before the reply.
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::Released, "7 202"},
                                                   {ev::Released, "7 203"},
                                                   {ev::FeatureStatus, "8"}}));
    ASSERT_EQ(heard.replies.size(), 1u);
    EXPECT_EQ(heard.replies[0].code, code::TransferComplete);
    EXPECT_EQ(eventsTo("202"), (std::vector<Event>{{ev::TransferredConnected, " 201 203"}}));
    EXPECT_EQ(eventsTo("203"), (std::vector<Event>{{ev::TransferredConnected, " 201 202"}}));
    EXPECT_EQ(states("201"), States{});
    EXPECT_FALSE(line("201").inUse);
    EXPECT_EQ(states("202"), States{"CONNECTED 203"});
    EXPECT_EQ(states("203"), States{"CONNECTED 202"});
    EXPECT_EQ(call("202", LINECALLSTATE_CONNECTED)->reason, static_cast<DWORD>(LINECALLREASON_TRANSFER));

    // 202 hangs up: 203 hears it and goes idle when it hangs up too.
    request("202", code::Release);
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(states("203"), States{"DISCONNECTED"});
    request("203", code::Release);
    EXPECT_EQ(states("203"), States{});
    EXPECT_EQ(pbx->callsText(), "no calls");
}

TEST_F(CallsTest, EventsGoOnlyToMonitoredStations) {
    makeCall("201", "204");
    EXPECT_EQ(states("201"), States{"RINGBACK 204"});
    EXPECT_TRUE(eventsTo("204").empty()) << "204 has no line open and is not monitored";
    control("answer 204");
    EXPECT_EQ(states("201"), States{"CONNECTED 204"});
    EXPECT_TRUE(eventsTo("204").empty());
}

TEST_F(CallsTest, ControlCommandsPlayTheOtherStation) {
    control("call 202 201");
    // Lifting the handset opens a dial-tone call, which the call then takes.
    EXPECT_EQ(eventsTo("202").front(), (Event{ev::FeatureStatus, "7"}));
    EXPECT_EQ(states("202"), States{"RINGBACK 201"});
    EXPECT_EQ(states("201"), States{"OFFERING 202"});
    control("answer 201");
    EXPECT_EQ(states("202"), States{"CONNECTED 201"});
    EXPECT_EQ(states("201"), States{"CONNECTED 202"});
    control("hangup 202");
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(states("201"), States{"DISCONNECTED"});
    control("hangup 201");
    EXPECT_EQ(states("201"), States{});
}

struct CoCallCase {
    const char* name;
    const char* command;
    core::PartyId caller;
    core::PartyKind kind;
    bool outsideHangsUp;
};

class CoCallTest : public CallsTest, public ::testing::WithParamInterface<CoCallCase> {};

TEST_P(CoCallTest, IncomingCoCallWithCallerIdAnsweredAndReleased) {
    const CoCallCase& c = GetParam();
    control(c.command);
    EXPECT_EQ(eventsTo("202").at(0).first, ev::IncomingCoCall);
    EXPECT_EQ(states("202"), States{"OFFERING 1"});
    core::CallContext* offered = call("202", LINECALLSTATE_OFFERING);
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->caller, c.caller);
    EXPECT_EQ(offered->partyKind, c.kind);
    EXPECT_EQ(offered->trunk, 1u);

    request("202", code::AnswerCo, std::string("  1") + '\0');
    EXPECT_EQ(states("202"), States{"CONNECTED 1"});
    if (c.outsideHangsUp) {
        control("co-hangup 001");
        EXPECT_EQ(states("202"), States{"DISCONNECTED"});
    }
    request("202", code::Release);
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(pbx->callsText(), "no calls");
}

INSTANTIATE_TEST_SUITE_P(
    CallerIds, CoCallTest,
    ::testing::Values(
        CoCallCase{"Number", "co-call 001 202 5551234", {"5551234", "CO001"}, core::PartyKind::Co, false},
        CoCallCase{"Name", "co-call 1 202 - \"Acme Ltd\"", {"", "Acme Ltd"}, core::PartyKind::CoWithName, false},
        CoCallCase{"OutsideHangsUp", "co-call 001 202 5551234", {"5551234", "CO001"}, core::PartyKind::Co, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallsTest, OutgoingCoCallRingsOutAndConnectsWhenTheOutsideAnswers) {
    providerCall("201");
    request("201", code::CallViaCoGroup, " 995551234");
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::OutgoingCoCallResult, "!!  15551234"}}));
    EXPECT_EQ(states("201"), States{"RINGBACK 1"});
    EXPECT_EQ(call("201", LINECALLSTATE_RINGBACK)->called, (core::PartyId{"5551234", "CO001"}));
    control("co-answer 001");
    EXPECT_EQ(states("201"), States{"CONNECTED 1"});
    request("201", code::DialDigits, "\xDD\xD0" "42");
    EXPECT_TRUE(heard.rejections.empty());
    request("201", code::Release);
    EXPECT_EQ(states("201"), States{});
}

TEST_F(CallsTest, BlindTransferCompletesWhenTheTargetRings) {
    connect("201", "202");
    request("201", code::TransferSetup);
    // The provider marks its consultation call as a blind transfer and dials.
    core::CallContext* consultation = call("201", LINECALLSTATE_DIALTONE);
    ASSERT_NE(consultation, nullptr);
    consultation->role = core::kRoleBlindTransfer;
    request("201", code::CallStation, dialled("203"));

    // The ringback made the provider complete the transfer with 0x70.
    const auto received = pbx->receivedRecords();
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back().code, code::TransferComplete);
    EXPECT_EQ(received.back().station, index("201"));
    EXPECT_EQ(states("201"), States{});
    EXPECT_EQ(states("202"), States{"RINGBACK 203"});
    EXPECT_EQ(states("203"), States{"OFFERING 202"});
    core::CallContext* offered = call("203", LINECALLSTATE_OFFERING);
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->redirecting, (core::PartyId{"201", "STA201"}));
    EXPECT_EQ(offered->reason, static_cast<DWORD>(LINECALLREASON_TRANSFER));

    request("203", code::AnswerStation, num4("202"));
    EXPECT_EQ(states("203"), States{"CONNECTED 202"});
    EXPECT_EQ(states("202"), States{"CONNECTED 203"});
}

struct ConferenceEnd {
    const char* name;
    const char* station;  // who acts
    std::uint8_t request;
    const char* data;
    States s201, s202, s203;
};

class ConferenceTest : public CallsTest, public ::testing::WithParamInterface<ConferenceEnd> {};

TEST_P(ConferenceTest, ThreePartyConferenceAndHowItEnds) {
    connect("201", "202");
    request("201", code::Conference);
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::ConferenceFormed, ""}}));
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "ONHOLDPENDCONF", "DIALTONE 000"}));
    request("201", code::CallStation, dialled("203"));
    request("203", code::AnswerStation, num4("201"));
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "ONHOLDPENDCONF", "CONNECTED 203"}));
    request("201", code::ConferenceAdd);
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "CONNECTED", "CONFERENCED 203"}));
    EXPECT_EQ(states("202"), States{"CONNECTED 201"});
    EXPECT_EQ(states("203"), States{"CONNECTED 201"});

    const ConferenceEnd& end = GetParam();
    request(end.station, end.request, end.data);
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("201"), end.s201);
    EXPECT_EQ(states("202"), end.s202);
    EXPECT_EQ(states("203"), end.s203);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ConferenceTest,
    ::testing::Values(
        ConferenceEnd{"ControllerRemoves203", "201", 0x75, " 203",
                      {"CONNECTED 202"}, {"CONNECTED 201"}, {"DISCONNECTED"}},
        ConferenceEnd{"Member202HangsUp", "202", code::Release, "",
                      {"CONNECTED 203"}, {}, {"CONNECTED 201"}},
        ConferenceEnd{"ControllerHangsUp", "201", code::Release, "",
                      {}, {"DISCONNECTED"}, {"DISCONNECTED"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallsTest, ConsultationCompletedAsConference) {
    connect("201", "202");
    request("201", code::TransferSetup);
    request("201", code::CallStation, dialled("203"));
    request("203", code::AnswerStation, num4("201"));
    request("201", code::Conference);
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "CONFERENCED 203", "CONNECTED"}));
}

TEST_F(CallsTest, AddingAPartyToATalkingConference) {
    connect("201", "202");
    request("201", code::Conference);
    request("201", code::CallStation, dialled("203"));
    request("203", code::AnswerStation, num4("201"));
    request("201", code::ConferenceAdd);
    heard.clear();

    // The controller steps out of the conference and gets dial tone.
    request("201", code::PrepareConferenceAdd);
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::ConferenceFormed, ""}}));
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "ONHOLDPENDCONF", "CONFERENCED 203", "DIALTONE 000"}));
    EXPECT_EQ(states("202"), States{"CONNECTED 201"}) << "the members talk on";
    // Putting down the dial tone goes back into the conference.
    request("201", code::Release);
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "CONNECTED", "CONFERENCED 203"}));

    request("201", code::PrepareConferenceAdd);
    request("201", code::CallStation, dialled("204"));
    control("answer 204");
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "ONHOLDPENDCONF", "CONFERENCED 203", "CONNECTED 204"}));
    request("201", code::ConferenceAdd);
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("201"), (States{"CONFERENCED 202", "CONNECTED", "CONFERENCED 203", "CONFERENCED 204"}));
}

TEST_F(CallsTest, ConsultationOnACoCallGivesDialTone) {
    control("co-call 001 202 5551234");
    request("202", code::AnswerCo, std::string("  1") + '\0');
    heard.clear();
    request("202", code::TransferSetup);
    EXPECT_EQ(eventsTo("202"), (std::vector<Event>{{ev::HoldProgress, "  1 #"}}));
    EXPECT_EQ(states("202"), (States{"ONHOLD 1", "DIALTONE 000"}));
    request("202", code::CallStation, dialled("203"));
    request("203", code::AnswerStation, num4("202"));
    EXPECT_EQ(states("202"), (States{"ONHOLD 1", "CONNECTED 203"}));
    request("202", code::TransferComplete);
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(states("203"), States{"CONNECTED 1"});
    EXPECT_EQ(call("203", LINECALLSTATE_CONNECTED)->caller, (core::PartyId{"5551234", "CO001"}));
}

TEST_F(CallsTest, RetrievingOneOfTwoHeldCallsBringsThatOneBack) {
    connect("201", "202");
    request("201", code::Hold);
    makeCall("201", "203");
    request("203", code::AnswerStation, num4("201"));
    request("201", code::Hold);
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "ONHOLD 203"}));
    heard.clear();
    request("201", code::RetrieveStation, num4("203"));
    EXPECT_EQ(eventsTo("201"), (std::vector<Event>{{ev::HeldCallReconnected, " 203"}}));
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "CONNECTED 203"}));
}

TEST_F(CallsTest, ParkAndUnparkReportTheSlot) {
    connect("201", "202");
    request("201", code::Park, " 801");
    EXPECT_EQ(states("201"), States{});
    EXPECT_EQ(states("202"), States{"CONNECTED 201"}) << "the parked party hears music";
    EXPECT_EQ(eventsTo(link::kSystemIndex), (std::vector<Event>{{ev::ParkSlotStatus, " 801OCC"}}));
    ASSERT_EQ(model.parkSlots().size(), 1u);
    EXPECT_TRUE(model.parkSlots()[0].occupied);

    heard.clear();
    request("203", code::Park, " 801");
    request("203", code::Park, " 802");
    request("203", code::Park, " 899");
    ASSERT_EQ(heard.rejections.size(), 3u);
    EXPECT_EQ(heard.rejections[0].cause, 0x22) << "the slot is taken";
    EXPECT_EQ(heard.rejections[1].cause, '!') << "203 has no call to park";
    EXPECT_EQ(heard.rejections[2].cause, '/') << "no such slot";

    providerCall("203");
    request("203", code::Unpark, " 801");
    EXPECT_EQ(states("203"), States{"CONNECTED 202"});
    EXPECT_EQ(states("202"), States{"CONNECTED 203"});
    EXPECT_FALSE(model.parkSlots()[0].occupied);
    request("203", code::Unpark, " 801");
    EXPECT_EQ(heard.rejections.back().cause, '!') << "the slot is empty now";
}

TEST_F(CallsTest, ParkNumbersRequestReportsEverySlot) {
    cti(link::kSystemIndex, code::ServiceRequest, {4, 12, 0, 102});
    EXPECT_EQ(eventsTo(link::kSystemIndex).size(), 10u);
    ASSERT_EQ(model.parkSlots().size(), 10u);
    EXPECT_EQ(model.parkSlots()[0].number, " 801");
    EXPECT_EQ(heard.services.size(), 1u) << "accepted after the slots";
}

TEST_F(CallsTest, ForwardToTheVoiceUnitAndBack) {
    request("202", code::Forward, ",");
    EXPECT_EQ(eventsTo("202"), (std::vector<Event>{{ev::FeatureStatus, "&,"}}));
    EXPECT_EQ(line("202").forwardMode, static_cast<DWORD>(LINEFORWARDMODE_UNCOND));
    EXPECT_EQ(line("202").forwardDestination, "DVU");

    heard.clear();
    makeCall("201", "202");
    EXPECT_TRUE(eventsTo("202").empty()) << "the call goes to the voice mailbox";
    EXPECT_EQ(states("201"), States{"CONNECTED 227"});
    request("201", code::Release);

    request("202", code::Forward, "(");
    EXPECT_EQ(line("202").forwardMode, 0u);
    EXPECT_FALSE(line("202").forwardActive);
    makeCall("201", "202");
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
}

TEST_F(CallsTest, ForwardToAStationOnBusy) {
    request("202", code::Forward, std::string(1, 0x22) + dialled("203"));
    EXPECT_EQ(line("202").forwardDestination, "203");
    control("busy 202");
    makeCall("201", "202");
    EXPECT_EQ(states("201"), States{"RINGBACK 203"});
    EXPECT_EQ(states("203"), States{"OFFERING 201"});
    EXPECT_EQ(call("203", LINECALLSTATE_OFFERING)->redirecting, (core::PartyId{"202", "STA202"}));
}

struct BusyCase {
    const char* name;
    const char* setUp;  // a control command, or "" for a request
    std::uint8_t setUpRequest;
    const char* called;
    std::uint8_t cause;
};

class BusyTest : public CallsTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyTest, CallRequestIsRejectedWithTheCause) {
    const BusyCase& c = GetParam();
    if (*c.setUp) control(c.setUp);
    if (c.setUpRequest) request("202", c.setUpRequest);
    heard.clear();
    makeCall("201", c.called);
    ASSERT_EQ(heard.rejections.size(), 1u);
    EXPECT_EQ(heard.rejections[0].code, link::rejectionCode(code::CallStation));
    EXPECT_EQ(heard.rejections[0].station, index("201"));
    EXPECT_EQ(heard.rejections[0].cause, c.cause);
    EXPECT_TRUE(eventsTo("202").empty()) << "the called station hears nothing";
    EXPECT_TRUE(eventsTo("201").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, BusyTest,
    ::testing::Values(BusyCase{"InACall", "call 202 203", 0, "202", 0x22},
                      BusyCase{"OffHook", "busy 202", 0, "202", 0x22},
                      BusyCase{"DoNotDisturb", "", code::DndOn, "202", '%'},
                      BusyCase{"NoSuchNumber", "", 0, "299", '/'},
                      BusyCase{"OwnNumber", "", 0, "201", '/'}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallsTest, DoNotDisturbIsReportedAndEnds) {
    request("202", code::DndOn);
    EXPECT_TRUE(line("202").doNotDisturb);
    EXPECT_EQ(line("202").forwardMode, static_cast<DWORD>(LINEFORWARDMODE_UNCOND));
    request("202", code::DndOff);
    EXPECT_FALSE(line("202").doNotDisturb);
    makeCall("201", "202");
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
}

TEST_F(CallsTest, CampOnRingsWhenTheBusyStationIsFree) {
    control("call 202 203");
    control("answer 203");
    makeCall("201", "202");
    ASSERT_EQ(heard.rejections.size(), 1u);
    request("201", code::CampOn, num4("202"));
    EXPECT_EQ(states("201"), States{"RINGBACK 202"});
    EXPECT_EQ(states("202"), (States{"CONNECTED 203", "ONHOLD 201"})) << "the camper waits on 202";
    request("203", code::Release);
    EXPECT_EQ(states("202"), (States{"DISCONNECTED", "ONHOLD 201"})) << "rings once 202 is on-hook";
    request("202", code::Release);
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
    request("202", code::AnswerStation, num4("201"));
    EXPECT_EQ(states("201"), States{"CONNECTED 202"});
    EXPECT_EQ(states("202"), States{"CONNECTED 201"});
}

TEST_F(CallsTest, CallbackIsOfferedWhenTheStationIsFree) {
    control("call 202 203");
    control("answer 203");
    makeCall("201", "202");
    request("201", code::CallbackRequest, num4("202"));
    EXPECT_EQ(events.log.back(), "DEVSPECIFIC 4,1,202");
    request("201", code::Release);
    EXPECT_EQ(states("201"), States{});
    control("hangup 203");
    EXPECT_EQ(states("201"), States{}) << "202 is off-hook still";
    control("hangup 202");
    EXPECT_EQ(eventsTo("201").back(), (Event{ev::CallbackOffer, " 202"}));
    EXPECT_EQ(states("201"), States{"OFFERING 202"});
    request("201", code::KeyPress, std::string("N") + '\0');
    EXPECT_EQ(states("201"), States{"RINGBACK 202"});
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
    EXPECT_EQ(call("202", LINECALLSTATE_OFFERING)->reason, static_cast<DWORD>(LINECALLREASON_CALLCOMPLETION));
}

TEST_F(CallsTest, IntrudeJoinsTheBusyStationsCall) {
    control("call 202 203");
    control("answer 203");
    makeCall("201", "202");
    request("201", code::Intrude, num4("202"));
    EXPECT_EQ(states("201"), States{"CONNECTED 202"});
    EXPECT_EQ(line("202").campedOnCall, call("202", LINECALLSTATE_ONHOLD));
    request("201", code::Release);
    EXPECT_EQ(states("202"), States{"CONNECTED 203"}) << "the intruder left";
}

TEST_F(CallsTest, MessageLeftAtABusyStation) {
    control("busy 202");
    makeCall("201", "202");
    request("201", code::MessageWaiting, num4("202"));
    EXPECT_EQ(states("201"), States{"DISCONNECTED"});
    EXPECT_TRUE(line("201").messageWaiting);
    EXPECT_EQ(eventsTo("202").back(), (Event{ev::FeatureStatus, ",!"})) << "one message waits";
    request("201", 0x6C, num4("202"));
    EXPECT_EQ(eventsTo("202").back(), (Event{ev::FeatureStatus, ", "}));
}

TEST_F(CallsTest, SwapHoldExchangesTheCalls) {
    connect("201", "202");
    request("201", code::Hold);
    makeCall("201", "203");
    request("203", code::AnswerStation, num4("201"));
    request("201", code::SwapHold, num4("202"));
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("201"), (States{"CONNECTED 202", "ONHOLD 203"}));
    request("201", code::SwapHold, num4("203"));
    EXPECT_EQ(states("201"), (States{"ONHOLD 202", "CONNECTED 203"}));
}

TEST_F(CallsTest, PickupTakesTheRingingCall) {
    makeCall("201", "202");
    providerCall("203");
    request("203", code::DirectedPickup, num4("202"));
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(states("203"), States{"CONNECTED 201"});
    EXPECT_EQ(states("201"), States{"CONNECTED 203"});
    EXPECT_EQ(call("201", LINECALLSTATE_CONNECTED)->reason, static_cast<DWORD>(LINECALLREASON_PICKUP));
}

TEST_F(CallsTest, GroupPickupOfAnOutsideCall) {
    control("co-call 002 202 5550000");
    providerCall("203");
    request("203", code::GroupPickup);
    EXPECT_EQ(states("202"), States{});
    EXPECT_EQ(states("203"), States{"CONNECTED 2"});
}

struct RedirectCase {
    const char* name;
    std::string data;
    States s201, s202, s203;
};

class RedirectTest : public CallsTest, public ::testing::WithParamInterface<RedirectCase> {};

TEST_P(RedirectTest, OfferedCallIsRedirected) {
    makeCall("201", "202");
    const RedirectCase& c = GetParam();
    request("202", code::Redirect, c.data);
    EXPECT_TRUE(heard.rejections.empty());
    EXPECT_EQ(states("201"), c.s201);
    EXPECT_EQ(states("202"), c.s202);
    EXPECT_EQ(states("203"), c.s203);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RedirectTest,
    ::testing::Values(RedirectCase{"VoiceMailbox", "6" + num4("201"), {"CONNECTED 227"}, {}, {}},
                      RedirectCase{"Station", "1" + num4("201") + dialled("203"),
                                   {"RINGBACK 203"}, {}, {"OFFERING 201"}},
                      RedirectCase{"OutThroughTheGroup", "2" + num4("201") + " 995551234",
                                   {"RINGBACK 1"}, {}, {}},
                      RedirectCase{"OutOnACoLine", "3" + num4("201") + "  35551234",
                                   {"RINGBACK 3"}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadRequest {
    const char* name;
    std::uint8_t code;
    std::string data;
    std::uint8_t cause;
};

class BadRequestTest : public CallsTest, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(BadRequestTest, IsRejectedWithTheCause) {
    const BadRequest& b = GetParam();
    request("201", b.code, b.data);
    ASSERT_EQ(heard.rejections.size(), 1u);
    EXPECT_EQ(heard.rejections[0].code, link::rejectionCode(b.code));
    EXPECT_EQ(heard.rejections[0].cause, b.cause);
    EXPECT_TRUE(heard.events.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadRequestTest,
    ::testing::Values(BadRequest{"CallWithoutNumber", code::CallStation, "", '/'},
                      BadRequest{"CoCallTooShort", code::CallViaCoGroup, " 9", '/'},
                      BadRequest{"NoSuchCoLine", code::CallViaCoLine, "0425551234", '/'},
                      BadRequest{"AnswerNothing", code::AnswerStation, " 202", '!'},
                      BadRequest{"HoldNothing", code::Hold, "", '!'},
                      BadRequest{"RetrieveNotHeld", code::RetrieveStation, " 202", '!'},
                      BadRequest{"ForwardUnknownSelector", code::Forward, "Z", '/'},
                      BadRequest{"ForwardToNobody", code::Forward, "!299 ", '/'},
                      BadRequest{"RedirectUnknownForm", code::Redirect, "9 202", '/'},
                      BadRequest{"RedirectNothingOffered", code::Redirect, "6 202", '!'},
                      BadRequest{"DigitsWithoutMarker", code::DialDigits, "12", '/'},
                      BadRequest{"DtmfWithoutCall", code::SendDtmf, "12", '!'},
                      BadRequest{"TransferWithoutHeldCall", code::TransferComplete, "", '!'},
                      BadRequest{"CampOnWithoutBusyCall", code::CampOn, " 202", '!'},
                      BadRequest{"SwapWithNothingHeld", code::SwapHold, " 202", '!'},
                      BadRequest{"RemoveWithoutConference", 0x75, " 202", '!'}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallsTest, BadControlCommandsSayWhatIsWrong) {
    for (const char* command : {"call 201", "call 201 299", "call 201 201", "answer 202", "hangup 202",
                                "co-call 042 202", "co-call 001 202 12ab", "co-answer 001", "co-hangup 001",
                                "dnd 202 maybe", "busy 299"}) {
        const ControlReply reply = executeControl(*pbx, command);
        EXPECT_FALSE(reply.ok) << command;
        EXPECT_EQ(reply.text.rfind("error: ", 0), 0u) << command << ": " << reply.text;
    }
    pump();
    EXPECT_TRUE(heard.events.empty());
}

// The legacy dialect: station numbers right-justified, outside numbers in
// packed digits; the events are the same.
class LegacyCallsTest : public CallsTest {
protected:
    void SetUp() override {
        std::string config = example("model90-medium.pbx");
        config.replace(config.find("dialect extended"), 16, "dialect legacy");
        start(config, link::Dialect::Legacy);
    }
};

TEST_F(LegacyCallsTest, StationAndCoCallsInTheLegacyForms) {
    providerCall("201");
    request("201", code::CallStation, num4("202"));
    EXPECT_EQ(states("202"), States{"OFFERING 201"});
    request("201", code::Release);

    providerCall("203");
    const auto packed = link::encodePackedDigits("5550123");
    request("203", code::CallViaCoLine, "  4" + std::string(packed->begin(), packed->end()));
    EXPECT_EQ(eventsTo("203").back(), (Event{ev::OutgoingCoCallResult, "!!  45550123"}));
    EXPECT_EQ(states("203"), States{"RINGBACK 4"});

    request("202", code::Forward, "!" + num4("201"));
    EXPECT_EQ(line("202").forwardDestination, "201");
}

}  // namespace
}  // namespace velkor::pbxsim::testing
