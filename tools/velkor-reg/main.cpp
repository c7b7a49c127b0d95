#include <iostream>

#include "tools/velkor-reg/reg_command.h"

int main(int argc, char** argv) {
    velkor::platform::Registry registry = velkor::platform::Registry::standard();
    return velkor::tools::runRegCommand(registry, std::vector<std::string>(argv + 1, argv + argc),
                                        std::cout, std::cerr);
}
