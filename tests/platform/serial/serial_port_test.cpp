#include "platform/serial/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "pty_pair.h"
#include "serial_fixture.h"

namespace velkor::platform {
namespace {

using std::chrono::milliseconds;
using testing::bytesOf;
using testing::kArrival;
using testing::PtyPair;
using testing::SerialPortTest;

speed_t expectedSpeed(std::uint32_t rate) {
    switch (rate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
    }
    return B0;
}

TEST(SerialPortOpenTest, AppliesEverySupportedRateAs8N1Raw) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    for (std::uint32_t rate : supportedBaudRates()) {
        SCOPED_TRACE(rate);
        SerialPort port;
        SerialSettings settings;
        settings.baudRate = rate;
        ASSERT_FALSE(port.open(pty.slavePath(), settings));
        EXPECT_TRUE(port.isOpen());

        // The terminal settings of a pty pair are shared, so the slave's line
        // settings can be checked through a descriptor of our own.
        const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        ::close(fd);
        EXPECT_EQ(::cfgetospeed(&tio), expectedSpeed(rate));
        EXPECT_EQ(::cfgetispeed(&tio), expectedSpeed(rate));
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    }
}

TEST(SerialPortOpenTest, RefusesOtherRatesWithoutOpening) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    for (std::uint32_t rate : {0u, 300u, 1234u, 57601u, 115200u}) {
        SCOPED_TRACE(rate);
        SerialPort port;
        SerialSettings settings;
        settings.baudRate = rate;
        EXPECT_EQ(port.open(pty.slavePath(), settings), SerialError::UnsupportedBaudRate);
        EXPECT_FALSE(port.isOpen());
    }
    SerialPort port;
    EXPECT_FALSE(port.open(pty.slavePath(), {}));
}

TEST(SerialPortOpenTest, FailuresAreReportedCleanly) {
    struct Case {
        const char* name;
        std::error_code expected;
    };
    const Case cases[] = {
        {"/nonexistent/velkor-tty", std::error_code(ENOENT, std::system_category())},
        {"/dev/null", SerialError::NotATerminal},
        {"/", std::error_code(EISDIR, std::system_category())},
        {"COM9", SerialError::UnknownPortName},
        {"", SerialError::UnknownPortName},
    };
    for (const Case& c : cases) {
        SerialPort port;
        const std::error_code error = port.open(c.name, {});
        EXPECT_EQ(error, c.expected) << "'" << c.name << "': " << error.message();
        EXPECT_FALSE(error.message().empty());
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(SerialPortOpenTest, NegativeWriteTimeoutIsRefused) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    SerialSettings settings;
    settings.writeTimeout = milliseconds(-1);
    EXPECT_EQ(port.open(pty.slavePath(), settings), SerialError::InvalidSettings);
}

TEST(SerialPortOpenTest, OpensByMappedName) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialDeviceMap devices;
    ASSERT_TRUE(devices.setDevice("COM2", pty.slavePath()));
    SerialPort port;
    ASSERT_FALSE(port.open("COM2", {}, devices));
    ASSERT_TRUE(port.write(bytesOf("via COM2")).ok());
    EXPECT_EQ(pty.readMaster(8, kArrival), bytesOf("via COM2"));
}

TEST_F(SerialPortTest, IsExclusiveUntilClosed) {
    SerialPort second;
    EXPECT_EQ(second.open(m_pty.slavePath(), {}), SerialError::PortBusy);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(m_port.open(m_pty.slavePath(), {}), SerialError::AlreadyOpen);
    EXPECT_TRUE(m_port.isOpen());

    m_port.close();
    EXPECT_FALSE(second.open(m_pty.slavePath(), {}));
}

TEST_F(SerialPortTest, EveryByteValuePassesUntranslatedBothWays) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);

    ASSERT_TRUE(m_pty.writeMaster(all));
    ASSERT_EQ(waitQueued(all.size()), all.size());
    EXPECT_EQ(readAll(512), all);

    const SerialPort::IoResult written = m_port.write(all);
    ASSERT_TRUE(written.ok()) << written.error.message();
    EXPECT_EQ(written.count, all.size());
    EXPECT_EQ(m_pty.readMaster(all.size(), kArrival), all);
}

TEST_F(SerialPortTest, ReadReturnsAtMostTheAskedCount) {
    std::vector<std::uint8_t> sent(200);
    std::iota(sent.begin(), sent.end(), 17);
    for (std::size_t chunk : {1u, 80u, 199u, 200u, 500u}) {
        SCOPED_TRACE(chunk);
        ASSERT_TRUE(m_pty.writeMaster(sent));
        ASSERT_EQ(waitQueued(sent.size()), sent.size());
        EXPECT_EQ(readAll(chunk), sent);
    }
}

TEST_F(SerialPortTest, BytesQueuedFollowsReads) {
    EXPECT_EQ(m_port.bytesQueued().count, 0u);
    ASSERT_TRUE(m_pty.writeMaster(std::vector<std::uint8_t>(37, 0x55)));
    ASSERT_EQ(waitQueued(37), 37u);

    std::uint8_t buffer[10];
    EXPECT_EQ(m_port.read(buffer).count, 10u);
    EXPECT_EQ(m_port.bytesQueued().count, 27u);
    std::uint8_t rest[64];
    EXPECT_EQ(m_port.read(rest).count, 27u);
    EXPECT_EQ(m_port.bytesQueued().count, 0u);
    EXPECT_EQ(m_port.read(rest).count, 0u);
}

