#pragma once

#include <string>
#include <string_view>

namespace velkor::pbxsim {

class Pbx;

struct ControlReply {
    bool ok = true;
    // "ok ..." or "error: ..."; one line, or several for "help".
    std::string text;
    bool quit = false;
};

// The commands that steer a running PBX, one per line, from standard input
// or the control socket. A bad command is answered with an error that says
// what was expected; it never changes anything.
ControlReply executeControl(Pbx& pbx, std::string_view line);

// The command summary "help" prints.
std::string_view controlHelp();

}  // namespace velkor::pbxsim
