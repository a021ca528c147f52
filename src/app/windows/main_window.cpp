// velmora-upgrade.exe: the window program. It takes no arguments: everything it needs is in its
// own folder (Tarvik.exe, Tarvik_Upg.Upg) and in the main program's settings.
#include <windows.h>

#include <string>

#include "common/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/win32/FrmGlavna.h"
#include "platform/win32/UiThreadView.h"
#include "platform/win32/Win32MessageBox.h"
#include "run/RunTexts.h"
#include "driver/CloseRequest.h"
#include "run/LoggingView.h"
#include "app/RunLogPlace.h"
#include "app/MakeUpgradePhases.h"
#include "driver/RunClick.h"
#include "driver/StartupGuard.h"
#include "driver/UpgradeDriver.h"

namespace {

int RunWindow(const std::string& folder, RunLog& log) {
    FrmGlavna window(run_text::kWindowTitle, run_text::kAppTitle);
    UiThreadView uiView(window);
    LoggingView view(uiView, log);
    WindowState state;
    UpgradeContext context{view, state, log, folder, {}};
    const auto phases = MakeUpgradePhases(context);
    UpgradeDriver driver(context, *phases);

    window.SetClickHandler([&](int index) { RunClick(driver, view, index); });
    window.SetCloseRequestHandler(
        [&](bool byProgram) { return GrantCloseRequest(byProgram, log); });

    log.Write("start", "window");
    driver.OnLoad();
    window.ShowCentred();
    const int status = window.RunUntilClosed();
    log.Write("end", "exit status " + std::to_string(status));
    return status;
}

}  // namespace

int main() {
    // The window scales itself from twips; without this Windows would stretch a 96-dpi bitmap
    // of it on a scaled screen. The manifest says the same where there is one.
    SetProcessDPIAware();
    const std::string folder = ExecutableFolder();
    RunLog log(RunLogPlace(folder));
    return RunGuarded(
        log, [&] { return RunWindow(folder, log); },
        [](const std::string& text) {
            // No owner: the window may not exist, or be the cause.
            ShowWin32MessageBox(nullptr, text, MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
        });
}
