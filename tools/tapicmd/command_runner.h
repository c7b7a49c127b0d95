#pragma once

#include <chrono>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tools/tapicmd/session.h"

namespace velkor::tapicmd {

// Runs the command language of `tapicmd run`: one command per line, every
// result and every message printed as one JSON object per line.
//
//   lines                               list the line devices
//   open <station|#id> [owner|monitor|none]
//   close <station|#id>
//   wait <MESSAGE> [field=value ...] [timeout=<ms>]
//   sleep <ms>
//   quit
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

    int lines(const Words& words);
    int open(const Words& words);
    int close(const Words& words);
    int wait(const Words& words);
    int sleep(const Words& words);
    int quit(const Words& words);

    // Prints every message that arrives within `timeoutMs`.
    void pump(DWORD timeoutMs);
    int fail(const std::string& command, const std::string& error, int code);

    Session& m_session;
    std::ostream& m_out;
    std::map<DWORD, HLINE> m_openLines;  // by device ID
    bool m_quit = false;
};

}  // namespace velkor::tapicmd
