// The station settings end to end: the real tapicmd, loading velkorsp.tsp
// through the telephony layer from a registry of its own, against the
// simulator executable on loopback UDP, on the real clock. What the provider
// sent is read back from the simulator's frame log.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/net/ipv4_endpoint.h"
#include "platform/registry/registry.h"
#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/provider/tsp/frame_log.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_folder.h"

namespace velkor::tapicmd {
namespace {

using platform::Hive;

constexpr const char* kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";
constexpr const char* kProviderKey = "Software\\Microsoft\\PCApplication\\VELKORSP";

// A small medium-size system: three telephones, 201 with a wake-up time set.
constexpr const char* kPbx = R"(model 90
dialect extended
station 1 100 DKT
station 2 201 DKT
station 3 202 SLT
setting 201 wu 0645S
setting 202 pmp "Back at 3"
)";

class PhoneEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VELKOR_REGISTRY_DIR", (m_folder.path() / "registry").c_str(), 1);
        const std::uint32_t local = link::testing::uniqueLoopbackPair();
        const std::uint32_t pbx = local + 1;
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "NumProviders", 1));
        ASSERT_TRUE(m_registry.writeString(Hive::LocalMachine, kProvidersKey, "ProviderFileName0",
                                           VELKORSP_MODULE));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "ProviderID0", 1));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProviderKey, "CommunicationMethod", 2));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProviderKey, "VELKORIPAddress", pbx));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProviderKey, "LocalIPAddress", local));
        std::ofstream(m_folder.path() / "pbx.cfg") << kPbx;
        m_sim.emplace(PBXSIM_EXECUTABLE,
                      std::vector<std::string>{"--config", (m_folder.path() / "pbx.cfg").string(),
                                               "--no-stdin", "--log", m_log.string(), "--address",
                                               platform::formatIpv4Address(pbx), "--peer",
                                               platform::formatIpv4Address(local)});
        ASSERT_TRUE(m_sim->started());
        ASSERT_TRUE(m_sim->lineStartingWith("ready: ").starts_with("ready: model 90"));
    }
    void TearDown() override { unsetenv("VELKOR_REGISTRY_DIR"); }

    // `tapicmd run` with the script: its exit code and the objects it printed.
    std::pair<int, std::vector<nlohmann::json>> tapicmd(const std::string& script) {
        const auto file = m_folder.path() / "script.txt";
        std::ofstream(file) << script;
        const std::string command = std::string(TAPICMD_EXECUTABLE) + " run -f " + file.string();
        FILE* pipe = popen(command.c_str(), "r");
        std::vector<nlohmann::json> printed;
        if (!pipe) return {-1, printed};
        std::string text;
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
        const int status = pclose(pipe);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            printed.push_back(nlohmann::json::parse(line, nullptr, false));
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
    }

    static std::optional<nlohmann::json> find(const std::vector<nlohmann::json>& printed,
                                              const std::string& key, const std::string& value,
                                              std::size_t nth = 0) {
        for (const auto& object : printed) {
            if (object.contains(key) && object[key] == value && nth-- == 0) return object;
        }
        return std::nullopt;
    }

    ::velkor::testing::TempFolder m_folder{"velkor-phone"};
    platform::Registry m_registry{m_folder.path() / "registry"};
    std::filesystem::path m_log = m_folder.path() / "frames.log";
    std::optional<::velkor::testing::SimProcess> m_sim;
};

TEST_F(PhoneEndToEndTest, ASettingIsReadWrittenAndReadBack) {
    const auto [code, printed] = tapicmd(
        "phone-open 201\n"
        "phone-get 201 1\n"
        "phone-set 201 wu/0730/c\n"
        "wait PHONE_REPLY timeout=5000\n"
        "phone-get 201 1\n"
        "phone-close 201\n");
    ASSERT_EQ(code, 0) << nlohmann::json(printed).dump();
    const auto first = find(printed, "command", "phone-get");
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["data"], "0645S");
    const auto reply = find(printed, "message", "PHONE_REPLY");
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["request"], "phone-set");
    EXPECT_EQ((*reply)["result"], 0);
    const auto second = find(printed, "command", "phone-get", 1);
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)["data"], "0730C");

    // The line was closed: the phone had the station monitored on its own
    // and let it go again; the write went out as the PBX takes it.
    const auto frames = tsp_testing::readFrameLog(m_log);
    const auto sent = [&](std::uint8_t code, std::vector<std::uint8_t> data) {
        return std::any_of(frames.begin(), frames.end(), [&](const tsp_testing::LoggedFrame& f) {
            return f.isCti(true, 2, code, data) && f.data.size() == data.size();
        });
    };
    EXPECT_TRUE(sent(0x50, {'!'}));
    EXPECT_TRUE(sent(0x7D, {'C', 'U', 'R', 'R'}));
    EXPECT_TRUE(sent(0x7D, {'0', '7', '3', '0', 'C'}));
    EXPECT_TRUE(sent(0x50, {0x22}));
}

TEST_F(PhoneEndToEndTest, RefusedCommandsAndUnknownDataFailTheRun) {
    auto [code, printed] = tapicmd("phone-open 202\nphone-get 202 4\nphone-set 202 pms/123\n");
    EXPECT_EQ(code, 4);
    const auto read = find(printed, "command", "phone-get");
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)["data"], "Back at 3");
    const auto refused = find(printed, "command", "phone-set");
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)["resultName"], "PHONEERR_OPERATIONFAILED");

    std::tie(code, printed) = tapicmd("phone-open #2\nphone-get #2 15\n");
    EXPECT_EQ(code, 4);
    const auto unknown = find(printed, "command", "phone-get");
    ASSERT_TRUE(unknown);
    EXPECT_EQ((*unknown)["resultName"], "PHONEERR_OPERATIONUNAVAIL");
}

}  // namespace
}  // namespace velkor::tapicmd
