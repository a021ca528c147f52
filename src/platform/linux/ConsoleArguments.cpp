#include "platform/ConsoleArguments.h"

// A Linux terminal and the arguments are UTF-8 already.
std::vector<std::string> ConsoleArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

// ConsoleArguments changes nothing on Linux.
void RestoreConsole() {}
