#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/registry/registry.h"
#include "tests/support/temp_folder.h"
#include "tools/tapicmd/command_runner.h"
#include "tools/tapicmd/session.h"
#include "tools/tapicmd/structure_json.h"
#include "tspi.h"

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
        newCall = reinterpret_cast<HTAPICALL (*)(DWORD, DWORD_PTR)>(dlsym(module, "fakeNewCall"));
        callEvent =
            reinterpret_cast<void (*)(DWORD, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
                dlsym(module, "fakeCallEvent"));
        complete = reinterpret_cast<void (*)(DRV_REQUESTID, LONG)>(dlsym(module, "fakeComplete"));
        log = reinterpret_cast<const char* (*)()>(dlsym(module, "fakeLog"));
        clearLog = reinterpret_cast<void (*)()>(dlsym(module, "fakeClearLog"));
        madeCall = reinterpret_cast<HTAPICALL (*)(DWORD)>(dlsym(module, "fakeMadeCall"));
        madeDriverCall =
            reinterpret_cast<std::uintptr_t (*)(DWORD)>(dlsym(module, "fakeMadeDriverCall"));
        forwardConsult = reinterpret_cast<void (*)(BOOL)>(dlsym(module, "fakeForwardConsult"));
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
    // The last object printed.
    nlohmann::json last() {
        const auto lines = printed();
        return lines.empty() ? nlohmann::json{} : lines.back();
    }
    // The object printed for the command (not a message) that ran last.
    nlohmann::json lastCommand() {
        const auto lines = printed();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
            if (it->contains("command")) return *it;
        }
        return {};
    }
    bool logged(const std::string& entry) {
        return std::string(log()).find(entry + ";") != std::string::npos;
    }
    // Line 21 (device 1) open with the provider's calls 85 and 86 offered on
    // it, named c1 and c2 by the script.
    void openWithTwoCalls() {
        ASSERT_EQ(run("open 21\n"), CommandRunner::kOk);
        openedLine = lastCommand()["line"];
        for (const auto& [hdCall, name] : {std::pair{85, "c1"}, std::pair{86, "c2"}}) {
            callEvent(1, newCall(1, hdCall), LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, 0);
            ASSERT_EQ(run(std::string("wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING "
                                      "timeout=2000 as ") +
                          name + "\n"),
                      CommandRunner::kOk);
        }
        out.str("");
        clearLog();
    }
    // Completes the request the last command started and waits for its reply.
    nlohmann::json completeLast(LONG result) {
        const auto id = lastCommand()["requestId"];
        EXPECT_TRUE(id.is_number()) << lastCommand().dump();
        if (!id.is_number()) return {};
        complete(id.get<DRV_REQUESTID>(), result);
        out.str("");
        EXPECT_EQ(run("wait LINE_REPLY requestId=" + id.dump() + " timeout=2000\n"),
                  CommandRunner::kOk);
        const auto lines = printed();
        return lines.size() >= 2 ? lines[lines.size() - 2] : nlohmann::json{};
    }

    nlohmann::json openedLine;
    void* module = nullptr;
    void (*lineEvent)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    HTAPICALL (*newCall)(DWORD, DWORD_PTR) = nullptr;
    void (*callEvent)(DWORD, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) = nullptr;
    void (*complete)(DRV_REQUESTID, LONG) = nullptr;
    const char* (*log)() = nullptr;
    void (*clearLog)() = nullptr;
    HTAPICALL (*madeCall)(DWORD) = nullptr;
    std::uintptr_t (*madeDriverCall)(DWORD) = nullptr;
    void (*forwardConsult)(BOOL) = nullptr;
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

