// Enumeration, initialisation, line opening and shutdown against a scripted
// PBX that answers inside the send, on a virtual clock that jumps through
// every wait nothing ends: the clock then shows exactly how long the
// provider waited and paced.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/time/virtual_clock.h"
#include "provider/core/lifecycle.h"
#include "provider/link/catalogue.h"
#include "provider/link/encodings.h"
#include "tests/provider/core/model_fixture.h"
#include "tests/support/temp_folder.h"

namespace velkor::core::testing {
namespace {

using namespace std::chrono_literals;
using platform::Duration;
using Status = SessionReplies::SessionStatus;

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

class ScriptedPbx final : public CtiSender, public AtdSender, public LinkControl {
public:
    // What the PBX is.
    bool sessionAnswers = true;
    bool sessionAccepted = true;
    std::optional<std::string> version = "VK30-0105A1";
    bool identificationRefused = false;  // rejection 0xA1 cause 0x22 instead of silence
    std::map<std::uint16_t, std::uint8_t> stations;  // index → type; number 100 + index
    bool monitorAccepted = true;
    bool monitorAnswers = true;
    bool singleStationAnswers = true;
    bool endsStartup = true;  // single-station '5'
    int atdRefusals = 0;      // 0x000B answers refused this many times first
    bool atdAnswers = true;
    bool directoryAnswers = true;
    bool closeAcknowledged = true;
    std::uint16_t directorySize = 25;

    // What it saw, with the clock's offset from the start.
    struct Sent {
        Duration at;
        std::string what;
    };
    std::vector<Sent> sent;
    std::vector<std::uint16_t> describedIndexes;
    bool linkStarted = false;
    int linkStarts = 0;
    bool linkStartFails = false;

    ScriptedPbx(platform::VirtualClock& clock) : m_clock(clock), m_start(clock.now()) {}
    void attach(SessionReplies& replies, StationModel& model) {
        m_replies = &replies;
        m_model = &model;
    }

    bool start() override {
        ++linkStarts;
        linkStarted = !linkStartFails;
        return linkStarted;
    }
    void stop() override { linkStarted = false; }

    bool sendCti(std::uint16_t station, std::uint8_t code, std::span<const std::uint8_t> data) override {
        std::string what = "CTI " + RecordingEvents::hex(station) + " " + RecordingEvents::hex(code);
        for (auto b : data) what += " " + RecordingEvents::hex(b);
        record(what);
        if (!linkStarted) return false;
        const std::string d(data.begin(), data.end());
        if (code == link::code::SessionControl) onSessionControl(station, d);
        if (code == link::code::Query) onQuery(d);
        return true;
    }

    bool sendAtd(std::uint16_t code, std::span<const std::uint8_t> data) override {
        std::string what = "ATD " + RecordingEvents::hex(code);
        for (auto b : data) what += " " + RecordingEvents::hex(b);
        record(what);
        if (!atdAnswers) return true;
        namespace atd = link::atd;
        switch (code) {
        case atd::OpenSession:
            answerAtd(atdRefusals-- > 0 ? atd::SessionRefused : atd::SessionAccepted, {});
            break;
        case atd::SystemValue:
            answerAtd(code, {0, 3, 0, 0x12});
            break;
        case atd::Version: {
            std::vector<std::uint8_t> d{11};
            const std::string text = "VK30-0105A1";
            d.insert(d.end(), text.begin(), text.end());
            answerAtd(code, d);
            break;
        }
        case atd::OwnStationIndex:
            answerAtd(code, {0, 1});
            break;
        case atd::StationDirectorySize:
            answerAtd(code, {static_cast<std::uint8_t>(directorySize >> 8),
                       static_cast<std::uint8_t>(directorySize & 0xFF)});
            break;
        case atd::CoDirectorySize:
            answerAtd(code, {0, 8});
            break;
        case atd::DirectoryEntry: {
            if (!directoryAnswers) break;
            const int first = data[0] << 8 | data[1];
            for (int i = first; i < first + 10 && i <= directorySize; ++i) {
                // length 5: index, slot, BCD number, no name.
                answerAtd(code, {5, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i), 1,
                           0x01, 0x00});
            }
            break;
        }
        case atd::Close:
            if (closeAcknowledged) answerAtd(atd::CloseAcknowledged, {});
            break;
        default:
            break;
        }
        return true;
    }

