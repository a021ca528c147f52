#pragma once

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "support/TempFolder.h"

// Cabinets for the tests: real ones made with gcab at run time, and the committed fixtures
// (tests/support/make_cabinet_fixtures.py) for what gcab cannot make.
namespace cabtest {

inline std::string Fixture(const std::string& name) {
    return std::string(TEST_DATA_DIR) + "/cabinet/" + name;
}

// Writes the files below `sources` and packs them, in the order given, into `cabinet` with
// gcab; `mszip` selects MSZIP compression. Returns the cabinet's path.
inline std::string MakeGcabCabinet(const TempFolder& sources, const std::string& cabinet,
                                   std::initializer_list<std::pair<std::string, std::string>> files,
                                   bool mszip) {
    const auto quote = [](const std::string& text) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    std::string names;
    for (const auto& [name, bytes] : files) {
        sources.Write(name, bytes);
        names += " " + quote(name);
    }
    const std::string command = "cd " + quote(sources.str()) + " && gcab -c " +
                                (mszip ? "-z " : "") + quote(cabinet) + names + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
    return cabinet;
}

// Dates in the tests are formatted with the documented fallback formats, whatever the machine.
inline void UseFixedDateLocale() {
#ifdef _WIN32
    _putenv_s("LC_ALL", "C");
#else
    setenv("LC_ALL", "C", 1);
#endif
}

}  // namespace cabtest