// Each command reaches the provider's entry point with the provider's own
// handles, prints the request it started, and its LINE_REPLY names it.
TEST_F(TapicmdTest, CallCommandsReachTheProviderAndTheirRepliesNameTheRequest) {
    openWithTwoCalls();
    struct Case {
        const char* command;
        const char* entry;  // what the provider logs
    };
    const Case cases[] = {
        {"answer c1", "answer 85 "},
        {"accept c1", "accept 85 "},
        {"drop c2", "drop 86 "},
        {"hold c1", "hold 85"},
        {"unhold c1", "unhold 85"},
        {"swaphold c1 c2", "swaphold 85 86"},
        {"redirect c1 VMIB", "redirect 85 VMIB"},
        {"dial c1 123#", "dial 85 123# cc=0"},
        {"blind-transfer c2 203", "blindtransfer 86 203"},
        {"transfer-complete c1 c2", "completetransfer 85 86 1"},
        {"conference-add c1 c2", "addtoconference 85 86"},
        {"conference-remove c2", "removefromconference 86"},
        {"park c1 701", "park 85 701"},
        {"complete-call c1 callback", "completecall 85 2 0"},
        {"complete-call c1 LINECALLCOMPLMODE_MESSAGE", "completecall 85 8 0"},
        {"uncomplete-call 21 119", "uncompletecall 1 119"},
        {"uui c1 hello there", "senduui 85 hello there"},
        {"uui-release c1", "releaseuui 85"},
        {"calldata c2 abc", "calldata 86 abc"},
        {"devspecific 21 text PUSH_BTN/N", "devspecific 1 0 0 PUSH_BTN/N"},
        {"devspecific 21 50 55 53 48", "devspecific 1 0 0 PUSH"},
        {"forward 21 busy 202", "forward 1 all=1 0 rings=5 16:202"},
        {"forward 21 off", "forward 1 all=1 0 rings=5 off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        out.str("");
        clearLog();
        ASSERT_EQ(run(std::string(c.command) + "\n"), CommandRunner::kOk) << out.str();
        const nlohmann::json result = lastCommand();
        const std::string name = c.command;
        EXPECT_EQ(result["command"], name.substr(0, name.find(' ')));
        EXPECT_GT(result["requestId"].get<LONG>(), 0);
        EXPECT_EQ(result["result"], result["requestId"]);
        EXPECT_TRUE(logged(c.entry)) << log();
        const nlohmann::json reply = completeLast(0);
        EXPECT_EQ(reply["message"], "LINE_REPLY");
        EXPECT_EQ(reply["request"], result["command"]);
        EXPECT_EQ(reply["result"], 0);
        if (result.contains("callName")) {
            const auto& calls = reply["calls"];
            EXPECT_NE(std::find(calls.begin(), calls.end(), result["callName"]), calls.end())
                << reply.dump();
        }
    }
    // A call by its handle, as the messages print it.
    out.str("");
    clearLog();
    ASSERT_EQ(run("hold c2\n"), CommandRunner::kOk);
    const auto handle = lastCommand()["call"].dump();
    ASSERT_EQ(run("unhold " + handle + "\n"), CommandRunner::kOk);
    EXPECT_EQ(lastCommand()["callName"], "c2");
    EXPECT_TRUE(logged("unhold 86")) << log();
}

// A command that creates calls prints their handles with the names the
// script gave; the names lead to the provider's calls once the reply is in.
TEST_F(TapicmdTest, CommandsThatCreateCallsNameThem) {
    openWithTwoCalls();
    struct Case {
        const char* command;
        std::vector<std::pair<const char*, const char*>> made;  // role, name
    };
    const Case cases[] = {
        {"make 21 202 as m1", {{"call", "m1"}}},
        {"make 21 as m2", {{"call", "m2"}}},
        {"transfer-setup c1 as t1", {{"consult", "t1"}}},
        {"transfer-complete c1 c2 conference as k1", {{"conference", "k1"}}},
        {"conference-setup c1 as k2 k3", {{"conference", "k2"}, {"consult", "k3"}}},
        {"conference-setup line 21 4 as k4", {{"conference", "k4"}, {"consult", nullptr}}},
        {"conference-prepare k2 as p1", {{"consult", "p1"}}},
        {"unpark 21 701 as u1", {{"call", "u1"}}},
        {"pickup 21 as q1", {{"call", "q1"}}},
    };
    DWORD made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        out.str("");
        ASSERT_EQ(run(std::string(c.command) + "\n"), CommandRunner::kOk) << out.str();
        const nlohmann::json result = lastCommand();
        for (const auto& [role, name] : c.made) {
            EXPECT_GT(result[role].get<HCALL>(), 0u);
            if (name) {
                EXPECT_EQ(result[std::string(role) + "Name"], name);
            }
        }
        const nlohmann::json reply = completeLast(0);
        EXPECT_EQ(reply["request"], result["command"]);
        for (const auto& [role, name] : c.made) {
            const DWORD index = made++;
            EXPECT_EQ(reply[role], result[role]);
            if (!name) continue;
            callEvent(1, madeCall(index), LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0, 0);
            clearLog();
            ASSERT_EQ(run(std::string("wait LINE_CALLSTATE callName=") + name +
                          " timeout=2000\nhold " + name + "\n"),
                      CommandRunner::kOk)
                << out.str();
            EXPECT_TRUE(logged("hold " + std::to_string(madeDriverCall(index)))) << log();
            completeLast(0);
        }
    }
}

