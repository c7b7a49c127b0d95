#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "tools/tapicmd/session.h"

namespace velkor::tapicmd {

// Runs the command language of `tapicmd run`: one command per line, every
// result and every message printed as one JSON object per line. A line is
// named by its station number or "#<device ID>", a call by its handle or by
// a name the script gave it with "as <name>" (README, "tapicmd", lists
// every command).
//
//   lines | open <line> [owner|monitor|none] | close <line>
//   wait <MESSAGE> [field=value ...] [timeout=<ms>] [as <name>] | sleep <ms> | quit
//   make <line> [<destination>] [as <name>]    answer|accept|drop|hold|unhold <call>
//   swaphold <active> <held>    redirect|dial|blind-transfer <call> <destination>
//   transfer-setup <call> [as <consult>]
//   transfer-complete <call> <consult> [conference [as <conference>]]
//   conference-setup <call>|line <line> [<parties>] [as <conference> [<consult>]]
//   conference-prepare <conference> [as <consult>]
//   conference-add <conference> <call>    conference-remove <call>
//   park <call> [<destination>]    unpark <line> <destination> [as <name>]
//   pickup <line> [<destination>] [as <name>]
//   complete-call <call> <mode>    uncomplete-call <line> <completion ID>
//   forward <line> <mode> <destination>|off [as <consult>]
//   digits <call> <digits> [dtmf|pulse]    uui <call> <text>    uui-release <call>
//   calldata <call> <text>    deallocate <call>
//   callinfo <call>    callstatus <call>    devstatus <line>
//   addresscaps <line> [<address>]    addressstatus <line> [<address>]
//   getid <line>|call <call> [<device class>]
//   devspecific <line> <hex bytes>|text <text>
//   phone-open <phone>    phone-close <phone>
//   phone-set <phone> <setting text>    phone-get <phone> <data ID>
//
// A phone is named like a line, by station number or "#<phone device ID>".
//
// Blank lines and lines starting with '#' are skipped.
class CommandRunner {
public:
    // Exit codes of a run.
    static constexpr int kOk = 0;
    static constexpr int kBadCommand = 2;
    static constexpr int kWaitTimedOut = 3;
    static constexpr int kCommandFailed = 4;

    CommandRunner(Session& session, std::ostream& out);
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Runs every command of `in` until quit, the end, or a command that
    // fails; returns the exit code.
    int run(std::istream& in);
    // Runs one command line; returns kOk or the code that ends the run.
    int runLine(const std::string& line);

private:
    using Words = std::vector<std::string>;
    using Handler = int (CommandRunner::*)(const Words&);
    struct Command {
        const char* name;
        Handler handler;
        const char* usage;
    };
    static const std::vector<Command>& commands();

    // What a request the run started keeps until its LINE_REPLY: the calls
    // it names, where the layer writes the handles of the calls it
    // creates, and the blocks the layer or the provider write into.
    struct Pending {
        struct Created {
            std::string role;  // "call", "consult", "conference"
            std::string name;
            HCALL handle = 0;
        };
        std::string command;
        std::vector<std::string> names;
        std::array<Created, 2> created;
        std::size_t createdCount = 0;
        std::vector<std::uint8_t> block;
        bool parkAddress = false;  // block is the VARSTRING of a park
        bool hasCompletionId = false;
        DWORD completionId = 0;
    };
    class Request;

    int lines(const Words& words);
    int open(const Words& words);
    int close(const Words& words);
    int wait(const Words& words);
    int sleep(const Words& words);
    int quit(const Words& words);

    int make(const Words& words);
    int accept(const Words& words);
    int answer(const Words& words);
    int drop(const Words& words);
    int hold(const Words& words);
    int unhold(const Words& words);
    int swapHold(const Words& words);
    int redirect(const Words& words);
    int dial(const Words& words);
    int blindTransfer(const Words& words);
    int transferSetup(const Words& words);
    int transferComplete(const Words& words);
    int conferenceSetup(const Words& words);
    int conferencePrepare(const Words& words);
    int conferenceAdd(const Words& words);
    int conferenceRemove(const Words& words);
    int park(const Words& words);
    int unpark(const Words& words);
    int pickup(const Words& words);
    int completeCall(const Words& words);
    int uncompleteCall(const Words& words);
    int forward(const Words& words);
    int digits(const Words& words);
    int uui(const Words& words);
    int uuiRelease(const Words& words);
    int callData(const Words& words);
    int deallocate(const Words& words);
    int callInfo(const Words& words);
    int callStatus(const Words& words);
    int devStatus(const Words& words);
    int addressCaps(const Words& words);
    int addressStatus(const Words& words);
    int getId(const Words& words);
    int devSpecific(const Words& words);
    int phoneOpen(const Words& words);
    int phoneClose(const Words& words);
    int phoneSet(const Words& words);
    int phoneGet(const Words& words);

    // The shapes most call commands share: "<command> <call>", and
    // "<command> <call> <text>" with the text under `key`.
    int onCall(const Words& words, const std::function<LONG(HCALL)>& function);
    int onCallWithText(const Words& words, const char* key,
                       const std::function<LONG(HCALL, const std::string&)>& function);

    // Prints every message that arrives within `timeoutMs`.
    void pump(DWORD timeoutMs);
    // A message with what the run knows of it: call names, and for a
    // LINE_REPLY the request it ends.
    nlohmann::json describe(const LINEMESSAGE& message);
    void describeReply(nlohmann::json& out, DWORD requestId, LONG result);
    void print(const nlohmann::json& out);
    int fail(const std::string& command, const std::string& error, int code);
    std::string nameOf(HCALL call) const;

    Session& m_session;
    std::ostream& m_out;
    std::map<DWORD, HLINE> m_openLines;                   // by device ID
    std::map<DWORD, HPHONE> m_openPhones;                 // by phone device ID
    std::map<std::string, HCALL> m_callNames;             // names the script gave
    std::map<DWORD, std::unique_ptr<Pending>> m_pending;  // by request ID
    bool m_quit = false;
};

}  // namespace velkor::tapicmd
