// Call flows as an application meets them: the command-line client runs a
// script with two or three lines open, against velkorsp.tsp loaded by the
// telephony layer and the simulator executable on loopback UDP, on the real
// clock. Where no line is open the far side is played through the
// simulator's control socket. Every message the client prints is checked:
// the states and call information each call goes through, in order, on
// every line, what each line reports beside its calls, and the call
// information and status the script asks for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/net/ipv4_endpoint.h"
#include "platform/registry/registry.h"
#include "provider/config/provider_settings.h"
#include "tapi.h"
#include "tests/provider/link/transport/loopback_pbx.h"
#include "tests/provider/tsp/frame_log.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace velkor::tsp_testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using platform::Hive;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kProvidersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Providers";
constexpr const char* kExample = "model90-medium.pbx";
// The provider enumerates the 128 stations of the example (about 5 s) before
// the first command runs; the longest flow needs a few seconds more.
constexpr auto kRunLimit = 60s;

// ---- the flows ---------------------------------------------------------------

// A command for the simulator's control socket, sent once the client has
// printed an object with every field of `after` (a JSON object); each one
// waits for the one before it.
struct FarSide {
    const char* after;
    const char* command;
};

// Fields of what `callinfo <call>`, `callstatus <call>` or `addressstatus`
// printed (a JSON object), in the order the script asks.
struct Report {
    const char* command;
    const char* fields;
};

// What a call or a line went through, in order, as this test writes it: a
// state by its name without LINECALLSTATE_, LINE_CALLINFO as "info" and its
// flags, LINE_ADDRESSSTATE and LINE_DEVSPECIFIC with their parameters.
using Events = std::vector<std::string>;

struct Flow {
    const char* name;
    const char* script;
    std::vector<FarSide> farSide;
    // Every call the run saw, by the name the script gave it.
    std::map<std::string, Events> calls;
    // What the lines reported beside their calls, by station (only lines
    // that reported anything).
    std::map<std::string, Events> lines;
    std::vector<Report> reports;
};

void PrintTo(const Flow& f, std::ostream* out) { *out << f.name; }

// LINE_DEVSPECIFIC(18, slot, state) of a park slot: the texts packed into
// numbers, first character highest.
std::string parkSlot(std::string_view slot, std::string_view state) {
    const auto packed = [](std::string_view text) {
        std::uint32_t value = 0;
        for (const char c : text) value = value << 8 | static_cast<std::uint8_t>(c);
        return std::to_string(value);
    };
    return "DEVSPECIFIC 18," + packed(slot) + "," + packed(state);
}