    std::vector<std::string> sentTexts() const {
        std::vector<std::string> out;
        for (const Sent& s : sent) out.push_back(s.what);
        return out;
    }
    bool saw(std::string_view what) const {
        for (const Sent& s : sent) {
            if (s.what == what) return true;
        }
        return false;
    }

private:
    void record(std::string what) { sent.push_back({m_clock.now() - m_start, std::move(what)}); }

    void reply(std::uint16_t station, std::uint8_t code, std::vector<std::uint8_t> data) {
        m_replies->onReply(link::CtiMessage{0, station, code, data});
    }
    void reject(std::uint16_t station, std::uint8_t code, std::uint8_t cause) {
        m_replies->onRejection(link::Rejection{station, link::rejectionCode(code), cause, false});
    }
    void answerAtd(std::uint16_t code, std::vector<std::uint8_t> data) {
        m_model->onAtd(link::AtdMessage{code, 2, 0, data});
    }

    void onSessionControl(std::uint16_t station, const std::string& d) {
        if (d == "##") {
            if (!sessionAnswers) return;
            if (sessionAccepted) {
                reply(station, link::code::SessionControl, bytes("6#"));
            } else {
                reject(station, link::code::SessionControl, link::kCauseSessionTimeout);
            }
        } else if (d == "!#" && m_model->settings().singleStation) {
            if (!singleStationAnswers) return;
            // '4', the own number, dialect byte '#', type DKT.
            std::vector<std::uint8_t> r = bytes("4 201#");
            r.push_back(kTypeDkt);
            reply(station, link::code::SessionControl, r);
        } else if (d == "!#") {
            if (!monitorAnswers) return;
            if (monitorAccepted) {
                reply(station, link::code::SessionControl, bytes("4"));
            } else {
                reject(station, link::code::SessionControl, 0x21);
            }
        } else if (d == "\x22" && m_model->settings().singleStation && endsStartup) {
            reply(station, link::code::SessionControl, bytes("5"));
        }
    }

    void onQuery(const std::string& d) {
        if (d == "!") {
            if (version) {
                reply(link::kSystemIndex, link::code::Query, bytes("!" + *version));
            } else if (identificationRefused) {
                reject(link::kSystemIndex, link::code::Query, 0x22);
            }
            return;
        }
        if (d.size() != 3 || d[0] != 0x22) return;
        const auto index = static_cast<std::uint16_t>(static_cast<std::uint8_t>(d[1]) << 8 |
                                                      static_cast<std::uint8_t>(d[2]));
        describedIndexes.push_back(index);
        const auto it = stations.find(index);
        if (it == stations.end()) return;
        std::vector<std::uint8_t> r{0x22};
        const auto number = link::encodeNum4(std::to_string(100 + index));
        r.insert(r.end(), number->begin(), number->end());
        r.push_back(static_cast<std::uint8_t>(index >> 8));
        r.push_back(static_cast<std::uint8_t>(index & 0xFF));
        r.push_back(it->second);
        reply(link::kSystemIndex, link::code::Query, r);
    }

    platform::VirtualClock& m_clock;
    platform::TimePoint m_start;
    SessionReplies* m_replies = nullptr;
    StationModel* m_model = nullptr;
};

class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest() {
        clock.setAutoAdvance(true);
        pbx.attach(replies, model);
        model.setAtdSender(&pbx);
        model.setAtdSession(&atd);
    }

    void setRegistry(std::uint32_t connectionMode, std::uint32_t system) {
        config::ProviderSettings s;
        s.connectionMode = connectionMode;
        s.system = system;
        store.write(s, config::kConnectionMode | config::kSystem);
    }
    // Stations of every type at 1..N-1 of model 30: DKT, SLT, WKT carry devices.
    void fillModel30() {
        const std::uint8_t types[] = {kTypeDkt, kTypeSlt, kTypeWkt, kTypeEkt, kTypeUnplugged};
        for (std::uint16_t i = 1; i <= 300; ++i) pbx.stations[i] = types[i % 5];
    }
    LONG enumerate() { return lifecycle.enumerateDevices(7, kProvider, &lines, &phones); }
    std::vector<std::string> sentFrom(std::size_t first) const {
        const auto all = pbx.sentTexts();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end()};
    }

    static inline const HPROVIDER kProvider = reinterpret_cast<HPROVIDER>(std::uintptr_t{7});
    velkor::testing::TempFolder folder{"lifecycle"};
    config::SettingsStore store{platform::Registry(folder.path())};
    platform::VirtualClock clock;
    RecordingEvents events;
    ScriptedPbx pbx{clock};
    StationModel model{events, pbx};
    SessionReplies replies{model, clock};
    int supervisionStarts = 0;
    int supervisionStops = 0;
    std::vector<std::string> versions;
    AtdSession atd{pbx, model.directory(), clock,
                   AtdSession::Hooks{[this](const std::string& v) { versions.push_back(v); },
                                     [this] { ++supervisionStarts; },
                                     [this] { ++supervisionStops; }}};
    std::vector<std::string> notices;
    ProviderLifecycle lifecycle{model, replies, atd, pbx, store, clock,
                                [this](const std::string& text) { notices.push_back(text); }};
    DWORD lines = 99;
    DWORD phones = 99;
};

