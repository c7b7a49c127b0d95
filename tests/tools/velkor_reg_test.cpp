#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "tools/velkor-reg/reg_command.h"
#include "tests/support/temp_folder.h"

namespace velkor::tools {
namespace {

using platform::Hive;
using platform::Registry;

class VelkorRegTest : public ::testing::Test {
protected:

    struct Result {
        int code;
        std::string out;
        std::string err;
    };
    Result run(std::vector<std::string> args) {
        Registry registry(root);
        std::ostringstream out, err;
        const int code = runRegCommand(registry, args, out, err);
        return {code, out.str(), err.str()};
    }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
};

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\PCApplication\\VELKORSP";

TEST_F(VelkorRegTest, SetGetListDelete) {
    EXPECT_EQ(run({"set", kKey, "BaudRate", "dword", "57600"}).code, 0);
    EXPECT_EQ(run({"set", kKey, "VELKORIPAddress", "dword", "0xC0A80164"}).code, 0);
    EXPECT_EQ(run({"set", kKey, "MPVersion", "string", "TRAMO 24"}).code, 0);

    EXPECT_EQ(run({"get", kKey, "BaudRate"}).out, "57600\n");
    EXPECT_EQ(run({"get", kKey, "VELKORIPAddress"}).out, "3232235876\n");
    EXPECT_EQ(run({"get", kKey, "mpversion"}).out, "TRAMO 24\n");
    EXPECT_EQ(Registry(root).readDword(Hive::LocalMachine,
                                       "Software\\Microsoft\\PCApplication\\VELKORSP", "BaudRate"),
              57600u);

    const Result listed = run({"list", "HKLM\\Software\\Microsoft"});
    EXPECT_EQ(listed.code, 0);
    EXPECT_EQ(listed.out, "HKEY_LOCAL_MACHINE\\Software\\Microsoft\n  PCApplication\\\n");
    EXPECT_NE(run({"list", kKey}).out.find("  MPVersion = string \"TRAMO 24\"\n"),
              std::string::npos);

    EXPECT_EQ(run({"delete", kKey, "BaudRate"}).code, 0);
    EXPECT_EQ(run({"get", kKey, "BaudRate"}).code, 1);
    EXPECT_EQ(run({"delete", "HKLM\\Software\\Microsoft"}).code, 0);
    EXPECT_EQ(run({"list", kKey}).code, 1);
}

TEST_F(VelkorRegTest, BadCommandLinesAreRefusedWithAReason) {
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {{}, 2, "usage:"},
        {{"frobnicate"}, 2, "usage:"},
        {{"get", kKey}, 2, "usage:"},
        {{"get", "HKEY_USERS\\X", "Name"}, 2, "unknown hive"},
        {{"set", kKey, "BaudRate", "dword", "57600x"}, 2, "not a 32-bit number"},
        {{"set", kKey, "BaudRate", "dword", "4294967296"}, 2, "not a 32-bit number"},
        {{"set", kKey, "BaudRate", "dword", "0x"}, 2, "not a 32-bit number"},
        {{"set", kKey, "BaudRate", "binary", "00"}, 2, "dword or string"},
        {{"get", kKey, "Missing"}, 1, "no value \"Missing\""},
        {{"delete", kKey, "Missing"}, 1, "no value"},
        {{"delete", "HKEY_CURRENT_USER"}, 2, "whole hive"},
        {{"list", "HKCU\\Nothing"}, 1, "no key HKEY_CURRENT_USER\\Nothing"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.code, c.code) << line;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "\n" << r.err;
    }
}

}  // namespace
}  // namespace velkor::tools