// Stations 101, 102, 103 and 104 are DKTs of the example (devices 1 to 4).
// A run prints at its end only what has arrived by then, so each script
// ends waiting for the last message the flow expects.
const Flow kFlows[] = {
    {"ConsultationTransfer",
     R"(open 101
open 102
open 103
make 101 102 as c1
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c2
answer c2
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
hold c1
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_ONHOLD timeout=5000
unhold c1
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
transfer-setup c1 as consult
wait LINE_CALLSTATE callName=consult state=LINECALLSTATE_DIALTONE timeout=5000
dial consult 103
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c3
answer c3
wait LINE_CALLSTATE callName=consult state=LINECALLSTATE_CONNECTED timeout=5000
transfer-complete c1 consult
wait LINE_REPLY request=transfer-complete timeout=5000
callinfo c3
callinfo c2
callstatus c3
callstatus c1
callstatus consult
)",
     {},
     {{"c1", {"RINGBACK", "info CALLEDID", "CONNECTED", "ONHOLD", "CONNECTED", "ONHOLD", "IDLE"}},
      {"consult", {"DIALTONE", "RINGBACK", "info CALLEDID", "CONNECTED", "IDLE"}},
      {"c2", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "info CONNECTEDID"}},
      {"c3", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "info CONNECTEDID"}}},
     {},
     {{"callinfo c3",
       R"({"callerId":"101","connectedId":"102","connectedIdName":"STA102",
           "reasonName":"LINECALLREASON_TRANSFER","originName":"LINECALLORIGIN_INTERNAL"})"},
      {"callinfo c2", R"({"callerId":"101","connectedId":"103","connectedIdName":"STA103",
                          "reasonName":"LINECALLREASON_TRANSFER"})"},
      {"callstatus c3", R"({"stateName":"LINECALLSTATE_CONNECTED"})"},
      {"callstatus c1", R"({"stateName":"LINECALLSTATE_IDLE"})"},
      {"callstatus consult", R"({"stateName":"LINECALLSTATE_IDLE"})"}}},

    // 101 holds 102, calls 103 and holds that call too: taking back the
    // second held call brings back that one, and a swap exchanges them.
    {"TwoHeldCallsTakenBackByName",
     R"(open 101
open 102
open 103
make 101 102 as a
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as a2
answer a2
wait LINE_CALLSTATE callName=a state=LINECALLSTATE_CONNECTED timeout=5000
hold a
wait LINE_CALLSTATE callName=a state=LINECALLSTATE_ONHOLD timeout=5000
make 101 103 as b
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as b3
answer b3
wait LINE_CALLSTATE callName=b state=LINECALLSTATE_CONNECTED timeout=5000
hold b
wait LINE_CALLSTATE callName=b state=LINECALLSTATE_ONHOLD timeout=5000
unhold b
wait LINE_CALLSTATE callName=b state=LINECALLSTATE_CONNECTED timeout=5000
callstatus a
swaphold b a
wait LINE_CALLSTATE callName=b state=LINECALLSTATE_ONHOLD timeout=5000
callstatus a
drop a
wait LINE_CALLSTATE callName=a state=LINECALLSTATE_IDLE timeout=5000
unhold b
wait LINE_CALLSTATE callName=b state=LINECALLSTATE_CONNECTED timeout=5000
callinfo b
)",
     {},
     {{"a", {"RINGBACK", "info CALLEDID", "CONNECTED", "ONHOLD", "CONNECTED", "IDLE"}},
      {"b", {"RINGBACK", "info CALLEDID", "CONNECTED", "ONHOLD", "CONNECTED", "ONHOLD", "CONNECTED"}},
      {"a2", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "DISCONNECTED"}},
      {"b3", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID"}}},
     {},
     {{"callstatus a", R"({"stateName":"LINECALLSTATE_ONHOLD"})"},
      {"callstatus a", R"({"stateName":"LINECALLSTATE_CONNECTED"})"},
      {"callinfo b", R"({"calledId":"103","calledIdName":"STA103"})"}}},

    // An outside call with the caller's number rings 102, is answered and
    // put down there; 101 hears nothing of it.
    {"CoCallWithCallerNumber",
     R"(open 101
open 102
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as in
wait LINE_CALLINFO callName=in timeout=5000
callinfo in
answer in
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_CONNECTED timeout=5000
callstatus in
drop in
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_IDLE timeout=5000
)",
     {{R"({"command":"open","target":"102"})", "co-call 001 102 5551234"}},
     {{"in", {"OFFERING", "info CALLERID", "CONNECTED", "DISCONNECTED", "IDLE"}}},
     {},
     {{"callinfo in",
       R"({"callerId":"5551234","callerIdName":"CO001","trunk":1,
           "callerIdFlagsNames":["LINECALLPARTYID_NAME","LINECALLPARTYID_ADDRESS"],
           "originName":"LINECALLORIGIN_EXTERNAL","reasonName":"LINECALLREASON_DIRECT"})"},
      {"callstatus in", R"({"stateName":"LINECALLSTATE_CONNECTED"})"}}},

    // The caller's name instead of a number; the outside party hangs up.
    {"CoCallWithCallerName",
     R"(open 101
open 102
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as in
wait LINE_CALLINFO callName=in timeout=5000
callinfo in
answer in
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_CONNECTED timeout=5000
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_DISCONNECTED timeout=5000
drop in
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_IDLE timeout=5000
)",
     {{R"({"command":"open","target":"102"})", R"(co-call 2 102 - "Acme Ltd")"},
      {R"({"message":"LINE_REPLY","request":"answer"})", "co-hangup 2"}},
     {{"in", {"OFFERING", "info CALLERID", "CONNECTED", "DISCONNECTED", "IDLE"}}},
     {},
     {{"callinfo in", R"({"callerIdName":"Acme Ltd","callerIdFlagsNames":["LINECALLPARTYID_NAME"],
                         "trunk":2,"originName":"LINECALLORIGIN_EXTERNAL"})"}}},

    // 102 sends 101's call on to 103 without asking: 103 is offered the
    // consultation first, then the transferred call.
    {"BlindTransfer",
     R"(open 101
open 102
open 103
make 101 102 as c1
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c2
answer c2
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
blind-transfer c2 103
wait LINE_CALLSTATE state=LINECALLSTATE_DIALTONE timeout=5000 as consult
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as consulted
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c3
wait LINE_REPLY request=blind-transfer timeout=5000
answer c3
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
callinfo c3
callinfo c1
callstatus c2
)",
     {},
     {{"c1", {"RINGBACK", "info CALLEDID", "CONNECTED", "RINGBACK", "info CALLEDID", "CONNECTED"}},
      {"c2", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "ONHOLD", "IDLE"}},
      {"consult", {"DIALTONE", "IDLE"}},
      {"consulted", {"OFFERING", "info CALLERID", "IDLE"}},
      {"c3", {"OFFERING", "info CALLERID|REDIRECTINGID", "CONNECTED", "info CONNECTEDID"}}},
     {},
     {{"callinfo c3", R"({"callerId":"101","connectedId":"101","redirectingId":"102",
                         "redirectingIdName":"STA102","reasonName":"LINECALLREASON_TRANSFER"})"},
      {"callinfo c1", R"({"calledId":"103","calledIdName":"STA103"})"},
      {"callstatus c2", R"({"stateName":"LINECALLSTATE_IDLE"})"}}},

    // An outside call sent on blindly: the consultation gets dial tone and
    // goes, so that the next call 102 makes shows its own progress.
    {"BlindTransferOfACoCall",
     R"(open 101
open 102
open 103
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as in
answer in
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_CONNECTED timeout=5000
blind-transfer in 103
wait LINE_CALLSTATE state=LINECALLSTATE_DIALTONE timeout=5000 as consult
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c3
wait LINE_REPLY request=blind-transfer timeout=5000
answer c3
wait LINE_CALLSTATE callName=c3 state=LINECALLSTATE_CONNECTED timeout=5000
callinfo c3
make 102 101 as next
wait LINE_CALLSTATE callName=next state=LINECALLSTATE_RINGBACK timeout=5000
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c1
wait LINE_CALLINFO callName=c1 timeout=5000
)",
     {{R"({"command":"open","target":"103"})", "co-call 001 102 5551234"}},
     {{"in", {"OFFERING", "info CALLERID", "CONNECTED", "ONHOLD", "IDLE"}},
      {"consult", {"DIALTONE", "IDLE"}},
      {"c3", {"OFFERING", "info CALLERID", "info CALLERID", "CONNECTED"}},
      {"next", {"RINGBACK", "info CALLEDID"}},
      {"c1", {"OFFERING", "info CALLERID"}}},
     {},
     {{"callinfo c3", R"({"callerId":"5551234","callerIdName":"CO001","trunk":1,
                         "reasonName":"LINECALLREASON_TRANSFER"})"}}},

    // 101 sets up a conference with 102 and 103, adds 104 (no line open, the
    // simulator answers for it) and removes 103.
    {"ThreePartyConference",
     R"(open 101
open 102
open 103
make 101 102 as c1
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c2
answer c2
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
conference-setup c1 as conf consult
wait LINE_CALLSTATE callName=consult state=LINECALLSTATE_DIALTONE timeout=5000
dial consult 103
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c3
answer c3
wait LINE_CALLSTATE callName=consult state=LINECALLSTATE_CONNECTED timeout=5000
conference-add conf consult
wait LINE_CALLSTATE callName=consult state=LINECALLSTATE_CONFERENCED timeout=5000
callstatus conf
callstatus c1
callstatus c2
conference-prepare conf as add
wait LINE_CALLSTATE callName=add state=LINECALLSTATE_DIALTONE timeout=5000
dial add 104
wait LINE_CALLSTATE callName=add state=LINECALLSTATE_CONNECTED timeout=5000
conference-add conf add
wait LINE_CALLSTATE callName=add state=LINECALLSTATE_CONFERENCED timeout=5000
conference-remove consult
wait LINE_CALLSTATE callName=c3 state=LINECALLSTATE_DISCONNECTED timeout=5000
callstatus conf
callstatus add
callinfo add
)",
     {{R"({"message":"LINE_REPLY","request":"dial","calls":["add"]})", "answer 104"}},
     {{"c1", {"RINGBACK", "info CALLEDID", "CONNECTED", "CONFERENCED"}},
      {"conf", {"ONHOLDPENDCONF", "CONNECTED", "ONHOLDPENDCONF", "CONNECTED"}},
      {"consult", {"DIALTONE", "RINGBACK", "info CALLEDID", "CONNECTED", "CONFERENCED", "IDLE"}},
      {"add", {"DIALTONE", "RINGBACK", "info CALLEDID", "CONNECTED", "CONFERENCED"}},
      {"c2", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID"}},
      {"c3", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "DISCONNECTED"}}},
     {},
     {{"callstatus conf", R"({"stateName":"LINECALLSTATE_CONNECTED",
                             "featuresNames":["LINECALLFEATURE_ADDTOCONF","LINECALLFEATURE_DROP",
                                              "LINECALLFEATURE_PREPAREADDCONF",
                                              "LINECALLFEATURE_REMOVEFROMCONF"]})"},
      {"callstatus c1", R"({"stateName":"LINECALLSTATE_CONFERENCED"})"},
      {"callstatus c2", R"({"stateName":"LINECALLSTATE_CONNECTED"})"},
      {"callstatus conf", R"({"stateName":"LINECALLSTATE_CONNECTED"})"},
      {"callstatus add", R"({"stateName":"LINECALLSTATE_CONFERENCED"})"},
      {"callinfo add", R"({"calledId":"104","calledIdName":"STA104"})"}}},

    // 102 parks 101's call on slot 801 and 103 takes it from there; every
    // open line hears the slot taken and free again.
    {"ParkAndUnpark",
     R"(open 101
open 102
open 103
make 101 102 as c1
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as c2
answer c2
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
park c2 801
wait LINE_REPLY request=park timeout=5000
wait LINE_CALLSTATE callName=c2 state=LINECALLSTATE_IDLE timeout=5000
callstatus c1
unpark 103 801 as c3
wait LINE_CALLSTATE callName=c3 state=LINECALLSTATE_CONNECTED timeout=5000
wait LINE_CALLINFO callName=c1 timeout=5000
callinfo c3
callinfo c1
# The slot is free again ("EMP") on each of the three lines.
wait LINE_DEVSPECIFIC param1=18 param3=0x454D50 timeout=5000
wait LINE_DEVSPECIFIC param1=18 param3=0x454D50 timeout=5000
wait LINE_DEVSPECIFIC param1=18 param3=0x454D50 timeout=5000
)",
     {},
     {{"c1", {"RINGBACK", "info CALLEDID", "CONNECTED", "info CONNECTEDID"}},
      {"c2", {"OFFERING", "info CALLERID", "CONNECTED", "info CONNECTEDID", "IDLE"}},
      {"c3", {"CONNECTED", "info CALLEDID|CONNECTEDID"}}},
     {{"101", {parkSlot(" 801", "OCC"), parkSlot(" 801", "EMP")}},
      {"102", {parkSlot(" 801", "OCC"), parkSlot(" 801", "EMP")}},
      {"103", {parkSlot(" 801", "OCC"), parkSlot(" 801", "EMP")}}},
     {{"callstatus c1", R"({"stateName":"LINECALLSTATE_CONNECTED"})"},
      {"callinfo c3", R"({"connectedId":"101","connectedIdName":"STA101",
                         "reasonName":"LINECALLREASON_UNPARK"})"},
      {"callinfo c1", R"({"connectedId":"103","connectedIdName":"STA103"})"}}},

    // 102 forwards to the voice unit: 101's call goes to the voice mailbox
    // (227). Forwarding off, the next call rings 102 again.
    {"ForwardToTheVoiceUnitAndBack",
     R"(open 101
open 102
forward 102 uncond dvu
wait LINE_DEVSPECIFIC param1=6 timeout=5000
make 101 102 as c1
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_CONNECTED timeout=5000
callinfo c1
drop c1
wait LINE_CALLSTATE callName=c1 state=LINECALLSTATE_IDLE timeout=5000
forward 102 off
wait LINE_ADDRESSSTATE timeout=5000
make 101 102 as c2
wait LINE_CALLSTATE state=LINECALLSTATE_OFFERING timeout=5000 as in
drop c2
wait LINE_CALLSTATE callName=in state=LINECALLSTATE_IDLE timeout=5000
forward 102 busyna DVU
wait LINE_DEVSPECIFIC param1=6 timeout=5000
forward 102 off
wait LINE_ADDRESSSTATE timeout=5000
)",
     {},
     {{"c1", {"RINGBACK", "info CALLEDID", "CONNECTED", "IDLE"}},
      {"c2", {"RINGBACK", "info CALLEDID", "IDLE"}},
      {"in", {"OFFERING", "info CALLERID", "IDLE"}}},
     {{"102",
       {"ADDRESSSTATE FORWARD", "DEVSPECIFIC 6,2,1", "ADDRESSSTATE FORWARD", "ADDRESSSTATE FORWARD",
        "DEVSPECIFIC 6,2,4", "ADDRESSSTATE FORWARD"}}},
     {{"callinfo c1", R"({"calledId":"227","calledIdName":"STA227"})"}}},

    // The device-specific status reports. 101 (index 2) goes to status 5 at
    // the PBX; the all-station status then shows it beside 100 (index 1),
    // still idle.
    {"AllStationStatusAfterAChange",
     R"(open 101
wait LINE_DEVSPECIFIC param1=11 timeout=5000
devspecific 101 text all_sta_status
wait LINE_DEVSPECIFIC param1=1 param2=4 timeout=5000
addressstatus 101
)",
     {{R"({"command":"open","target":"101"})", "status station 2 5"}},
     {},
     {{"101", {"DEVSPECIFIC 11,5,0", "DEVSPECIFIC 1,4,0"}}},
     {{"addressstatus", R"({"/blocks/0/block":"STA_STATUS",
                            "/blocks/0/stations/0":{"index":1,"status":1},
                            "/blocks/0/stations/1":{"index":2,"status":5},
                            "/blocks/0/stations/127":{"index":128,"status":1},
                            "/blocks/1":"<missing>"})"}}},

    // 101 sends 102 a short message: 102 is told, and its address status
    // holds the message once.
    {"ShortMessageBetweenStations",
     R"(open 101
open 102
devspecific 101 text sms/w/ 102/Lunch at one?
wait LINE_REPLY request=devspecific timeout=5000
wait LINE_DEVSPECIFIC param1=34 timeout=5000
addressstatus 102
addressstatus 102
)",
     {},
     {},
     {{"102", {"DEVSPECIFIC 34,0,0"}}},
     {{"addressstatus", R"({"/blocks/0":{"block":"SMS_MESSAGE","sender":"101","text":"Lunch at one?"}})"},
      {"addressstatus", R"({"/blocks":"<missing>"})"}}},

    // The PBX reports its ten park slots (801-810, all free) before it
    // accepts; the block lists their numbers.
    {"ParkNumbers",
     R"(open 101
devspecific 101 text all_park_num
wait LINE_DEVSPECIFIC param1=1 param2=11 timeout=5000
addressstatus 101
)",
     {},
     {},
     {{"101", {parkSlot(" 801", "EMP"), parkSlot(" 802", "EMP"), parkSlot(" 803", "EMP"),
               parkSlot(" 804", "EMP"), parkSlot(" 805", "EMP"), parkSlot(" 806", "EMP"),
               parkSlot(" 807", "EMP"), parkSlot(" 808", "EMP"), parkSlot(" 809", "EMP"),
               parkSlot(" 810", "EMP"), "DEVSPECIFIC 1,11,0"}}},
     {{"addressstatus", R"({"/blocks/0/block":"ALL_PARK_NUM",
                            "/blocks/0/parks/0":{"slot":1,"number":"801"},
                            "/blocks/0/parks/9":{"slot":10,"number":"810"},
                            "/blocks/0/parks/10":"<missing>"})"}}},

    // A programmable button of 101 set to station 102 reads back as type
    // '!' (33) and 102; one never written reads as no type (32).
    {"ProgrammableButtonWrittenAndRead",
     R"(open 101
devspecific 101 text flex_btn_write/005/!/102
wait LINE_REPLY request=devspecific timeout=5000
devspecific 101 text flex_btn_read/5
wait LINE_DEVSPECIFIC param1=33 timeout=5000
devspecific 101 text flex_btn_read/6
wait LINE_DEVSPECIFIC param1=33 param2=32 timeout=5000
)",
     {},
     {},
     {{"101", {"DEVSPECIFIC 33,33,102", "DEVSPECIFIC 33,32,0"}}},
     {}},
};