TEST_F(LifecycleTest, Model30DescribesThreeHundredStationsPacedByTensAndOpensTheAtdSession) {
    setRegistry(0, 0);
    fillModel30();
    ASSERT_EQ(enumerate(), 0);

    EXPECT_EQ(lines, 180u) << "DKT, SLT and WKT: three of every five stations";
    EXPECT_EQ(phones, lines);
    EXPECT_EQ(lifecycle.sessionStatus(), Status::Open);
    EXPECT_EQ(lifecycle.stationCount(), 301);
    EXPECT_EQ(lifecycle.systemName(), "VELKOR-L Office");
    EXPECT_EQ(model.dialect(), link::Dialect::Extended);
    EXPECT_EQ(store.readVersionText(), "VK30-0105A1");
    EXPECT_TRUE(notices.empty());

    std::vector<std::uint16_t> expected(300);
    for (std::uint16_t i = 0; i < 300; ++i) expected[i] = static_cast<std::uint16_t>(i + 1);
    EXPECT_EQ(pbx.describedIndexes, expected);

    // The k-th query goes out after (k-1)/10 pauses of 250 ms.
    int k = 0;
    Duration firstQuery{};
    for (const auto& s : pbx.sent) {
        if (s.what.rfind("CTI 0xffff 0x51 0x22", 0) != 0) continue;
        if (k == 0) firstQuery = s.at;
        EXPECT_EQ(s.at - firstQuery, (k / 10) * 250ms) << "query " << k + 1;
        ++k;
    }
    EXPECT_EQ(k, 300);

    // After the descriptions: the ATD session, then the keep-alive.
    std::size_t atdStart = 0;
    while (atdStart < pbx.sent.size() && pbx.sent[atdStart].what.rfind("ATD", 0) != 0) ++atdStart;
    const std::vector<std::string> expectedTail = {
        "ATD 0xb", "ATD 0x8", "ATD 0x108", "ATD 0x105", "ATD 0x101", "ATD 0x102",
        "ATD 0x309 0x0 0x1", "ATD 0x309 0x0 0xb", "ATD 0x309 0x0 0x15",
        "ATD 0x201", "ATD 0x202 0x3 0x1 0xe", "CTI 0xffff 0x8b"};
    EXPECT_EQ(sentFrom(atdStart), expectedTail);
    config::ProviderSettings s;
    store.read(s, config::kAtdEnable);
    EXPECT_EQ(s.atdEnable, 1u) << "written before the session opens";
    EXPECT_TRUE(atd.active());
    EXPECT_EQ(supervisionStarts, 1);
    EXPECT_EQ(versions, std::vector<std::string>{"VK30-0105A1"});
    EXPECT_EQ(model.directory().stationCount(), 25);
    EXPECT_TRUE(model.directory().station(25)->present);
}

TEST_F(LifecycleTest, SystemSettingThatDoesNotFitTheModelShowsANoticeAndGoesOn) {
    const std::string text(ProviderLifecycle::kMismatchNotice);
    struct Case {
        std::string version;
        std::uint32_t system;
        std::vector<std::string> notices;
        // The small system is paced 100 ms after each query besides.
        Duration pacing;
    };
    const Case cases[] = {
        {"VK24-0101A1", 0, {" " + text + " "}, 3 * 250ms},
        {"VK24-0101A1", 1, {}, 3 * 250ms + 32 * 100ms},
        {"VM90-0110C2", 1, {text}, 12 * 250ms + 128 * 100ms},
        {"VM90-0110C2", 0, {}, 12 * 250ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version + " System " + std::to_string(c.system));
        notices.clear();
        pbx.sent.clear();
        pbx.version = c.version;
        setRegistry(0, c.system);
        // The last station answers, so the description wait ends at once.
        const std::uint16_t last = c.version[2] == '2' ? 32 : 128;
        pbx.stations = {{1, kTypeDkt}, {last, kTypeSlt}};
        ASSERT_EQ(enumerate(), 0);
        EXPECT_EQ(notices, c.notices);
        EXPECT_EQ(lines, 2u);
        // From the start to the ATD session: the pacing and nothing else.
        Duration atdAt{};
        for (const auto& s : pbx.sent) {
            if (s.what == "ATD 0xb") {
                atdAt = s.at;
                break;
            }
        }
        EXPECT_EQ(atdAt - pbx.sent.front().at, c.pacing);
        lifecycle.shutdown();
    }
}