TEST_F(TapicmdTest, ForwardingNamesItsConsultationCallOnlyWhenOneIsMade) {
    ASSERT_EQ(run("open 21\n"), CommandRunner::kOk);
    forwardConsult(1);
    ASSERT_EQ(run("forward 21 uncond 202 as f1\n"), CommandRunner::kOk);
    EXPECT_GT(lastCommand()["consult"].get<HCALL>(), 0u);
    EXPECT_EQ(completeLast(0)["consultName"], "f1");
    forwardConsult(0);
    out.str("");
    ASSERT_EQ(run("forward 21 off as f2\n"), CommandRunner::kOk);
    EXPECT_EQ(lastCommand()["consult"], 0);
    EXPECT_EQ(completeLast(0)["consult"], 0);
    out.str("");
    EXPECT_EQ(run("hold f2\n"), CommandRunner::kCommandFailed);
    EXPECT_EQ(last()["error"], "no call named f2");
}

// What a reply brings: the place a call was parked at, a completion ID.
TEST_F(TapicmdTest, RepliesCarryWhatTheRequestFilledIn) {
    openWithTwoCalls();
    ASSERT_EQ(run("park c1\n"), CommandRunner::kOk);
    const nlohmann::json parked = completeLast(0);
    EXPECT_EQ(parked["parkedAt"], "0701");
    EXPECT_EQ(parked["parkedAtFormatName"], "STRINGFORMAT_ASCII");
    out.str("");
    ASSERT_EQ(run("park c1\n"), CommandRunner::kOk);
    EXPECT_FALSE(completeLast(LINEERR_OPERATIONFAILED).contains("parkedAt"));
    out.str("");
    ASSERT_EQ(run("complete-call c2 campon\n"), CommandRunner::kOk);
    EXPECT_EQ(completeLast(0)["completionId"], 0x77);
    out.str("");
    ASSERT_EQ(run("devspecific 21 0102\n"), CommandRunner::kOk);
    EXPECT_EQ(completeLast(0)["params"], "0102");
}