// ---- the processes -----------------------------------------------------------

// One command on the simulator's control socket; its answer line ("ok ..."
// or "error: ..."), or what went wrong on the way.
std::string controlCommand(const std::filesystem::path& socketPath, const std::string& command) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return "no socket";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    std::string answer;
    const std::string line = command + "\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        answer = "cannot connect to " + socketPath.string();
    } else if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        answer = "cannot send";
    } else {
        const auto deadline = Clock::now() + 5s;
        while (answer.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
        if (const auto end = answer.find('\n'); end != std::string::npos) answer.resize(end);
    }
    ::close(fd);
    return answer;
}

// `tapicmd run -f SCRIPT` as a child process with the environment of the
// test and `variables` on top; standard output read line by line, standard
// error into a file. The child dies with the test process and is killed
// when the object goes.
class ClientRun {
public:
    ClientRun(const std::filesystem::path& script, const std::map<std::string, std::string>& variables,
              const std::filesystem::path& errors) {
        std::vector<std::string> args = {TAPICMD_EXECUTABLE, "run", "-f", script.string()};
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!variables.contains(entry.substr(0, entry.find('=')))) env.push_back(entry);
        }
        for (const auto& [name, value] : variables) env.push_back(name + "=" + value);
        // Built before the fork: the child only calls what is safe there.
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            ::dup2(out[1], STDOUT_FILENO);
            if (err >= 0) ::dup2(err, STDERR_FILENO);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (err >= 0) ::close(err);
        if (m_pid > 0) {
            m_out = out[0];
        } else {
            ::close(out[0]);
        }
    }
    ~ClientRun() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) ::close(m_out);
    }
    ClientRun(const ClientRun&) = delete;
    ClientRun& operator=(const ClientRun&) = delete;

    bool started() const { return m_pid > 0 && m_out >= 0; }

    // The next line of output; nullopt once the output ended or at `deadline`.
    std::optional<std::string> line(Clock::time_point deadline) {
        while (m_out >= 0) {
            if (const auto end = m_pending.find('\n'); end != std::string::npos) {
                std::string text = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return text;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{m_out, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) return std::nullopt;
            m_pending.append(buffer, static_cast<std::size_t>(n));
        }
        return std::nullopt;
    }

    // The exit code once the client ended by itself; -1 when it had to be
    // killed at `deadline` or died of a signal.
    int exitCode(Clock::time_point deadline) {
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
        }
        if (done == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        return done != 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

// ---- what the client printed -------------------------------------------------

// Every field of `fields` is in `object` with the same value.
bool hasFields(const json& object, const json& fields) {
    if (!object.is_object()) return false;
    for (const auto& [key, value] : fields.items()) {
        if (!object.contains(key) || object[key] != value) return false;
    }
    return true;
}

std::string withoutPrefix(const std::string& name, std::string_view prefix) {
    return name.starts_with(prefix) ? name.substr(prefix.size()) : name;
}

struct Seen {
    std::map<std::string, Events> calls;
    std::map<std::string, Events> lines;
    // The objects callinfo and callstatus printed, in order.
    std::vector<json> reports;
    // Requests that did not complete with 0.
    std::vector<std::string> failedReplies;
};

Seen summarise(const std::vector<json>& printed) {
    // A message is about a call by its handle and about a line by the handle
    // "open" printed; the script named every call it saw, though the
    // message that first showed it may have come before the name.
    std::map<std::uint64_t, std::string> callNames;
    std::map<std::uint64_t, std::string> stations;
    for (const json& j : printed) {
        if (j.contains("call") && j.contains("callName") && j["call"].is_number()) {
            callNames.emplace(j["call"].get<std::uint64_t>(), j["callName"].get<std::string>());
        }
        if (j.value("command", "") == "open" && j.contains("line")) {
            stations[j["line"].get<std::uint64_t>()] = j.value("target", "");
        }
    }
    Seen seen;
    int unnamed = 0;
    for (const json& j : printed) {
        if (j.contains("command")) {
            const std::string command = j["command"];
            if (command == "callinfo" || command == "callstatus" || command == "addressstatus") {
                seen.reports.push_back(j);
            }
            continue;
        }
        const std::string message = j.value("message", "");
        const std::uint64_t device = j.value("hDevice", std::uint64_t{0});
        if (message == "LINE_CALLSTATE" || message == "LINE_CALLINFO") {
            auto name = callNames.find(device);
            if (name == callNames.end()) {
                name = callNames.emplace(device, "unnamed" + std::to_string(++unnamed)).first;
            }
            std::string event;
            if (message == "LINE_CALLSTATE") {
                event = withoutPrefix(j.value("state", "?"), "LINECALLSTATE_");
            } else {
                event = "info";
                char separator = ' ';
                for (const auto& flag : j.value("infoStates", json::array())) {
                    event += separator + withoutPrefix(flag.get<std::string>(), "LINECALLINFOSTATE_");
                    separator = '|';
                }
            }
            seen.calls[name->second].push_back(event);
        } else if (message == "LINE_REPLY") {
            if (j.value("result", 0) != 0) seen.failedReplies.push_back(j.dump());
        } else {
            const std::uint64_t p1 = j.value("param1", std::uint64_t{0});
            const std::uint64_t p2 = j.value("param2", std::uint64_t{0});
            const std::uint64_t p3 = j.value("param3", std::uint64_t{0});
            // Every line reports its station's port value when it opens.
            constexpr std::uint64_t kPortValue = 32;
            if (message == "LINE_DEVSPECIFIC" && p1 == kPortValue) continue;
            const auto station = stations.find(device);
            const std::string where = station == stations.end() ? "?" : station->second;
            std::string event;
            if (message == "LINE_ADDRESSSTATE") {
                event = p2 == LINEADDRESSSTATE_FORWARD ? "ADDRESSSTATE FORWARD"
                                                       : "ADDRESSSTATE " + std::to_string(p2);
            } else {
                event = withoutPrefix(message, "LINE_") + " " + std::to_string(p1) + "," +
                        std::to_string(p2) + "," + std::to_string(p3);
            }
            seen.lines[where].push_back(event);
        }
    }
    return seen;
}

// ---- the test ----------------------------------------------------------------

class CallFlowTest : public ::testing::TestWithParam<Flow> {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.path().empty());
        // The layer finds the provider by the absolute path it was built at.
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "NumProviders", 1));
        ASSERT_TRUE(m_registry.writeString(Hive::LocalMachine, kProvidersKey, "ProviderFileName0",
                                           VELKORSP_MODULE));
        ASSERT_TRUE(m_registry.writeDword(Hive::LocalMachine, kProvidersKey, "ProviderID0", 1));

        const std::uint32_t local = link::testing::uniqueLoopbackPair();
        const std::uint32_t pbx = local + 1;
        m_sim.emplace(PBXSIM_EXECUTABLE,
                      std::vector<std::string>{"--config", std::string(PBXSIM_EXAMPLES_DIR) + "/" + kExample,
                                               "--address", platform::formatIpv4Address(pbx), "--peer",
                                               platform::formatIpv4Address(local), "--no-stdin", "--control",
                                               m_control.string(), "--log", m_log.string()});
        ASSERT_TRUE(m_sim->started());
        ASSERT_TRUE(m_sim->line().starts_with("udp: "));
        const std::string ready = m_sim->line();
        ASSERT_TRUE(ready.starts_with("ready: model 90")) << ready;
        ASSERT_TRUE(writeSetting("CommunicationMethod", 2));
        ASSERT_TRUE(writeSetting("VELKORIPAddress", pbx));
        ASSERT_TRUE(writeSetting("LocalIPAddress", local));
    }

    bool writeSetting(std::string_view name, std::uint32_t value) {
        return m_registry.writeDword(Hive::LocalMachine, config::kProviderKey, name, value);
    }

    // Runs the flow's script, sending the far side's commands as their
    // moments come; the exit code and every object printed.
    int run(const Flow& flow, std::vector<json>& printed, std::vector<std::string>& problems) {
        const std::filesystem::path script = m_folder.path() / "flow.txt";
        std::ofstream(script) << flow.script;
        ClientRun client(script, {{"VELKOR_REGISTRY_DIR", (m_folder.path() / "registry").string()}},
                         m_errors);
        if (!client.started()) {
            problems.push_back("tapicmd did not start");
            return -1;
        }
        std::vector<std::pair<json, std::string>> farSide;
        for (const FarSide& f : flow.farSide) farSide.emplace_back(json::parse(f.after), f.command);
        std::size_t next = 0;
        const auto deadline = Clock::now() + kRunLimit;
        while (const auto line = client.line(deadline)) {
            json object = json::parse(*line, nullptr, false);
            if (object.is_discarded()) {
                problems.push_back("not JSON: " + *line);
                continue;
            }
            printed.push_back(object);
            if (next < farSide.size() && hasFields(object, farSide[next].first)) {
                const std::string answer = controlCommand(m_control, farSide[next].second);
                if (!answer.starts_with("ok")) problems.push_back(farSide[next].second + ": " + answer);
                ++next;
            }
        }
        for (; next < farSide.size(); ++next) problems.push_back("never sent: " + farSide[next].second);
        return client.exitCode(deadline + 5s);
    }

    // What went on, for a failure message: the client's output and errors,
    // then the frames the simulator saw.
    std::string transcript(const std::vector<json>& printed) {
        std::string out = "tapicmd printed:\n";
        for (const json& j : printed) out += "  " + j.dump() + "\n";
        std::ifstream errors(m_errors);
        std::stringstream text;
        text << errors.rdbuf();
        if (!text.str().empty()) out += "tapicmd errors:\n" + text.str();
        std::vector<LoggedFrame> frames = readFrameLog(m_log);
        // The start-up is the same for every flow.
        std::erase_if(frames, [](const LoggedFrame& f) {
            constexpr std::uint16_t kSystemIndex = 0xFFFF;
            return f.atd || f.station == kSystemIndex;
        });
        return out + "frames to and from the stations:\n" + framesText(frames);
    }

    testing::TempFolder m_folder{"velkor-flow"};
    platform::Registry m_registry{m_folder.path() / "registry"};
    std::filesystem::path m_log = m_folder.path() / "frames.log";
    std::filesystem::path m_control = m_folder.path() / "pbx.sock";
    std::filesystem::path m_errors = m_folder.path() / "tapicmd.err";
    std::optional<testing::SimProcess> m_sim;
};

