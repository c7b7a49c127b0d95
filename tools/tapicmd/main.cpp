// tapicmd: drives telephony lines from a terminal or a script.
//
//   tapicmd lines            one line per line device: ID, a tab, its name
//   tapicmd run [-f FILE]    commands from standard input (or FILE), results
//                            and messages as JSON lines

#include <fstream>
#include <iostream>

#include "tapi_names.h"
#include "tools/tapicmd/command_runner.h"

using velkor::tapicmd::CommandRunner;
using velkor::tapicmd::Session;

namespace {

constexpr const char* kUsage =
    "usage: tapicmd lines\n"
    "       tapicmd run [-f FILE]\n";

int initialize(Session& session) {
    const LONG result = session.initialize();
    if (result != 0) {
        const char* name = tapiResultName(result);
        std::cerr << "tapicmd: lineInitializeEx failed: " << (name ? name : "?") << '\n';
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "lines" && argc == 2) {
        Session session;
        if (initialize(session) != 0) return 1;
        for (const auto& device : session.lines()) {
            std::cout << device.deviceId << '\t' << device.name << '\n';
        }
        return 0;
    }
    if (verb == "run" && (argc == 2 || (argc == 4 && std::string(argv[2]) == "-f"))) {
        std::ifstream file;
        if (argc == 4) {
            file.open(argv[3]);
            if (!file) {
                std::cerr << "tapicmd: cannot read " << argv[3] << '\n';
                return 1;
            }
        }
        Session session;
        if (initialize(session) != 0) return 1;
        CommandRunner runner(session, std::cout);
        return runner.run(argc == 4 ? static_cast<std::istream&>(file) : std::cin);
    }
    std::cerr << kUsage;
    return 2;
}
