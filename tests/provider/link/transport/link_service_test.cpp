#include "provider/link/transport/link_service.h"

#include <gtest/gtest.h>

#include "platform/time/virtual_clock.h"
#include "provider/link/catalogue.h"
#include "provider/link/cti.h"
#include "provider/link/transport/udp_transport.h"
#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/support/temp_folder.h"

namespace velkor::link {
namespace {

using namespace std::chrono_literals;
using platform::DatagramSocket;
using platform::Hive;
using platform::Ipv4Endpoint;

// Records what the link dispatches; handlers run on the channel threads.
struct RecordingHandlers : EventHandler, RejectionHandler, AtdHandler {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> events;  // station, code
    std::vector<Rejection> rejections;
    std::vector<std::uint16_t> atdCodes;

    void onEvent(const CtiMessage& m) override { add([&] { events.emplace_back(m.station, m.code); }); }
    void onRejection(const Rejection& r) override { add([&] { rejections.push_back(r); }); }
    void onAtd(const AtdMessage& m) override { add([&] { atdCodes.push_back(m.code); }); }

    template <typename F>
    void add(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    template <typename P>
    bool waitUntil(P ready) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, ready);
    }
};

std::vector<std::uint8_t> frame(std::uint8_t type, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> out(kMaxFrame);
    out.resize(encodeFrame(type, payload, out));
    return out;
}

class LinkServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::uint32_t base = testing::uniqueLoopbackPair();
        local = base;
        pbx = base + 1;
        platform::Registry reg(root);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "CommunicationMethod", 2);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "LocalIPAddress", local);
        reg.writeDword(Hive::LocalMachine, config::kProviderKey, "VELKORIPAddress", pbx);
        store = std::make_unique<config::SettingsStore>(reg);
        ASSERT_FALSE(pbxCti.open(Ipv4Endpoint{pbx, 5029}));
        ASSERT_FALSE(pbxAtd.open(Ipv4Endpoint{pbx, 5001}));

        service = std::make_unique<LinkService>(
            *store, LinkHandlers{&handlers, nullptr, &handlers, nullptr, &handlers}, timers, clock);
        // The transport keeps real time for its idle waits; the link's
        // timers run on the virtual clock.
        service->setTransportFactory([](const config::ProviderSettings& s, config::SettingsStore&,
                                        ByteFeed feed) {
            return std::make_unique<UdpTransport>(s, std::move(feed));
        });
    }
    void TearDown() override {
        service.reset();
    }

    void pbxSends(DatagramSocket& socket, std::uint16_t port, const std::vector<std::uint8_t>& b) {
        ASSERT_EQ(socket.sendTo(b, Ipv4Endpoint{local, port}).status,
                  DatagramSocket::SendStatus::Sent);
    }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
    std::uint32_t local = 0;
    std::uint32_t pbx = 0;
    std::unique_ptr<config::SettingsStore> store;
    platform::VirtualClock clock;
    platform::TimerQueue timers{clock, platform::TimerQueue::Mode::Manual};
    RecordingHandlers handlers;
    DatagramSocket pbxCti;
    DatagramSocket pbxAtd;
    std::unique_ptr<LinkService> service;
};

TEST_F(LinkServiceTest, EventsFromThePbxReachTheModel) {
    ASSERT_TRUE(service->start());
    EXPECT_TRUE(service->start()) << "a second start does nothing";
    EXPECT_EQ(service->settings().pbxAddress, pbx);
    pbxSends(pbxCti, 5029, frame(kTypeCti, {0x00, 0x00, 0x05, event::Released, 0x01}));
    ASSERT_TRUE(handlers.waitUntil([&] { return !handlers.events.empty(); }));
    EXPECT_EQ(handlers.events[0], (std::pair<std::uint16_t, std::uint8_t>{5, event::Released}));
}

TEST_F(LinkServiceTest, UnansweredRequestTimesOutOnTheScanTimer) {
    ASSERT_TRUE(service->start());
    ASSERT_TRUE(service->link().sendCti(5, code::Hold, {}, clock.now()));
    Ipv4Endpoint source;
    const auto sent = testing::receiveOne(pbxCti, source);
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(sent[7], code::Hold);

    timers.advance(clock, 8s);
    EXPECT_TRUE(handlers.rejections.empty()) << "still within the limit";
    timers.advance(clock, 8s);
    ASSERT_EQ(handlers.rejections.size(), 1u);
    EXPECT_TRUE(handlers.rejections[0].timedOut);
    EXPECT_EQ(handlers.rejections[0].code, rejectionCode(code::Hold));
}

TEST_F(LinkServiceTest, AtdTrafficKeepsTheSupervisedSessionOpen) {
    ASSERT_TRUE(service->start());
    service->atdSupervisor().start();
    for (int i = 0; i < 3; ++i) {
        timers.advance(clock, 9s);
        pbxSends(pbxAtd, 5001, frame(kTypeAtd, {0x00, 0x06}));
        ASSERT_TRUE(handlers.waitUntil([&] { return handlers.atdCodes.size() == std::size_t(i + 1); }));
    }
    EXPECT_TRUE(service->atdSupervisor().active());
    // The alive messages went out on the ATD channel.
    Ipv4Endpoint source;
    const auto alive = testing::receiveOne(pbxAtd, source);
    ASSERT_EQ(alive.size(), 8u);
    EXPECT_EQ(alive[4], 0x00);
    EXPECT_EQ(alive[5], 0x06);
    timers.advance(clock, 18460ms);
    EXPECT_FALSE(service->atdSupervisor().active());
}

TEST_F(LinkServiceTest, FailedTransportLeavesTheLinkStopped) {
    platform::Registry(root).writeDword(Hive::LocalMachine, config::kProviderKey, "ConnectionMode", 1);
    EXPECT_FALSE(service->start());
    EXPECT_FALSE(service->started());
    EXPECT_FALSE(service->link().sendCti(5, code::Hold, {}, clock.now()));
    EXPECT_EQ(timers.activeCount(), 0u);
}

TEST_F(LinkServiceTest, StopClosesEverything) {
    ASSERT_TRUE(service->start());
    service->atdSupervisor().start();
    service->stop();
    EXPECT_FALSE(service->started());
    EXPECT_EQ(timers.activeCount(), 0u);
    EXPECT_FALSE(service->link().sendCti(5, code::Hold, {}, clock.now()));
    ASSERT_TRUE(service->start()) << "and it starts again on the same ports";
}

}  // namespace
}  // namespace velkor::link