// Queries print their structure's fields, constants named beside them.
TEST_F(TapicmdTest, QueriesPrintTheirFieldsWithNames) {
    openWithTwoCalls();
    struct Case {
        const char* command;
        const char* field;  // a JSON pointer into the result
        nlohmann::json expected;
    };
    const Case cases[] = {
        {"callinfo c1", "/callerId", "STA202"},
        {"callinfo c1", "/callerIdName", "Zo\xC3\xAB \xE2\x82\xAC"},
        {"callinfo c1", "/originName", "LINECALLORIGIN_INTERNAL"},
        {"callinfo c1", "/reasonName", "LINECALLREASON_DIRECT"},
        {"callinfo c1", "/callerIdFlagsNames", {"LINECALLPARTYID_NAME", "LINECALLPARTYID_ADDRESS"}},
        {"callinfo c1", "/userUserInfo", "75750001"},
        {"callinfo c1", "/numOwners", 1},
        {"callstatus c1", "/stateName", "LINECALLSTATE_CONNECTED"},
        {"callstatus c1", "/privilegeName", "LINECALLPRIVILEGE_OWNER"},
        {"callstatus c1", "/featuresNames", {"LINECALLFEATURE_DROP", "LINECALLFEATURE_HOLD"}},
        {"devstatus 21", "/numOpens", 1},
        {"devstatus 21",
         "/devStatusFlagsNames",
         {"LINEDEVSTATUSFLAGS_CONNECTED", "LINEDEVSTATUSFLAGS_INSERVICE"}},
        {"addresscaps 21", "/address", "21 \xC3\xA9"},
        {"addresscaps #0", "/address", "20 \xC3\xA9"},
        {"addresscaps 21",
         "/parkModesNames",
         {"LINEPARKMODE_DIRECTED", "LINEPARKMODE_NONDIRECTED"}},
        {"addressstatus 21", "/forward/0/modeName", "LINEFORWARDMODE_BUSY"},
        {"addressstatus 21", "/forward/0/destAddress", "203 \xC3\xA9"},
        {"getid 21", "/id", "01000000"},
        {"getid 21", "/idFormatName", "STRINGFORMAT_BINARY"},
        {"getid 21 fake/name", "/id", "Fake line \xC3\xA9"},
        {"getid call c2 tapi/line", "/id", "01000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        out.str("");
        ASSERT_EQ(run(std::string(c.command) + "\n"), CommandRunner::kOk) << out.str();
        const nlohmann::json result = lastCommand();
        EXPECT_EQ(result["result"], 0);
        EXPECT_FALSE(result.contains("requestId"));
        EXPECT_EQ(result.value(nlohmann::json::json_pointer(c.field), nlohmann::json()), c.expected)
            << result.dump();
    }
    out.str("");
    ASSERT_EQ(run("callinfo c1\n"), CommandRunner::kOk);
    EXPECT_EQ(lastCommand()["line"], openedLine) << "the script's own line handle";
}

// Bad commands get an error object and their exit code; nothing crashes
// and nothing reaches the provider.
TEST_F(TapicmdTest, BadCallCommandsAreRefused) {
    openWithTwoCalls();
    struct Case {
        const char* command;
        int code;
        const char* error;  // or the result's name
    };
    const Case cases[] = {
        {"hold", CommandRunner::kBadCommand, "wrong arguments"},
        {"hold c9", CommandRunner::kCommandFailed, "no call named c9"},
        {"hold 12345", CommandRunner::kCommandFailed, "LINEERR_INVALCALLHANDLE"},
        {"swaphold c1 c9", CommandRunner::kCommandFailed, "no call named c9"},
        {"make 21 202 as 12", CommandRunner::kBadCommand, nullptr},
        {"make 21 202 as a b", CommandRunner::kBadCommand, nullptr},
        {"make 22 202", CommandRunner::kCommandFailed, "22 is not open"},
        {"make 999 202", CommandRunner::kCommandFailed, "no line 999"},
        {"transfer-complete c1 c2 as x", CommandRunner::kBadCommand, "wrong arguments"},
        {"conference-setup c1 many", CommandRunner::kBadCommand, "parties must be a number"},
        {"forward 21 sideways 202", CommandRunner::kBadCommand,
         "mode must be uncond, busy, noanswer or busyna"},
        {"forward 21 busy", CommandRunner::kBadCommand, "wrong arguments"},
        {"complete-call c1 soon", CommandRunner::kBadCommand,
         "mode must be campon, callback, intrude or message"},
        {"digits c1 12 loud", CommandRunner::kBadCommand, "mode must be dtmf or pulse"},
        {"devspecific 21 xyz", CommandRunner::kBadCommand,
         "parameters are hexadecimal bytes, or text after the word text"},
        {"devspecific 21 abc", CommandRunner::kBadCommand,
         "parameters are hexadecimal bytes, or text after the word text"},
        {"getid call c9", CommandRunner::kCommandFailed, "no call named c9"},
        {"addressstatus 21 first", CommandRunner::kBadCommand, "the address ID is a number"},
        {"wait LINE_REPLY timeout=10 as 5", CommandRunner::kBadCommand,
         "a call name is not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        out.str("");
        clearLog();
        EXPECT_EQ(run(std::string(c.command) + "\n"), c.code);
        const nlohmann::json result = last();
        if (c.error) {
            EXPECT_EQ(result.contains("error") ? result["error"] : result["resultName"], c.error)
                << result.dump();
        }
        EXPECT_EQ(result["command"],
                  std::string(c.command).substr(0, std::string(c.command).find(' ')));
        EXPECT_STREQ(log(), "");
    }
}

TEST_F(TapicmdTest, DigitsAreSentAtOnce) {
    openWithTwoCalls();
    ASSERT_EQ(run("digits c1 12*\ndigits c2 9 pulse\n"), CommandRunner::kOk);
    const auto lines = printed();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["result"], 0);
    EXPECT_EQ(lines[0]["modeName"], "LINEDIGITMODE_DTMF");
    EXPECT_FALSE(lines[0].contains("requestId"));
    EXPECT_EQ(lines[1]["modeName"], "LINEDIGITMODE_PULSE");
    EXPECT_NE(std::string(log()).find("digits 86 id="), std::string::npos) << log();
}

// Phones: opened by station number, a setting written as a request whose
// PHONE_REPLY names it, a setting read at once, the phone's messages by name.
TEST_F(TapicmdTest, PhoneCommandsWriteAndReadSettings) {
    auto phoneEvent = reinterpret_cast<void (*)(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(
        dlsym(module, "fakePhoneEvent"));
    ASSERT_NE(phoneEvent, nullptr);
    ASSERT_EQ(run("phone-open 20\nphone-set 20 pmp/In a meeting\n"), CommandRunner::kOk);
    auto lines = printed();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["command"], "phone-open");
    EXPECT_EQ(lines[0]["device"], 0);
    const auto phone = lines[0]["phone"];
    EXPECT_EQ(lines[1]["setting"], "pmp/In a meeting");
    EXPECT_TRUE(logged("phonedevspecific 0 pmp/In a meeting"));
    const auto id = lines[1]["requestId"];
    ASSERT_TRUE(id.is_number());

    complete(id.get<DRV_REQUESTID>(), 0);
    phoneEvent(0, PHONE_DEVSPECIFIC, 255, 2, 0);
    out.str("");
    ASSERT_EQ(run("wait PHONE_REPLY timeout=2000\nwait PHONE_DEVSPECIFIC param1=255 timeout=2000\n"
                  "phone-get #0 7\nphone-close 20\n"),
              CommandRunner::kOk);
    lines = printed();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0]["message"], "PHONE_REPLY");
    EXPECT_EQ(lines[0]["request"], "phone-set");
    EXPECT_EQ(lines[0]["setting"], "pmp/In a meeting");
    EXPECT_EQ(lines[0]["result"], 0);
    EXPECT_EQ(lines[2]["message"], "PHONE_DEVSPECIFIC");
    EXPECT_EQ(lines[2]["phone"], phone);
    EXPECT_EQ(lines[4]["command"], "phone-get");
    EXPECT_EQ(lines[4]["data"], "value 7");
    EXPECT_EQ(lines[5]["command"], "phone-close");
    EXPECT_TRUE(logged("phoneclose 0"));
}

