// The provider's transports against the simulator: the real executable over
// loopback UDP and over its pseudo-terminal, and the runner in-process for
// supervision on the virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/registry/registry.h"
#include "platform/time/virtual_clock.h"
#include "provider/config/provider_settings.h"
#include "provider/link/catalogue.h"
#include "provider/link/transport/link_service.h"
#include "provider/link/transport/udp_transport.h"
#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/support/sim_process.h"
#include "tools/pbxsim/runner.h"

namespace velkor::pbxsim {
namespace {

using namespace std::chrono_literals;
using platform::Hive;

struct Recorder : link::ReplyHandler, link::AtdHandler {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<std::uint8_t>> replies;
    std::vector<std::uint16_t> atd;
    void onReply(const link::CtiMessage& m) override {
        std::lock_guard lock(mutex);
        replies.emplace_back(m.data.begin(), m.data.end());
        changed.notify_all();
    }
    void onAtd(const link::AtdMessage& m) override {
        std::lock_guard lock(mutex);
        atd.push_back(m.code);
        changed.notify_all();
    }
    template <typename P>
    bool waitUntil(P ready) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, ready);
    }
};

// The simulator executable, started by each test.
class SimProcess : public velkor::testing::SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
        : velkor::testing::SimProcess(PBXSIM_EXECUTABLE, std::move(args)) {}
};

class PbxsimEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velkor-pbxsim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        const std::uint32_t base = link::testing::uniqueLoopbackPair();
        local = base;
        pbxAddress = base + 1;
    }
    void TearDown() override {
        service.reset();
        std::filesystem::remove_all(root);
    }
    void makeService(std::uint32_t method, const std::string& device = {}) {
        platform::Registry reg(root);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "CommunicationMethod", method);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "LocalIPAddress", local);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "VELKORIPAddress", pbxAddress);
        if (!device.empty()) reg.writeString(Hive::LocalMachine, config::kProviderKey, "COM1Device", device);
        store = std::make_unique<config::SettingsStore>(reg);
        service = std::make_unique<link::LinkService>(
            *store, link::LinkHandlers{nullptr, &heard, nullptr, nullptr, &heard}, timers, clock);
        service->setTransportFactory([](const config::ProviderSettings& s, config::SettingsStore& st,
                                        link::ByteFeed feed) -> std::unique_ptr<link::Transport> {
            return link::LinkService::makeTransport(s, st, std::move(feed), platform::Clock::real());
        });
        ASSERT_TRUE(service->start());
    }
    std::string address(std::uint32_t a) { return platform::formatIpv4Address(a); }
    std::string example(const char* name) { return std::string(PBXSIM_EXAMPLES_DIR) + "/" + name; }
    void sendCti(std::uint16_t station, std::uint8_t code, std::string_view data) {
        const std::vector<std::uint8_t> bytes(data.begin(), data.end());
        ASSERT_TRUE(service->link().sendCti(station, code, bytes, clock.now()));
    }

    std::filesystem::path root;
    std::uint32_t local = 0;
    std::uint32_t pbxAddress = 0;
    std::unique_ptr<config::SettingsStore> store;
    platform::VirtualClock clock;
    platform::TimerQueue timers{clock, platform::TimerQueue::Mode::Manual};
    Recorder heard;
    std::unique_ptr<link::LinkService> service;
};

