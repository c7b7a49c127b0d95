#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include "tests/support/temp_folder.h"

namespace velkor::platform {
namespace {

constexpr const char* kProviderKey = "Software\\Microsoft\\PCApplication\\VELKORSP";

class RegistryTest : public ::testing::Test {
protected:

    std::string hiveText(Hive hive) {
        std::ifstream in(registry().hiveFile(hive));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void writeHiveText(Hive hive, const std::string& text) {
        std::filesystem::create_directories(root);
        std::ofstream(registry().hiveFile(hive), std::ios::binary) << text;
    }
    Registry registry() { return Registry(root); }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
};

TEST_F(RegistryTest, ValuesRoundTripAndMissingOnesAreReportedAsSuch) {
    Registry reg = registry();
    EXPECT_FALSE(reg.readDword(Hive::LocalMachine, kProviderKey, "BaudRate"));
    EXPECT_FALSE(reg.keyExists(Hive::LocalMachine, kProviderKey));

    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, kProviderKey, "BaudRate", 57600));
    ASSERT_TRUE(reg.writeString(Hive::LocalMachine, kProviderKey, "MPVersion", "Unknown"));
    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, kProviderKey, "VELKORIPAddress", 0xC0A80164));

    EXPECT_EQ(reg.readDword(Hive::LocalMachine, kProviderKey, "BaudRate"), 57600u);
    EXPECT_EQ(reg.readDword(Hive::LocalMachine, kProviderKey, "VELKORIPAddress"), 0xC0A80164u);
    EXPECT_EQ(reg.readString(Hive::LocalMachine, kProviderKey, "MPVersion"), "Unknown");
    // A value of the other type does not read as this one.
    EXPECT_FALSE(reg.readString(Hive::LocalMachine, kProviderKey, "BaudRate"));
    EXPECT_FALSE(reg.readDword(Hive::LocalMachine, kProviderKey, "MPVersion"));
    // The hives are separate files.
    EXPECT_FALSE(reg.readDword(Hive::CurrentUser, kProviderKey, "BaudRate"));

    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, kProviderKey, "BaudRate", 1200));
    EXPECT_EQ(reg.readDword(Hive::LocalMachine, kProviderKey, "BaudRate"), 1200u);
    EXPECT_EQ(reg.values(Hive::LocalMachine, kProviderKey).size(), 3u);
}

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCaseButKeepTheirFirstSpelling) {
    Registry reg = registry();
    ASSERT_TRUE(reg.writeDword(Hive::CurrentUser, "Software\\Caldra\\Settings", "PopupKind", 1));
    EXPECT_EQ(reg.readDword(Hive::CurrentUser, "SOFTWARE\\caldra\\settings", "popupkind"), 1u);
    ASSERT_TRUE(reg.writeDword(Hive::CurrentUser, "software\\CALDRA\\settings", "POPUPKIND", 2));
    const auto values = reg.values(Hive::CurrentUser, "Software\\Caldra\\Settings");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "PopupKind");
    EXPECT_EQ(values[0].dword, 2u);
    EXPECT_EQ(reg.subKeys(Hive::CurrentUser, "Software"), std::vector<std::string>{"Caldra"});
}

TEST_F(RegistryTest, CreateEnumerateAndDeleteKeys) {
    Registry reg = registry();
    const std::string providers = "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony";
    ASSERT_TRUE(reg.createKey(Hive::LocalMachine, providers + "\\Providers"));
    ASSERT_TRUE(reg.createKey(Hive::LocalMachine, providers + "\\Locations\\Location0"));
    ASSERT_TRUE(reg.createKey(Hive::LocalMachine, providers + "\\Locations\\Location1"));
    ASSERT_TRUE(reg.createKey(Hive::LocalMachine, providers + "\\Locations"))
        << "creating an existing key succeeds";
    EXPECT_TRUE(reg.keyExists(Hive::LocalMachine, "Software\\Microsoft"));
    EXPECT_EQ(reg.subKeys(Hive::LocalMachine, providers),
              (std::vector<std::string>{"Locations", "Providers"}));
    EXPECT_EQ(reg.subKeys(Hive::LocalMachine, providers + "\\Locations"),
              (std::vector<std::string>{"Location0", "Location1"}));
    EXPECT_EQ(reg.subKeys(Hive::LocalMachine, ""), std::vector<std::string>{"Software"});

    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, providers + "\\Locations\\Location0", "ID", 0));
    ASSERT_TRUE(reg.deleteKey(Hive::LocalMachine, providers + "\\Locations"));
    EXPECT_FALSE(reg.keyExists(Hive::LocalMachine, providers + "\\Locations\\Location0"));
    EXPECT_FALSE(reg.readDword(Hive::LocalMachine, providers + "\\Locations\\Location0", "ID"));
    EXPECT_TRUE(reg.keyExists(Hive::LocalMachine, providers + "\\Providers"));
    EXPECT_FALSE(reg.deleteKey(Hive::LocalMachine, providers + "\\Locations"));
    EXPECT_FALSE(reg.deleteKey(Hive::LocalMachine, ""));
}