TEST_F(LifecycleTest, WithoutIdentificationOnlyIndexZeroIsDescribed) {
    struct Case {
        const char* name;
        bool refused;
        Duration wait;
    };
    for (const Case& c : {Case{"silent", false, 3000ms}, Case{"refused", true, 0ms}}) {
        SCOPED_TRACE(c.name);
        setRegistry(0, 0);
        pbx.version.reset();
        pbx.identificationRefused = c.refused;
        pbx.describedIndexes.clear();
        pbx.sent.clear();
        pbx.stations = {{0, kTypeDkt}};
        ASSERT_EQ(enumerate(), 0);
        EXPECT_EQ(pbx.describedIndexes, std::vector<std::uint16_t>{0});
        EXPECT_EQ(lifecycle.stationCount(), 1);
        EXPECT_EQ(lifecycle.systemName(), "UNKNOWN");
        EXPECT_EQ(lines, 1u);
        EXPECT_EQ(store.readVersionText(), "Unknown") << "nothing to store";
        ASSERT_GE(pbx.sent.size(), 3u);
        EXPECT_EQ(pbx.sent[2].what, "CTI 0xffff 0x51 0x22 0x0 0x0");
        EXPECT_EQ(pbx.sent[2].at - pbx.sent[1].at, c.wait);
        lifecycle.shutdown();
    }
}

