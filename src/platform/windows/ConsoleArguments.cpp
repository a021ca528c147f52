#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cstdlib>
#include <iostream>
#include <utility>

#include "platform/ConsoleArguments.h"
#include "platform/windows/ConsoleLineBuffer.h"
#include "common/Utf16.h"

namespace {

// The console's code pages as the program found them; 0 where the program did not change one.
UINT gFoundOutputCodePage = 0;
UINT gFoundInputCodePage = 0;

// The console's code pages become UTF-8 (input too, so an answer typed with a Croatian letter
// arrives as UTF-8 like every other text); what they were is put back on the way out, as the
// console outlives the program (the window it was started from).
void UseUtf8CodePages() {
    const UINT output = GetConsoleOutputCP();
    if (output != 0 && output != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        gFoundOutputCodePage = output;
    }
    const UINT input = GetConsoleCP();
    if (input != 0 && input != CP_UTF8 && SetConsoleCP(CP_UTF8)) gFoundInputCodePage = input;
}

// A stream whose handle is a console gets whole lines as UTF-16 (ConsoleLineBuffer); one that is
// a pipe or a file keeps writing the UTF-8 bytes. The buffers are never freed: the runtime
// flushes the standard streams after every static object is gone.
void UseConsoleLines(std::ostream& stream, DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (!IsConsole(handle)) return;
    stream.flush();
    stream.rdbuf(new ConsoleLineBuffer(handle));
    // Standard error flushes after every insertion; on a console its lines go out whole, and a
    // question is flushed by the code that asks it.
    stream.unsetf(std::ios::unitbuf);
}

void AtExit() {
    std::cout.flush();
    std::cerr.flush();
    RestoreConsole();
}

}  // namespace

// The narrow argv holds the arguments in the ANSI code page, where a Croatian letter outside it
// is already lost: the wide command line is the only exact source.
std::vector<std::string> ConsoleArguments(int argc, char** argv) {
    UseUtf8CodePages();
    UseConsoleLines(std::cout, STD_OUTPUT_HANDLE);
    UseConsoleLines(std::cerr, STD_ERROR_HANDLE);
    std::atexit(&AtExit);
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

void RestoreConsole() {
    if (gFoundOutputCodePage != 0) SetConsoleOutputCP(std::exchange(gFoundOutputCodePage, 0));
    if (gFoundInputCodePage != 0) SetConsoleCP(std::exchange(gFoundInputCodePage, 0));
}