TEST_F(RegistryTest, DeleteValueReportsWhetherItExisted) {
    Registry reg = registry();
    ASSERT_TRUE(reg.writeString(Hive::CurrentUser, "Software\\X", "Name", "a"));
    EXPECT_TRUE(reg.deleteValue(Hive::CurrentUser, "Software\\X", "name"));
    EXPECT_FALSE(reg.deleteValue(Hive::CurrentUser, "Software\\X", "Name"));
    EXPECT_FALSE(reg.deleteValue(Hive::CurrentUser, "Software\\Missing", "Name"));
    EXPECT_TRUE(reg.keyExists(Hive::CurrentUser, "Software\\X"));
}

TEST_F(RegistryTest, OpenKeyFailsForAMissingKeyAndCreateMakesIt) {
    Registry reg = registry();
    EXPECT_FALSE(RegistryKey::open(reg, Hive::LocalMachine, kProviderKey));
    auto created = RegistryKey::create(reg, Hive::LocalMachine, kProviderKey);
    ASSERT_TRUE(created);
    ASSERT_TRUE(created->writeDword("System", 1));
    auto opened = RegistryKey::open(reg, Hive::LocalMachine, kProviderKey);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->readDword("System"), 1u);
    EXPECT_FALSE(opened->readDword("ConnectionMode"));
}

TEST_F(RegistryTest, AwkwardTextSurvivesTheFile) {
    Registry reg = registry();
    const std::string text = "quote \" back\\slash\nnew line\ttab \x01 ñ \xE2\x82\xAC";
    const std::string name = "name with \"quotes\" = and spaces";
    ASSERT_TRUE(reg.writeString(Hive::CurrentUser, "Software\\[odd] key", name, text));
    ASSERT_TRUE(reg.writeString(Hive::CurrentUser, "Software\\[odd] key", "", "default"));
    EXPECT_EQ(reg.readString(Hive::CurrentUser, "Software\\[odd] key", name), text);
    EXPECT_EQ(reg.readString(Hive::CurrentUser, "Software\\[odd] key", ""), "default");
    EXPECT_FALSE(reg.createKey(Hive::CurrentUser, "Software\\bad\nkey"));
    EXPECT_FALSE(reg.writeDword(Hive::CurrentUser, "", "RootValue", 1));
}

TEST_F(RegistryTest, FileIsPlainText) {
    Registry reg = registry();
    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, kProviderKey, "BaudRate", 57600));
    ASSERT_TRUE(reg.writeString(Hive::LocalMachine, kProviderKey, "MPVersion", "Unknown"));
    const std::string text = hiveText(Hive::LocalMachine);
    EXPECT_NE(text.find("[Software\\Microsoft\\PCApplication\\VELKORSP]\n"
                        "\"BaudRate\"=dword:0000e100\n"
                        "\"MPVersion\"=\"Unknown\"\n"),
              std::string::npos)
        << text;
}

struct DamagedCase {
    const char* what;
    std::string text;
    friend std::ostream& operator<<(std::ostream& out, const DamagedCase& c) {
        return out << c.what;
    }
};