TEST_P(CallFlowTest, BothSidesSeeTheFlow) {
    const Flow& flow = GetParam();
    std::vector<json> printed;
    std::vector<std::string> problems;
    const int exitCode = run(flow, printed, problems);
    SCOPED_TRACE(transcript(printed));
    // Every command worked and every wait saw its message.
    ASSERT_EQ(exitCode, 0);
    EXPECT_EQ(problems, std::vector<std::string>{});

    const Seen seen = summarise(printed);
    EXPECT_EQ(seen.failedReplies, std::vector<std::string>{});
    for (const auto& [name, events] : flow.calls) {
        const auto it = seen.calls.find(name);
        EXPECT_EQ(it == seen.calls.end() ? Events{} : it->second, events) << "call " << name;
    }
    for (const auto& [name, events] : seen.calls) {
        EXPECT_TRUE(flow.calls.contains(name)) << "a call the flow does not expect: " << name;
    }
    EXPECT_EQ(seen.lines, flow.lines);

    ASSERT_EQ(seen.reports.size(), flow.reports.size());
    for (std::size_t i = 0; i < flow.reports.size(); ++i) {
        const json& got = seen.reports[i];
        const json fields = json::parse(flow.reports[i].fields);
        std::string what = got.value("command", "");
        if (got.contains("callName")) what += " " + got["callName"].get<std::string>();
        EXPECT_EQ(what, flow.reports[i].command);
        EXPECT_EQ(got.value("result", -1), 0) << flow.reports[i].command;
        // A field is a member name, or a JSON pointer ("/blocks/0/block")
        // into what was printed.
        json differing = json::object();
        for (const auto& [key, value] : fields.items()) {
            if (key.starts_with("/")) {
                const json::json_pointer at(key);
                differing[key] = got.contains(at) ? got[at] : json("<missing>");
            } else {
                differing[key] = got.contains(key) ? got[key] : json("<missing>");
            }
        }
        EXPECT_EQ(differing, fields) << flow.reports[i].command;
    }
}

INSTANTIATE_TEST_SUITE_P(Flows, CallFlowTest, ::testing::ValuesIn(kFlows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor::tsp_testing
