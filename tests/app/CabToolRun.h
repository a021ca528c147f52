#pragma once

// velmora-cab run as a program by the tests of its commands: what it printed on each stream and
// its exit status.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/TempFolder.h"

struct CabToolResult {
    int status;
    std::string out;
    std::string err;
};

// `arguments` as the shell takes them; `environment` goes before the program ("LC_ALL=C ").
inline CabToolResult RunCabTool(const std::string& arguments, const TempFolder& temp,
                                const std::string& environment = "") {
    const std::string errFile = (temp.path() / "stderr.txt").string();
    const std::string command = environment + std::string(TEST_BINARY_DIR) + "/velmora-cab " +
                                arguments + " 2>'" + errFile + "'";
    CabToolResult r{-1, {}, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = TempFolder::Read(errFile);
    return r;
}
