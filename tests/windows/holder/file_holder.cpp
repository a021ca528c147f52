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
//
// Its version resource is Tarvik 3.0.2's, so a copy of it passes for that program.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Argument(int index) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring value = arguments != nullptr && index < count ? arguments[index] : L"";
    LocalFree(arguments);
    return value;
}

void Say(const std::wstring& text) {
    const std::wstring line = text + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(),
                        size, nullptr, nullptr);
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

}  // namespace

int main() {
    const std::wstring command = Argument(1);
    if (command == L"hold") return Hold();
    if (command == L"short") return Short();
    if (command == L"run") {
        Say(L"running");
        Wait(Argument(2));
        return 0;
    }
    Say(L"usage: velmora-test-holder.exe hold PATH none|read-write SECONDS | run SECONDS | "
        L"short PATH");
    return 2;
}