TEST_F(PbxsimEndToEndTest, ExecutableAnswersOverUdpAndExitsOnSigterm) {
    SimProcess sim({"--config", example("model30-office.pbx"), "--address", address(pbxAddress), "--peer",
                    address(local), "--no-stdin", "--quiet"});
    EXPECT_EQ(sim.line(), "udp: " + address(pbxAddress) + " cti 5029 atd 5001 peer " + address(local));
    ASSERT_EQ(sim.line().rfind("ready", 0), 0u);
    makeService(2);
    sendCti(link::kSystemIndex, link::code::SessionControl, "##");
    sendCti(link::kSystemIndex, link::code::Query, "!");
    ASSERT_TRUE(heard.waitUntil([&] { return heard.replies.size() == 2; }));
    EXPECT_EQ(heard.replies[0], (std::vector<std::uint8_t>{'6', '#'}));
    EXPECT_EQ(std::string(heard.replies[1].begin(), heard.replies[1].end()), "!VK30-0105A1");
    // Ten queries at a time, as the provider paces them (it sleeps 250 ms
    // after every tenth; here the replies of the ten end the pause).
    for (std::uint16_t i = 1; i <= 300; ++i) {
        const std::uint8_t data[] = {0x22, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        ASSERT_TRUE(service->link().sendCti(link::kSystemIndex, link::code::Query, data, clock.now()));
        if (i % 10 == 0) {
            ASSERT_TRUE(heard.waitUntil([&] { return heard.replies.size() == 2u + i; }))
                << heard.replies.size() << " of " << 2 + i;
        }
    }
    std::lock_guard lock(heard.mutex);
    for (std::uint16_t i = 1; i <= 300; ++i) {
        const auto& d = heard.replies[1 + i];
        ASSERT_GE(d.size(), 8u);
        EXPECT_EQ(d[5] << 8 | d[6], i);
    }
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(PbxsimEndToEndTest, ExecutableOnItsPseudoTerminal) {
    SimProcess sim({"--config", example("model30-office.pbx"), "--serial", "--baud", "57600", "--no-stdin", "--quiet"});
    const std::string where = sim.line();
    ASSERT_EQ(where.rfind("pty: /dev/", 0), 0u) << where;
    ASSERT_EQ(sim.line().rfind("ready", 0), 0u);
    makeService(0, where.substr(5));
    sendCti(link::kSystemIndex, link::code::SessionControl, "##");
    ASSERT_TRUE(service->link().sendAtd(link::atd::OpenSession, {}));
    ASSERT_TRUE(heard.waitUntil([&] { return heard.replies.size() == 1 && heard.atd.size() == 1; }));
    EXPECT_EQ(heard.replies[0], (std::vector<std::uint8_t>{'6', '#'}));
    EXPECT_EQ(heard.atd[0], link::atd::SessionAccepted);
    service->stop();
    EXPECT_EQ(sim.stop(), 0);
}

TEST_F(PbxsimEndToEndTest, SilentPbxLosesTheSupervisedAtdSession) {
    RunnerOptions options;
    options.address = pbxAddress;
    options.peer = local;
    options.stdinControl = false;
    Runner runner(options);
    ASSERT_EQ(runner.open(), "");
    ConfigResult config = parseConfig("model 30\nstation 1 200 DKT\n");
    Pbx pbx(*config.config, runner, platform::Clock::real());
    runner.attach(pbx);
    std::thread loop([&] { runner.run(); });

    makeService(2);
    ASSERT_TRUE(service->link().sendAtd(link::atd::OpenSession, {}));
    ASSERT_TRUE(heard.waitUntil([&] { return heard.atd.size() == 1; }));
    service->atdSupervisor().start();
    // A first sign of life from the PBX; without one the provider gives up
    // after one alive period.
    runner.post([&] { pbx.sendAtd(link::atd::Alive, {}); });
    ASSERT_TRUE(heard.waitUntil([&] { return heard.atd.size() == 2; }));

    // Alive answered: the provider hears the PBX and keeps the session.
    timers.advance(clock, link::AtdSupervisor::kAlivePeriod);
    ASSERT_TRUE(heard.waitUntil([&] { return heard.atd.size() == 3; }));
    EXPECT_EQ(heard.atd[2], link::atd::Alive);
    timers.advance(clock, link::AtdSupervisor::kAlivePeriod);
    ASSERT_TRUE(heard.waitUntil([&] { return heard.atd.size() == 4; }));
    EXPECT_TRUE(service->atdSupervisor().active());

    // Silent: the provider gives up after 18.46 s and polls once.
    runner.post([&] { pbx.faults().setSilent(std::nullopt, true); });
    timers.advance(clock, link::AtdSupervisor::kSilenceLimit);
    EXPECT_FALSE(service->atdSupervisor().active());
    std::mutex m;
    std::condition_variable cv;
    bool polled = false;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!polled && std::chrono::steady_clock::now() < deadline) {
        runner.post([&] {
            std::lock_guard lock(m);
            for (const FrameRecord& r : pbx.records()) {
                if (r.received && r.kind == FrameKind::Atd && r.code == link::atd::Poll) polled = true;
            }
            cv.notify_all();
        });
        std::unique_lock lock(m);
        cv.wait_for(lock, 100ms);
    }
    EXPECT_TRUE(polled);
    runner.stop();
    loop.join();
    EXPECT_EQ(pbx.records().back().note, "silent") << "the poll got no answer";
    service.reset();
}

}  // namespace
}  // namespace velkor::pbxsim
