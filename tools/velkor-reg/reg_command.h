#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace velkor::tools {

// velkor-reg list [KEY]
// velkor-reg get KEY NAME
// velkor-reg set KEY NAME dword|string VALUE
// velkor-reg delete KEY [NAME]
//
// KEY starts with the hive name, e.g.
// HKEY_LOCAL_MACHINE\Software\Microsoft\PCApplication\VELKORSP. Returns the
// process exit code: 0 on success, 1 when the key or value does not exist or
// cannot be written, 2 for a command line that cannot be understood.
int runRegCommand(platform::Registry& registry, const std::vector<std::string>& args,
                  std::ostream& out, std::ostream& err);

}  // namespace velkor::tools