TEST_F(TapicmdTest, PhoneCommandsFailWithTheirCodes) {
    const std::pair<const char*, int> cases[] = {
        {"phone-open 21\n", CommandRunner::kCommandFailed},  // the fake refuses it
        {"phone-open 99\n", CommandRunner::kCommandFailed},
        {"phone-set 20 wu/0730\n", CommandRunner::kCommandFailed},  // not open
        {"phone-get 20 1\n", CommandRunner::kCommandFailed},
        {"phone-get 20\n", CommandRunner::kBadCommand},
        {"phone-close 20\n", CommandRunner::kCommandFailed},
    };
    for (const auto& [script, code] : cases) EXPECT_EQ(run(script), code) << script;
    ASSERT_EQ(run("phone-open 20\n"), CommandRunner::kOk);
    out.str("");
    EXPECT_EQ(run("phone-get 20 15\n"), CommandRunner::kCommandFailed);
    EXPECT_EQ(last()["resultName"], "PHONEERR_OPERATIONUNAVAIL");
}

// A LINEADDRESSSTATUS laid out by hand as the provider fills it: the fixed
// part, then the device-specific blocks from offset 64.
class StatusBlocksTest : public ::testing::Test {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Name (NUL-terminated when `terminated`), zeros up to the size field
    // at `sizeAt`, the size, the body.
    void block(std::string_view name, bool terminated, std::size_t sizeAt, const Bytes& body) {
        Bytes b(name.begin(), name.end());
        if (terminated) b.push_back(0);
        b.resize(sizeAt, 0);
        le32(b, static_cast<std::uint32_t>(sizeAt + 4 + body.size()));
        b.insert(b.end(), body.begin(), body.end());
        area.insert(area.end(), b.begin(), b.end());
    }
    static void le32(Bytes& b, std::uint32_t v) {
        for (int s = 0; s < 32; s += 8) b.push_back(static_cast<std::uint8_t>(v >> s));
    }
    static Bytes text(std::string_view t) { return {t.begin(), t.end()}; }
    static Bytes cat(std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    }

