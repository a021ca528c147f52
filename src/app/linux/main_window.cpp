// velmora-upgrade: the window program. It takes no arguments: everything it needs is in its own
// folder (Tarvik.exe, Tarvik_Upg.Upg) and in the main program's settings.
#include <string>

#include <QApplication>

#include "common/Paths.h"
#include "platform/ProgramFolder.h"
#include "platform/qt/FrmGlavna.h"
#include "platform/qt/GuiThreadView.h"
#include "platform/qt/QtEnvironment.h"
#include "platform/qt/QtMessageBox.h"
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
    GuiThreadView guiView(window, window);
    LoggingView view(guiView, log);
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
    const int status = QApplication::exec();
    log.Write("end", "exit status " + std::to_string(status));
    return status;
}

}  // namespace

int main(int, char** argv) {
    PrepareQtEnvironment();
    // The program takes no arguments; Qt is not shown any either (its settings come from the
    // environment, such as QT_QPA_PLATFORM).
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const std::string folder = ExecutableFolder();
    RunLog log(RunLogPlace(folder));
    return RunGuarded(
        log, [&] { return RunWindow(folder, log); },
        [](const std::string& text) {
            // No parent: the window may not exist, or be the cause.
            ShowQtMessageBox(nullptr, text, MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
        });
}
