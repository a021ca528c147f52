#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include "platform/ConsoleArguments.h"
#include "platform/windows/WideString.h"

// The narrow argv holds the arguments in the ANSI code page, where a Croatian letter outside it
// is already lost: the wide command line is the only exact source. The console's output code
// page becomes UTF-8 so the program's UTF-8 texts show as letters; input too, so an answer
// typed with a Croatian letter arrives as UTF-8 like every other text.
std::vector<std::string> ConsoleArguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Out of memory at start: the narrow arguments are the best there is.
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    args.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
    LocalFree(wide);
    return args;
}