    nlohmann::json decode() {
        Bytes buffer(64, 0);
        buffer.insert(buffer.end(), area.begin(), area.end());
        LINEADDRESSSTATUS fixed{};
        fixed.dwTotalSize = fixed.dwNeededSize = fixed.dwUsedSize = static_cast<DWORD>(buffer.size());
        fixed.dwNumInUse = 1;
        fixed.dwDevSpecificSize = static_cast<DWORD>(area.size());
        fixed.dwDevSpecificOffset = 64;
        std::memcpy(buffer.data(), &fixed, sizeof fixed);
        nlohmann::json out;
        addAddressStatus(out, buffer);
        return out;
    }

    Bytes area;
};

TEST_F(StatusBlocksTest, EveryBlockIsDecodedIntoNamedFields) {
    Bytes records;
    le32(records, 7);
    le32(records, 13);
    records = cat({records, text("STA  201  202")});
    le32(records, 8);
    le32(records, 2);
    records = cat({records, text("ok")});
    block("SMDR_DATA", true, 14, records);
    block("OTHER_DATA", true, 12, {0x01, 'A', 0xFF});
    block("STA_STATUS", true, 12, {0, 1, 1, 0, 2, 0x24, 1, 0, 7});
    block("COL_STATUS", true, 12, {0, 1, 1, 0, 2, 3});
    // Index 0x0102, number 201, slot 4, status 1, attribute 9, value 0x0305, "Ann".
    block("STA_INFO", true, 12, cat({{1, 2, 201, 0, 0, 0, 4, 1, 9, 3, 5, 3}, text("Ann")}));
    block("COL_INFO", true, 12, cat({{0, 5, 2, 8, 1, 0, 4, 5}, text("CityTrunk")}));
    block("STA_NUMBER", true, 12, {100, 0, 0xC9, 0});
    block("ALL_PARK_NUM", false, 12, text(" 801 802    "));
    block("SMS_MESSAGE", true, 12, cat({text(" 201Lunch?"), {0, 0, 0, 0}}));
    block("STATION_TYPE", false, 12, {0, 1, 0x30, 0, 2, 0x31});

    const nlohmann::json blocks = decode()["blocks"];
    const nlohmann::json expected = nlohmann::json::parse(R"([
        {"block": "SMDR_DATA", "records": [{"sequence": 7, "text": "STA  201  202"},
                                           {"sequence": 8, "text": "ok"}]},
        {"block": "OTHER_DATA", "data": "0141ff", "text": ".A."},
        {"block": "STA_STATUS", "stations": [{"index": 1, "status": 1}, {"index": 2, "status": 36},
                                             {"index": 256, "status": 7}]},
        {"block": "COL_STATUS", "cos": [{"index": 1, "status": 1}, {"index": 2, "status": 3}]},
        {"block": "STA_INFO", "index": 258, "number": 201, "slot": 4, "status": 1, "attribute": 9,
         "value": 773, "name": "Ann"},
        {"block": "COL_INFO", "index": 5, "status": 2, "attribute": 8, "value": 256,
         "nameTableText": "City", "name": "Trunk"},
        {"block": "STA_NUMBER", "stations": [{"index": 1, "number": 100}, {"index": 2, "number": 201}]},
        {"block": "ALL_PARK_NUM", "parks": [{"slot": 1, "number": "801"}, {"slot": 2, "number": "802"},
                                            {"slot": 3, "number": ""}]},
        {"block": "SMS_MESSAGE", "sender": "201", "text": "Lunch?"},
        {"block": "STATION_TYPE", "stations": [{"index": 1, "type": 48}, {"index": 2, "type": 49}]}
    ])");
    EXPECT_EQ(blocks, expected) << blocks.dump(1);
}

