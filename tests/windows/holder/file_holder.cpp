// velmora-test-holder.exe: the other program of the Windows tests, run under Wine beside the
// programs under test.
//
//   velmora-test-holder.exe hold PATH none|read-write SECONDS
//       opens the file as a virus scanner (read-write: sharing reading and writing, not
//       deleting) or a program that keeps it to itself (none) does, prints "held", lets go
//       after SECONDS (0: once a line or the end of standard input comes) and prints "released"
//   velmora-test-holder.exe run SECONDS
//       prints "running" and waits as hold does: copied as Tarvik.exe, it is a running
//       program's image
//   velmora-test-holder.exe short PATH
//       prints the short (8.3) form of an existing path
//   velmora-test-holder.exe probe TITLE SECONDS
//       waits (up to a minute) for the top-level window of that exact title, then asks it every
//       tenth of a second for SECONDS whether it answers, as Windows does before it calls a
//       window "(Not Responding)": prints "answered N, longest M ms" and 0, or where it stopped
//       answering within 2 s and 1 (2: no such window)
//
// Its version resource is Tarvik 3.0.2's, so a copy of it passes for that program.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "Utf8.h"

namespace {

std::wstring Argument(int index) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring value = arguments != nullptr && index < count ? arguments[index] : L"";
    LocalFree(arguments);
    return value;
}

void Say(const std::wstring& text) {
    const std::string bytes = Utf8(text + L"\n");
    DWORD written = 0;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    FlushFileBuffers(out);
}

void Wait(const std::wstring& seconds) {
    const unsigned long value = std::wcstoul(seconds.c_str(), nullptr, 10);
    if (value != 0) {
        Sleep(static_cast<DWORD>(value * 1000));
        return;
    }
    char c = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    }
}

int Hold() {
    const std::wstring path = Argument(2);
    const DWORD share =
        Argument(3) == L"none" ? DWORD{0} : DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE};
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Say(L"cannot open: " + std::to_wstring(GetLastError()));
        return 1;
    }
    Say(L"held");
    Wait(Argument(4));
    CloseHandle(file);
    Say(L"released");
    return 0;
}

int Short() {
    const std::wstring path = Argument(2);
    std::wstring shortPath(32768, L'\0');
    const DWORD length =
        GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length == 0 || length >= shortPath.size()) {
        Say(L"no short form: " + std::to_wstring(GetLastError()));
        return 1;
    }
    shortPath.resize(length);
    Say(shortPath);
    return 0;
}

int Probe() {
    const std::wstring title = Argument(2);
    const ULONGLONG seconds = std::wcstoul(Argument(3).c_str(), nullptr, 10);
    HWND window = nullptr;
    for (int attempt = 0; attempt < 600 && !window; ++attempt) {
        window = FindWindowW(nullptr, title.c_str());
        if (!window) Sleep(100);
    }
    if (!window) {
        Say(L"no window titled " + title);
        return 2;
    }
    // Windows reports a window hung once it has left its messages unread for 5 s; 2 s is
    // strict enough to tell a served window from one whose thread waits, and lenient to a
    // loaded machine.
    constexpr UINT kAnswerLimitMs = 2000;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG longest = 0;
    int answered = 0;
    while (GetTickCount64() - start < seconds * 1000 && IsWindow(window)) {
        const ULONGLONG asked = GetTickCount64();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                 kAnswerLimitMs, &result)) {
            Say(L"no answer within 2000 ms after " + std::to_wstring(asked - start) + L" ms (" +
                std::to_wstring(GetLastError()) + L")");
            return 1;
        }
        longest = std::max(longest, GetTickCount64() - asked);
        ++answered;
        Sleep(100);
    }
    Say(L"answered " + std::to_wstring(answered) + L", longest " + std::to_wstring(longest) +
        L" ms");
    return 0;
}

}  // namespace

int main() {
    const std::wstring command = Argument(1);
    if (command == L"hold") return Hold();
    if (command == L"short") return Short();
    if (command == L"probe") return Probe();
    if (command == L"run") {
        Say(L"running");
        Wait(Argument(2));
        return 0;
    }
    Say(L"usage: velmora-test-holder.exe hold PATH none|read-write SECONDS | run SECONDS | "
        L"short PATH | probe TITLE SECONDS");
    return 2;
}