TEST_F(LifecycleTest, FailuresStopTheLinkAndReportOperationFailed) {
    struct Case {
        const char* name;
        void (*arrange)(ScriptedPbx&);
        Status status;
        Duration waited;
    };
    const Case cases[] = {
        {"transport cannot open", [](ScriptedPbx& p) { p.linkStartFails = true; }, Status::Pending, 0ms},
        {"session refused", [](ScriptedPbx& p) { p.sessionAccepted = false; }, Status::Refused, 0ms},
        {"session unanswered", [](ScriptedPbx& p) { p.sessionAnswers = false; }, Status::NoAnswer, 9000ms},
        {"unknown model", [](ScriptedPbx& p) { p.version = "VK77-0101A1"; }, Status::Open, 0ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pbx.linkStartFails = false;
        pbx.sessionAccepted = pbx.sessionAnswers = true;
        pbx.version = "VK30-0105A1";
        pbx.sent.clear();
        pbx.describedIndexes.clear();
        c.arrange(pbx);
        setRegistry(0, 0);
        const auto before = clock.now();
        EXPECT_EQ(enumerate(), LINEERR_OPERATIONFAILED);
        EXPECT_EQ(clock.now() - before, c.waited);
        EXPECT_FALSE(pbx.linkStarted);
        EXPECT_EQ(lifecycle.sessionStatus(), c.status);
        EXPECT_TRUE(pbx.describedIndexes.empty());
        EXPECT_FALSE(pbx.saw("ATD 0xb"));
        EXPECT_EQ(lines, 0u);
    }
    EXPECT_EQ(lifecycle.systemName(), "UNKNOWN");
    EXPECT_EQ(lifecycle.stationCount(), 0) << "an unknown model has no stations";
}

TEST_F(LifecycleTest, InitialisationNumbersLinesThenPhonesAndCreatesAddedStations) {
    setRegistry(0, 0);
    pbx.version = "VK24-0101A1";
    pbx.stations = {{3, kTypeSlt}, {1, kTypeDkt}, {2, kTypeEkt}, {5, kTypeWkt}, {32, kTypeDkt}};
    ASSERT_EQ(enumerate(), 0);
    ASSERT_EQ(lines, 4u);
    DWORD options = 0;
    ASSERT_EQ(lifecycle.initialize(7, 10, 40, lines, phones, &options), 0);
    EXPECT_EQ(options, LINETSPIOPTION_NONREENTRANT);
    const std::pair<std::uint16_t, DWORD> expected[] = {{1, 10}, {3, 11}, {5, 12}, {32, 13}};
    for (const auto& [index, id] : expected) {
        EXPECT_EQ(model.stations().at(index)->lineDeviceId, id) << index;
        EXPECT_EQ(model.stations().at(index)->phoneDeviceId, id + 30) << index;
    }
    EXPECT_EQ(model.stations().at(2)->lineDeviceId, kNoDevice) << "an EKT carries no device";

    // A station the PBX adds later holds a temporary ID past the range.
    model.stations().at(7)->lineDeviceId = 14;
    EXPECT_EQ(lifecycle.createLineDevice(14, 20), 0);
    EXPECT_EQ(model.stations().at(7)->lineDeviceId, 20u);
    EXPECT_EQ(lifecycle.createLineDevice(15, 21), LINEERR_OPERATIONUNAVAIL);
    EXPECT_EQ(lifecycle.createLineDevice(kNoDevice, 21), LINEERR_OPERATIONUNAVAIL)
        << "records without an ID must not match";
}

TEST_F(LifecycleTest, LinesOpenOnlyWhenThePbxMonitorsTheStation) {
    setRegistry(0, 0);
    pbx.version = "VK24-0101A1";
    pbx.stations = {{1, kTypeDkt}, {2, kTypeSlt}};
    ASSERT_EQ(enumerate(), 0);
    DWORD options = 0;
    lifecycle.initialize(7, 0, 0, lines, phones, &options);
    const auto htLine = reinterpret_cast<HTAPILINE>(std::uintptr_t{0x55});

    HDRVLINE hdLine = nullptr;
    pbx.sent.clear();
    ASSERT_EQ(lifecycle.openLine(0, htLine, &hdLine, nullptr), 0);
    EXPECT_EQ(pbx.sentTexts(), std::vector<std::string>{"CTI 0x1 0x50 0x21 0x23"});
    EXPECT_TRUE(model.stations().at(1)->monitored);
    HDRVLINE again = nullptr;
    EXPECT_EQ(lifecycle.openLine(0, htLine, &again, nullptr), LINEERR_ALLOCATED);
    EXPECT_EQ(lifecycle.openLine(9, htLine, &again, nullptr), LINEERR_OPERATIONFAILED);

    pbx.sent.clear();
    EXPECT_EQ(lifecycle.closeLine(hdLine), 0);
    EXPECT_EQ(pbx.sentTexts(), std::vector<std::string>{"CTI 0x1 0x50 0x22"});
    EXPECT_FALSE(model.stations().at(1)->monitored);
    EXPECT_EQ(model.findLine(1), nullptr);
    EXPECT_EQ(lifecycle.closeLine(hdLine), LINEERR_INVALLINEHANDLE);

    // With the station's phone open the PBX keeps monitoring it.
    ASSERT_EQ(lifecycle.openLine(0, htLine, &hdLine, nullptr), 0);
    lifecycle.setStillMonitoredHook([](std::uint16_t station) { return station == 1; });
    pbx.sent.clear();
    EXPECT_EQ(lifecycle.closeLine(hdLine), 0);
    EXPECT_TRUE(pbx.sent.empty());
    EXPECT_TRUE(model.stations().at(1)->monitored);
    lifecycle.setStillMonitoredHook({});

    // A refusal frees the line at once; silence after 12 s.
    struct Case {
        const char* name;
        bool answers;
        Duration waited;
    };
    for (const Case& c : {Case{"refused", true, 0ms}, Case{"silent", false, 12000ms}}) {
        SCOPED_TRACE(c.name);
        pbx.monitorAccepted = false;
        pbx.monitorAnswers = c.answers;
        const auto before = clock.now();
        HDRVLINE failed = nullptr;
        EXPECT_EQ(lifecycle.openLine(1, htLine, &failed, nullptr), LINEERR_OPERATIONFAILED);
        EXPECT_EQ(clock.now() - before, c.waited);
        EXPECT_EQ(model.findLine(2), nullptr);
        EXPECT_FALSE(model.stations().at(2)->waiting);
    }
}

TEST_F(LifecycleTest, ShutdownClosesTheAtdAndSystemSessionsAfterAPause) {
    for (const bool acknowledged : {true, false}) {
        SCOPED_TRACE(acknowledged ? "acknowledged" : "unacknowledged");
        setRegistry(0, 0);
        pbx.version = "VK24-0101A1";
        pbx.stations = {{32, kTypeDkt}};
        pbx.closeAcknowledged = acknowledged;
        ASSERT_EQ(enumerate(), 0);
        const std::size_t before = pbx.sent.size();
        const auto start = clock.now();
        const int stops = supervisionStops;
        ASSERT_EQ(lifecycle.shutdown(), 0);
        std::vector<std::string> expected{"ATD 0x3"};
        if (!acknowledged) expected.push_back("ATD 0x7");
        expected.push_back("CTI 0xffff 0x50 0x24");
        EXPECT_EQ(sentFrom(before), expected);
        const Duration closeAt = pbx.sent[before].at;
        const Duration lastAt = pbx.sent.back().at;
        EXPECT_EQ(lastAt - closeAt, acknowledged ? 0ms : 1000ms);
        EXPECT_EQ(clock.now() - start, 1000ms + (lastAt - closeAt));
        EXPECT_FALSE(pbx.linkStarted);
        EXPECT_FALSE(atd.active());
        EXPECT_EQ(supervisionStops, stops + 1);
    }
}

TEST_F(LifecycleTest, SingleStationModeRegistersTheOwnStation) {
    setRegistry(1, 0);
    ASSERT_EQ(enumerate(), 0);
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(phones, 1u);
    EXPECT_EQ(pbx.sentTexts(), (std::vector<std::string>{"CTI 0x0 0x50 0x21 0x23", "CTI 0x0 0x50 0x22"}));
    EXPECT_EQ(model.stations().at(0)->number, " 201");
    EXPECT_EQ(model.stations().at(0)->type, kTypeDkt);
    EXPECT_EQ(pbx.sent.back().at, 0ms) << "'5' ends the start-up at once";
    EXPECT_FALSE(pbx.saw("ATD 0xb"));
    DWORD options = 0;
    lifecycle.initialize(7, 4, 4, lines, phones, &options);
    EXPECT_EQ(lifecycle.createLineDevice(12345, 9), 0) << "the own station takes any ID";
    EXPECT_EQ(model.stations().at(0)->lineDeviceId, 9u);

    // Shutdown leaves the sessions alone in this mode.
    pbx.sent.clear();
    lifecycle.shutdown();
    EXPECT_TRUE(pbx.sent.empty());
}

TEST_F(LifecycleTest, SingleStationWaitsAndPausesBeforeGivingUp) {
    struct Case {
        const char* name;
        bool answers;
        bool ends;
        LONG result;
        Duration elapsed;
    };
    const Case cases[] = {
        {"no monitoring reply", false, false, LINEERR_OPERATIONFAILED, 15000ms + 10000ms},
        {"no end of start-up", true, false, 0, 5000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setRegistry(1, 0);
        pbx.singleStationAnswers = c.answers;
        pbx.endsStartup = c.ends;
        const auto before = clock.now();
        EXPECT_EQ(enumerate(), c.result);
        EXPECT_EQ(clock.now() - before, c.elapsed);
        EXPECT_EQ(pbx.linkStarted, c.result == 0);
        EXPECT_EQ(lines, c.result == 0 ? 1u : 0u);
    }
}

TEST_F(LifecycleTest, AtdSessionOpeningGivesUpAfterThreeUnansweredAttempts) {
    struct Case {
        const char* name;
        int refusals;
        bool directory;
        bool opened;
        bool active;
        std::size_t directoryRequests;
    };
    const Case cases[] = {
        {"refused twice, then accepted", 2, true, true, true, 3},
        {"refused three times", 3, true, false, false, 0},
        {"directory unanswered", 0, false, false, true, 3},
    };
    setRegistry(0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pbx.sent.clear();
        pbx.atdRefusals = c.refusals;
        pbx.directoryAnswers = c.directory;
        const int starts = supervisionStarts;
        EXPECT_EQ(atd.open(), c.opened);
        EXPECT_EQ(atd.active(), c.active);
        EXPECT_EQ(supervisionStarts, starts + (c.opened ? 1 : 0));
        std::size_t opens = 0;
        std::size_t directoryRequests = 0;
        for (const auto& s : pbx.sent) {
            opens += s.what == "ATD 0xb";
            directoryRequests += s.what.rfind("ATD 0x309", 0) == 0;
        }
        EXPECT_EQ(opens, static_cast<std::size_t>(std::min(c.refusals + 1, 3)));
        EXPECT_EQ(directoryRequests, c.directoryRequests);
        atd.close();
    }
}

}  // namespace
}  // namespace velkor::core::testing