TEST_F(SerialPortTest, MoreThanTheQueueLimitIsCountedAndReadInFull) {
    std::vector<std::uint8_t> sent(SerialPort::kReceiveQueueLimit + 1000);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<std::uint8_t>(i * 7);
    }
    ASSERT_TRUE(m_pty.writeMaster(sent));
    ASSERT_EQ(waitQueued(sent.size()), sent.size());

    std::vector<std::uint8_t> received;
    const auto deadline = std::chrono::steady_clock::now() + kArrival;
    while (received.size() < sent.size() && std::chrono::steady_clock::now() < deadline) {
        std::vector<std::uint8_t> chunk = readAll(80);
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(received, sent);
}

TEST_F(SerialPortTest, PurgeDropsPendingInput) {
    ASSERT_TRUE(m_pty.writeMaster(bytesOf("stale bytes")));
    ASSERT_EQ(waitQueued(11), 11u);

    EXPECT_FALSE(m_port.purge(SerialPurge::Input));
    EXPECT_EQ(m_port.bytesQueued().count, 0u);
    EXPECT_EQ(m_port.waitEvent(milliseconds(0)).status, SerialPort::WaitStatus::TimedOut);

    ASSERT_TRUE(m_pty.writeMaster(bytesOf("fresh")));
    ASSERT_EQ(waitQueued(5), 5u);
    EXPECT_EQ(readAll(80), bytesOf("fresh"));
    EXPECT_FALSE(m_port.purge(SerialPurge::Both));
}

class ShortWriteTimeoutTest : public SerialPortTest {
protected:
    SerialSettings settings() const override {
        SerialSettings s;
        s.writeTimeout = milliseconds(50);
        return s;
    }
};

TEST_F(ShortWriteTimeoutTest, WriteGivesUpWhenTheLineDoesNotDrain) {
    // Nobody reads the master side, so the pty's buffer fills and stays full.
    const std::vector<std::uint8_t> big(1 << 20, 0xA5);
    const auto start = std::chrono::steady_clock::now();
    const SerialPort::IoResult result = m_port.write(big);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(result.error, SerialError::WriteTimedOut);
    EXPECT_GT(result.count, 0u);
    EXPECT_LT(result.count, big.size());
    EXPECT_GE(elapsed, milliseconds(50));
    EXPECT_LT(elapsed, kArrival);
}

TEST_F(SerialPortTest, ModemLinesOnAPtyReportInsteadOfFailingThePort) {
    // A pty has no DTR/RTS; whatever the driver answers must come back as a
    // result and leave the port working.
    for (bool on : {true, false}) {
        const std::error_code dtr = m_port.setDtr(on);
        const std::error_code rts = m_port.setRts(on);
        EXPECT_TRUE(!dtr || !dtr.message().empty());
        EXPECT_TRUE(!rts || !rts.message().empty());
    }
    EXPECT_TRUE(m_port.isOpen());
    ASSERT_TRUE(m_port.write(bytesOf("ok")).ok());
    EXPECT_EQ(m_pty.readMaster(2, kArrival), bytesOf("ok"));
}

TEST_F(SerialPortTest, HangUpOfTheOtherSideIsAnErrorNotASpin) {
    m_pty.closeMaster();
    const SerialPort::WaitResult wait = m_port.waitEvent(milliseconds(2000));
    EXPECT_EQ(wait.status, SerialPort::WaitStatus::Failed);
    EXPECT_TRUE(wait.error) << "status " << static_cast<int>(wait.status);

    std::uint8_t buffer[8];
    EXPECT_EQ(m_port.read(buffer).count, 0u);
    EXPECT_FALSE(m_port.write(bytesOf("x")).ok());
    m_port.close();
    EXPECT_FALSE(m_port.isOpen());
}

TEST(SerialPortClosedTest, EveryCallReportsNotOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    SerialPort never;
    SerialPort closed;
    ASSERT_FALSE(closed.open(pty.slavePath(), {}));
    closed.close();
    closed.close();

    for (SerialPort* port : {&never, &closed}) {
        std::uint8_t buffer[4];
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(port->read(buffer).error, SerialError::NotOpen);
        EXPECT_EQ(port->write(bytesOf("x")).error, SerialError::NotOpen);
        EXPECT_EQ(port->bytesQueued().error, SerialError::NotOpen);
        EXPECT_EQ(port->purge(), SerialError::NotOpen);
        EXPECT_EQ(port->setDtr(true), SerialError::NotOpen);
        EXPECT_EQ(port->setRts(true), SerialError::NotOpen);
        EXPECT_EQ(port->setEventMask(SerialEvent::ReceiveChar), SerialError::NotOpen);
        const SerialPort::WaitResult wait = port->waitEvent(milliseconds(10));
        EXPECT_EQ(wait.status, SerialPort::WaitStatus::Failed);
        EXPECT_EQ(wait.error, SerialError::NotOpen);
        port->cancelWait();
    }
}

}  // namespace
}  // namespace velkor::platform
