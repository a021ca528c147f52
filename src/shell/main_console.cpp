// velmora-upgrade-console: the upgrade run of the window program, as one press of "&Dobro",
// for machines without a desktop and for support staff.
//
//   velmora-upgrade-console                 the whole run: online update, then the databases
//   velmora-upgrade-console --database-only the database phase alone
//
// Exit status: 0 finished successfully, 1 ended by an error, 2 nothing installed (the online
// phase failed, found nothing, or was declined or cancelled).
#include <iostream>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/ConsoleArguments.h"
#include "platform/ProgramFolder.h"
#include "shell/AppTexts.h"
#include "shell/ConsoleView.h"
#include "shell/LoggingView.h"
#include "shell/MakeUpgradePhases.h"
#include "shell/UpgradeDriver.h"

namespace {
constexpr int kExitUsage = 64;
constexpr int kExitNothingInstalled = 2;

int Usage() {
    std::cerr << "usage: velmora-upgrade-console [--database-only]\n";
    return kExitUsage;
}
}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = ConsoleArguments(argc, argv);
    bool databaseOnly = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--database-only") {
            databaseOnly = true;
        } else {
            return Usage();
        }
    }
    const std::string folder = ExecutableFolder();
    RunLog log(JoinPath(folder, texts::kRunLogFileName));
    ConsoleView console(std::cin, std::cout, std::cerr);
    LoggingView view(console, log);
    WindowState state;
    UpgradeContext context{view, state, log, folder, {}};
    const auto phases = MakeUpgradePhases(context);
    UpgradeDriver driver(context, *phases);

    log.Write("start", databaseOnly ? "console, database phase only" : "console");
    std::string failure;
    try {
        driver.OnLoad();
        if (databaseOnly) {
            phases->RunDatabaseUpgrade();
            view.EndProgram(1);  // the phase ends the program itself; this is only a safety net
        }
        driver.OnClick(0);
        // The run came back to the idle window: either a reinstall finished ("GOTOVO !!"),
        // or the online phase installed nothing.
        if (driver.FinishedReinstall()) {
            log.Write("end", "exit status 0");
            return 0;
        }
        log.Write("end", "exit status 2");
        return kExitNothingInstalled;
    } catch (const AppError& e) {
        failure = std::to_string(e.number()) + "/" + e.description();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    // The driver and the phases report their own failures; what still escapes is shown and
    // ends the run as an error, as the window program does.
    view.ShowMessage(failure, MsgIcon::Error, MsgButtons::Ok, texts::kBoxTitle);
    view.EndProgram(1);
}
