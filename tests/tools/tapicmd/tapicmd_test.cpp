#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/registry/registry.h"
#include "tools/tapicmd/command_runner.h"
#include "tools/tapicmd/session.h"
#include "tspi.h"
#include "tests/support/temp_folder.h"

namespace velkor::tapicmd {
namespace {

constexpr const char* kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";

class TapicmdTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VELKOR_REGISTRY_DIR", root.c_str(), 1);
        platform::Registry reg(root);
        reg.writeDword(platform::Hive::LocalMachine, kProvidersKey, "NumProviders", 1);
        reg.writeString(platform::Hive::LocalMachine, kProvidersKey, "ProviderFileName0",
                        FAKE_PROVIDER_PATH);
        reg.writeDword(platform::Hive::LocalMachine, kProvidersKey, "ProviderID0", 1);
        ASSERT_EQ(session.initialize(), 0);
        // The provider the layer loaded, to make it report events.
        module = dlopen(FAKE_PROVIDER_PATH, RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(module, nullptr);
        lineEvent = reinterpret_cast<void (*)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
            dlsym(module, "fakeLineEvent"));
    }
    void TearDown() override {
        if (module) dlclose(module);
        unsetenv("VELKOR_REGISTRY_DIR");
    }

    int run(const std::string& script) {
        std::istringstream in(script);
        return runner.run(in);
    }
    std::vector<nlohmann::json> printed() {
        std::vector<nlohmann::json> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
        return lines;
    }

    ::velkor::testing::TempFolder folder;
    const std::filesystem::path& root = folder.path();
    Session session;
    std::ostringstream out;
    CommandRunner runner{session, out};
    void* module = nullptr;
    void (*lineEvent)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
};

TEST_F(TapicmdTest, LinesAreListedWithTheirStationNumbers) {
    ASSERT_EQ(run("lines\n"), CommandRunner::kOk);
    const auto lines = printed();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1]["device"], 1);
    EXPECT_EQ(lines[1]["name"], "STATION 21 (DKT) \xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(lines[1]["station"], "21");
    EXPECT_EQ(stationOfLineName("STATION 201 (WKT)"), "201");
    EXPECT_EQ(stationOfLineName("Modem"), "");
}

TEST_F(TapicmdTest, OpenWaitAndCloseByStationAndDevice) {
    ASSERT_EQ(run("open 21\n# a comment\n\nopen #0 monitor\n"), CommandRunner::kOk);
    lineEvent(1, LINE_DEVSPECIFIC, 11, 2, 0);
    ASSERT_EQ(run("wait LINE_DEVSPECIFIC param1=11 param2=0x2 timeout=5000\nclose 21\nclose #0\n"),
              CommandRunner::kOk);
    const auto lines = printed();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]["command"], "open");
    EXPECT_EQ(lines[0]["device"], 1);
    EXPECT_EQ(lines[0]["result"], 0);
    EXPECT_EQ(lines[2]["message"], "LINE_DEVSPECIFIC");
    EXPECT_EQ(lines[2]["hDevice"], lines[0]["line"]);
    EXPECT_EQ(lines[3]["matched"], true);
    EXPECT_EQ(lines[4]["command"], "close");
}

TEST_F(TapicmdTest, FailuresEndTheRunWithTheirCode) {
    struct Case {
        const char* script;
        int code;
        const char* error;
    };
    const Case cases[] = {
        {"dance\n", CommandRunner::kBadCommand, "unknown command"},
        {"open 999\n", CommandRunner::kCommandFailed, "no line 999"},
        {"open #2\n", CommandRunner::kCommandFailed, nullptr},  // the fake refuses device 2
        {"open 21 boss\n", CommandRunner::kBadCommand, "privilege must be owner, monitor or none"},
        {"close 21\n", CommandRunner::kCommandFailed, "21 is not open"},
        {"wait LINE_REPLY timeout=30\n", CommandRunner::kWaitTimedOut, nullptr},
        {"wait LINE_REPLY result\n", CommandRunner::kBadCommand, "\"result\" is not field=value"},
        {"sleep soon\n", CommandRunner::kBadCommand, "needs milliseconds"},
    };
    for (const auto& c : cases) {
        out.str("");
        EXPECT_EQ(run(c.script), c.code) << c.script;
        const auto lines = printed();
        ASSERT_FALSE(lines.empty()) << c.script;
        if (c.error) {
            EXPECT_EQ(lines.back()["error"], c.error) << c.script;
        }
    }
    out.str("");
    run("open #2\n");
    EXPECT_EQ(printed().back()["resultName"], "LINEERR_OPERATIONFAILED");
}

TEST_F(TapicmdTest, QuitStopsReadingCommands) {
    EXPECT_EQ(run("quit\ndance\n"), CommandRunner::kOk);
    EXPECT_TRUE(printed().empty());
}

}  // namespace
}  // namespace velkor::tapicmd
