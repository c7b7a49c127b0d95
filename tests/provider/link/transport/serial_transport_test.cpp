#include "provider/link/transport/serial_transport.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/provider/link/transport/pty_pair.h"
#include "tests/support/temp_folder.h"

namespace velkor::link {
namespace {

using platform::Hive;
using testing::FeedRecorder;
using testing::PtyPair;

class SerialTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        store = std::make_unique<config::SettingsStore>(platform::Registry(root));
        settings.communicationMethod = 0;
        settings.com1Device = pty.slavePath();
    }

    std::unique_ptr<SerialTransport> makeTransport() {
        return std::make_unique<SerialTransport>(
            settings, *store, [this](auto bytes, Channel channel) {
                EXPECT_EQ(channel, Channel::Serial);
                return recorder.feed(bytes, channel);
            });
    }

    PtyPair pty;
    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
    std::unique_ptr<config::SettingsStore> store;
    config::ProviderSettings settings;
    FeedRecorder recorder;
};

TEST_F(SerialTransportTest, BytesFlowBothWaysInReadsOfAtMost80Bytes) {
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    EXPECT_EQ(transport->baudRate(), 57600u);

    std::vector<std::uint8_t> burst(1000);
    std::iota(burst.begin(), burst.end(), 0);
    ASSERT_TRUE(pty.send(burst));
    // Both channels share the stream, so everything arrives as Channel::Serial.
    EXPECT_EQ(recorder.waitFor(Channel::Serial, burst.size()), burst);
    EXPECT_LE(recorder.largestChunk(), SerialTransport::kReadChunk);

    const std::vector<std::uint8_t> frame{0xBA, 0xEC, 0xB0, 0xC4, 0, 6, 0, 0, 0x0D, 0xBC};
    ASSERT_TRUE(transport->write(frame, Channel::Atd));
    EXPECT_EQ(pty.receive(frame.size()), frame);
}

TEST_F(SerialTransportTest, SingleStationModeForces1200BaudAndStoresIt) {
    settings.connectionMode = 1;
    settings.baudRate = 9600;
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    EXPECT_EQ(transport->baudRate(), 1200u);
    EXPECT_EQ(platform::Registry(root).readDword(Hive::LocalMachine, config::kProviderKey,
                                                 "BaudRate"),
              1200u);
    ASSERT_TRUE(pty.send({0x02, 0x41, 0x03}));
    EXPECT_EQ(recorder.waitFor(Channel::Serial, 3), (std::vector<std::uint8_t>{0x02, 0x41, 0x03}));
}

TEST_F(SerialTransportTest, SecondPortAndMissingDevice) {
    settings.communicationMethod = 1;
    settings.com1Device = "/dev/null-no-such-port";
    settings.com2Device = pty.slavePath();
    auto onCom2 = makeTransport();
    EXPECT_TRUE(onCom2->open());
    onCom2->close();

    settings.communicationMethod = 0;
    auto missing = makeTransport();
    EXPECT_FALSE(missing->open());
    EXPECT_FALSE(missing->write(std::vector<std::uint8_t>{1}, Channel::Cti));
    missing->close();  // harmless on a port that never opened
}

TEST_F(SerialTransportTest, CloseEndsTheReaderAndTheTransportCanReopen) {
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    transport->close();
    EXPECT_FALSE(transport->write(std::vector<std::uint8_t>{1}, Channel::Cti));
    ASSERT_TRUE(transport->open());
    ASSERT_TRUE(pty.send({0x55}));
    EXPECT_EQ(recorder.waitFor(Channel::Serial, 1), (std::vector<std::uint8_t>{0x55}));
}

}  // namespace
}  // namespace velkor::link