class DamagedHiveTest : public RegistryTest,
                        public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedHiveTest, ReadsWhatItCanAndKeepsTheDamagedOriginal) {
    const std::string good = "[Software\\Good]\n\"Kept\"=dword:00000007\n";
    const std::string original = GetParam().text + "\n" + good;
    writeHiveText(Hive::LocalMachine, original);
    Registry reg = registry();
    EXPECT_EQ(reg.readDword(Hive::LocalMachine, "Software\\Good", "Kept"), 7u);
    EXPECT_FALSE(reg.readDword(Hive::LocalMachine, "Software\\Bad", "Lost"));

    ASSERT_TRUE(reg.writeDword(Hive::LocalMachine, "Software\\Good", "New", 8));
    EXPECT_EQ(reg.readDword(Hive::LocalMachine, "Software\\Good", "Kept"), 7u);
    EXPECT_EQ(reg.readDword(Hive::LocalMachine, "Software\\Good", "New"), 8u);
    std::filesystem::path damaged = reg.hiveFile(Hive::LocalMachine);
    damaged += ".damaged";
    std::ifstream in(damaged, std::ios::binary);
    const std::string kept{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(kept, original);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedHiveTest,
    ::testing::Values(
        DamagedCase{"short dword", "[Software\\Bad]\n\"Lost\"=dword:12\n"},
        DamagedCase{"bad hex", "[Software\\Bad]\n\"Lost\"=dword:0000zz00\n"},
        DamagedCase{"unterminated string", "[Software\\Bad]\n\"Lost\"=\"abc\n"},
        DamagedCase{"bad escape", "[Software\\Bad]\n\"Lost\"=\"a\\qb\"\n"},
        DamagedCase{"cut hex escape", "[Software\\Bad]\n\"Lost\"=\"a\\x4\"\n"},
        DamagedCase{"value before any key", "\"Lost\"=dword:00000001\n"},
        DamagedCase{"unclosed key", "[Software\\Bad\n\"Lost\"=dword:00000001\n"},
        DamagedCase{"binary garbage", std::string("\x00\xff\xfe[\x01\"\x80=\n\xba\xec", 11)},
        DamagedCase{"trailing junk", "[Software\\Bad]\n\"Lost\"=\"x\" junk\n"}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            if (c == ' ') c = '_';
        }
        return name;
    });

TEST_F(RegistryTest, UnreadableHiveReadsAsEmptyAndWritesFailCleanly) {
    // A folder where the hive file should be: nothing can be read or written.
    std::filesystem::create_directories(registry().hiveFile(Hive::LocalMachine));
    Registry reg = registry();
    EXPECT_FALSE(reg.readDword(Hive::LocalMachine, kProviderKey, "BaudRate"));
    EXPECT_TRUE(reg.subKeys(Hive::LocalMachine, "").empty());
    EXPECT_FALSE(reg.writeDword(Hive::LocalMachine, kProviderKey, "BaudRate", 1));
}

TEST_F(RegistryTest, ConcurrentWritersInSeparateProcessesLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Registry reg(root);
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i) {
                ok = reg.writeDword(Hive::CurrentUser, "Software\\Shared",
                                    "w" + std::to_string(w) + "v" + std::to_string(i),
                                    static_cast<std::uint32_t>(w * 1000 + i)) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Registry reg = registry();
    EXPECT_EQ(reg.values(Hive::CurrentUser, "Software\\Shared").size(),
              static_cast<std::size_t>(kWriters * kValuesEach));
    EXPECT_EQ(reg.readDword(Hive::CurrentUser, "Software\\Shared", "w3v39"), 3039u);
}

TEST(RegistryRootTest, FollowsTheEnvironment) {
    const char* savedDir = std::getenv("VELKOR_REGISTRY_DIR");
    const std::string saved = savedDir ? savedDir : "";
    setenv("VELKOR_REGISTRY_DIR", "/tmp/reg-root", 1);
    EXPECT_EQ(Registry::standardRoot(), "/tmp/reg-root");
    unsetenv("VELKOR_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(Registry::standardRoot(), "/tmp/xdg/velkor/registry");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(Registry::standardRoot(), "/tmp/home/.config/velkor/registry");
    if (savedDir) setenv("VELKOR_REGISTRY_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace velkor::platform