TEST_F(StatusBlocksTest, DamagedBlocksAreReportedNotRead) {
    struct Case {
        const char* what;
        std::function<void(StatusBlocksTest&)> build;
        std::string lastBlock;
        std::string error;
    };
    const Case cases[] = {
        {"unknown name", [](StatusBlocksTest& t) { t.block("STA_FOO", true, 12, {}); }, "?", "unknown block"},
        {"size past the end",
         [](StatusBlocksTest& t) {
             t.block("STA_STATUS", true, 12, {0, 1, 1});
             t.area.pop_back();
         },
         "STA_STATUS", "block size 19 out of range"},
        {"size below the header",
         [](StatusBlocksTest& t) {
             t.block("STA_NUMBER", true, 12, {});
             t.area[t.area.size() - 4] = 3;  // its size field ends the area
         },
         "STA_NUMBER", "block size 3 out of range"},
        {"entries cut", [](StatusBlocksTest& t) { t.block("COL_STATUS", true, 12, {0, 1}); }, "COL_STATUS",
         "body does not match the layout"},
        {"name length beyond the body",
         [](StatusBlocksTest& t) { t.block("STA_INFO", true, 12, {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 'A'}); },
         "STA_INFO", "body does not match the layout"},
        {"record length beyond the body",
         [](StatusBlocksTest& t) { t.block("SMDR_DATA", true, 14, {1, 0, 0, 0, 50, 0, 0, 0, 'x'}); },
         "SMDR_DATA", "body does not match the layout"},
    };
    for (const Case& c : cases) {
        area.clear();
        block("SMS_MESSAGE", true, 12, cat({text(" 202Hi"), {0, 0, 0, 0}}));
        c.build(*this);
        const nlohmann::json blocks = decode()["blocks"];
        ASSERT_EQ(blocks.size(), 2u) << c.what << blocks.dump();
        EXPECT_EQ(blocks[0]["text"], "Hi") << c.what;
        EXPECT_EQ(blocks[1]["block"], c.lastBlock) << c.what;
        EXPECT_EQ(blocks[1]["error"], c.error) << c.what;
    }
}

}  // namespace
}  // namespace velkor::tapicmd
