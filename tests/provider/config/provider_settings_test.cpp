#include "provider/config/provider_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/text/utf8.h"
#include "tests/support/temp_folder.h"

namespace velkor::config {
namespace {

using platform::Hive;
using platform::Registry;

class SettingsStoreTest : public ::testing::Test {
protected:

    Registry registry() { return Registry(root); }
    std::optional<std::uint32_t> stored(const char* name) {
        return registry().readDword(Hive::LocalMachine, kProviderKey, name);
    }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
};

TEST_F(SettingsStoreTest, FirstRunWritesEveryDefaultBack) {
    SettingsStore store(registry());
    const ProviderSettings s = store.readAll();
    EXPECT_EQ(s.communicationMethod, 0u);
    EXPECT_EQ(s.baudRate, 57600u);
    EXPECT_EQ(s.pbxPort, 5029u);
    EXPECT_EQ(s.com1Device, "/dev/ttyS0");

    const struct {
        const char* name;
        std::uint32_t value;
    } expected[] = {
        {"CommunicationMethod", 0}, {"ConnectionMode", 0}, {"VELKORIPAddress", 0},
        {"VELKORIPPort", 5029},     {"BaudRate", 57600},   {"ATDEnable", 0},
        {"System", 0},              {"LocalIPAddress", 0},
    };
    for (const auto& e : expected) EXPECT_EQ(stored(e.name), e.value) << e.name;
    EXPECT_EQ(registry().readString(Hive::LocalMachine, kProviderKey, "COM2Device"), "/dev/ttyS1");
}

TEST_F(SettingsStoreTest, MaskSelectsWhatIsReadAndWritten) {
    SettingsStore store(registry());
    ProviderSettings s;
    s.baudRate = 1234;  // not selected below, so left alone
    registry().writeDword(Hive::LocalMachine, kProviderKey, "System", 1);
    store.read(s, kSystem | kCommunicationMethod);
    EXPECT_EQ(s.system, 1u);
    EXPECT_EQ(s.baudRate, 1234u);
    EXPECT_EQ(stored("CommunicationMethod"), 0u) << "missing selected value written back";
    EXPECT_FALSE(stored("BaudRate")) << "unselected value not touched";

    s.baudRate = 1200;
    s.pbxAddress = 0x7F000002;
    ASSERT_TRUE(store.write(s, kBaudRate));
    EXPECT_EQ(stored("BaudRate"), 1200u);
    EXPECT_FALSE(stored("VELKORIPAddress"));
}

TEST_F(SettingsStoreTest, AValueOfTheWrongTypeIsReplacedByItsDefault) {
    registry().writeString(Hive::LocalMachine, kProviderKey, "BaudRate", "fast");
    registry().writeDword(Hive::LocalMachine, kProviderKey, "COM1Device", 3);
    SettingsStore store(registry());
    const ProviderSettings s = store.readAll();
    EXPECT_EQ(s.baudRate, 57600u);
    EXPECT_EQ(stored("BaudRate"), 57600u);
    EXPECT_EQ(s.com1Device, "/dev/ttyS0");
}

TEST_F(SettingsStoreTest, VersionTextIsCreatedAndReadBackShortened) {
    SettingsStore store(registry());
    EXPECT_EQ(store.readVersionText(), "Unknown");
    EXPECT_EQ(registry().readString(Hive::LocalMachine, kProviderKey, "MPVersion"), "Unknown");
    ASSERT_TRUE(store.writeVersionText("T24 V1.00 1234567890123456789012345"));
    EXPECT_EQ(store.readVersionText(), "T24 V1.00 1234567890123456789");
    // 28 ASCII bytes and a two-byte character: the character is not cut.
    ASSERT_TRUE(store.writeVersionText(std::string(28, 'v') + "\xC3\xB1"));
    EXPECT_EQ(store.readVersionText(), std::string(28, 'v'));
}

TEST(Utf8PrefixTest, NeverSplitsACharacter) {
    const std::string text = "a\xE2\x82\xAC" "b";  // a, euro sign (3 bytes), b
    EXPECT_EQ(platform::utf8Prefix(text, 10), text);
    EXPECT_EQ(platform::utf8Prefix(text, 4), "a\xE2\x82\xAC");
    EXPECT_EQ(platform::utf8Prefix(text, 3), "a");
    EXPECT_EQ(platform::utf8Prefix(text, 1), "a");
    EXPECT_EQ(platform::utf8Prefix(text, 0), "");
}

}  // namespace
}  // namespace velkor::config
