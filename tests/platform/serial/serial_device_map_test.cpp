#include "platform/serial/serial_device_map.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velkor::platform {
namespace {

struct LookupCase {
    const char* name;
    std::optional<std::string> path;
};

TEST(SerialDeviceMapTest, DefaultsAndPaths) {
    const LookupCase cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM2", "/dev/ttyS1"},
        {"com2", "/dev/ttyS1"},
        {"/dev/ttyUSB3", "/dev/ttyUSB3"},
        {"/tmp/odd name", "/tmp/odd name"},
        {"COM3", std::nullopt},
        {"COM", std::nullopt},
        {"", std::nullopt},
        {"ttyS0", std::nullopt},
    };
    const SerialDeviceMap devices;
    for (const LookupCase& c : cases) {
        EXPECT_EQ(devices.devicePath(c.name), c.path) << "name '" << c.name << "'";
    }
}

TEST(SerialDeviceMapTest, OverrideReplacesOnlyThatPort) {
    SerialDeviceMap devices;
    ASSERT_TRUE(devices.setDevice("com1", "/dev/ttyUSB0"));
    EXPECT_EQ(devices.devicePath("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(devices.devicePath("COM2"), "/dev/ttyS1");

    ASSERT_TRUE(devices.setDevice("COM4", "/dev/ttyACM0"));
    EXPECT_EQ(devices.devicePath("Com4"), "/dev/ttyACM0");
}

TEST(SerialDeviceMapTest, RefusesUnusableOverrides) {
    SerialDeviceMap devices;
    EXPECT_FALSE(devices.setDevice("COM1", ""));
    EXPECT_FALSE(devices.setDevice("", "/dev/ttyUSB0"));
    EXPECT_FALSE(devices.setDevice("/dev/ttyS0", "/dev/ttyUSB0"));
    EXPECT_EQ(devices.devicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(devices.devicePath("/dev/ttyS0"), "/dev/ttyS0");
}

}  // namespace
}  // namespace velkor::platform
