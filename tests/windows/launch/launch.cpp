// velmora-test-launch.exe: starts a Windows program for the tests run from the Linux side and
// hands them its exit status as Windows gave it.
//
//   velmora-test-launch.exe STATUS-FILE PROGRAM [ARGUMENTS...]
//       runs PROGRAM with ARGUMENTS, this program's standard handles and console, waits for it,
//       writes its exit status in decimal to STATUS-FILE and ends with that status (1 and no
//       file when the program cannot be started)
//
// Why: Wine ends a program's Linux process with SIGKILL when it is still finishing on the Linux
// side (libraries' destructors: the ODBC driver, TLS, X11) half a second after its last Windows
// thread ended. The status the Linux side then sees is "killed", though the program ended with
// its own status, which Wine keeps. A loaded machine makes that half second common enough to
// fail a test now and then. What this program writes is the status Windows reports; a test
// reads the file and ignores how Wine's process of this program itself ended.
//
// The program runs in a job that ends it when this program's handles are closed, so a test
// that kills this program's process (a time-out) does not leave the program running.
#include <windows.h>

#include <string>

#include "Utf8.h"

namespace {

// One argument quoted so that the C runtime's parser of the started program gives it back
// unchanged: backslashes count only before a quote, so those are doubled.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// The standard handles as the started program's own: an inheritable copy of each.
HANDLE Inheritable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;  // none to hand on: the program gets none, as it would from Wine
    }
    return copy;
}

void Complain(const std::wstring& what) {
    const std::wstring text =
        L"velmora-test-launch: " + what + L" (" + std::to_wstring(GetLastError()) + L")\n";
    const std::string bytes = Utf8(text);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

// Written beside and then renamed, so a reader finds the whole number or no file.
bool WriteStatus(const std::wstring& path, DWORD status) {
    const std::string text = std::to_string(status);
    const std::wstring partial = path + L".partial";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                              nullptr) != 0 &&
                    written == text.size();
    CloseHandle(file);
    return ok && MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 3) {
        Complain(L"usage: velmora-test-launch.exe STATUS-FILE PROGRAM [ARGUMENTS...]");
        return 2;
    }
    const std::wstring statusFile = arguments[1];
    std::wstring commandLine;
    for (int i = 2; i < count; ++i) {
        commandLine += (i > 2 ? L" " : L"") + Quoted(arguments[i]);
    }
    LocalFree(arguments);

    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation,
                                                   &limits, sizeof limits)) {
        Complain(L"no job for the program");
        return 1;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so not one of its instructions runs outside it.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
        Complain(L"cannot start " + commandLine);
        return 1;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        Complain(L"cannot put the program in its job");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    if (!WriteStatus(statusFile, status)) {
        Complain(L"cannot write the status file " + statusFile);
        return 1;
    }
    return static_cast<int>(status);
}
