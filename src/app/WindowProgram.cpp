#include "app/WindowProgram.h"

#include "app/MakeUpgradePhases.h"
#include "app/RunLogPlace.h"
#include "driver/CloseRequest.h"
#include "driver/RunClick.h"
#include "driver/StartupGuard.h"
#include "driver/UpgradeDriver.h"
#include "platform/ProgramFolder.h"
#include "run/LoggingView.h"
#include "run/RunTexts.h"

namespace {

int RunWindow(ProgramWindow& window, const std::string& folder, RunLog& log) {
    LoggingView view(window.View(), log);
    WindowState state;
    UpgradeContext context{view, state, log, folder, {}};
    const auto phases = MakeUpgradePhases(context);
    UpgradeDriver driver(context, *phases);

    window.SetClickHandler([&](int index) { RunClick(driver, view, index); });
    window.SetCloseRequestHandler(
        [&](bool byProgram) { return GrantCloseRequest(byProgram, log); });

    log.Write("start", "window");
    driver.OnLoad();
    const int status = window.ShowAndServe();
    log.Write("end", "exit status " + std::to_string(status));
    return status;
}

}  // namespace

int RunWindowProgram(
    const std::function<std::unique_ptr<ProgramWindow>(const std::string& windowTitle,
                                                       const std::string& appTitle)>& makeWindow,
    const std::function<void(const std::string& text, const std::string& boxTitle)>& showError) {
    const std::string folder = ExecutableFolder();
    RunLog log(RunLogPlace(folder));
    return RunGuarded(
        log,
        [&] {
            const auto window = makeWindow(run_text::kWindowTitle, run_text::kAppTitle);
            return RunWindow(*window, folder, log);
        },
        // No owner: the window may not exist, or be the cause.
        [&](const std::string& text) { showError(text, run_text::kBoxTitle); });
}
