// velmora-upgrade-console: the upgrade run of the window program, as one press of "&Dobro",
// for machines without a desktop and for support staff.
//
//   velmora-upgrade-console                 the whole run: online update, then the databases
//   velmora-upgrade-console --database-only the database phase alone
//   velmora-upgrade-console --restore       puts back the program files of the latest backup
//                                           (undoes the latest installation), for support staff
//
// Exit status (run/ExitStatus.h): 0 finished successfully, 1 ended by an error, 2 nothing
// installed (the online phase failed, found nothing, or was declined or cancelled; the program
// folder is as before), 3 the databases were upgraded with errors, 64 a wrong command line.
#include <iostream>
#include <string>
#include <vector>

#include "app/AppPhases.h"
#include "app/MakeUpgradePhases.h"
#include "app/RunLogPlace.h"
#include "app/console/ConsoleView.h"
#include "driver/RunClick.h"
#include "driver/UpgradeDriver.h"
#include "platform/ConsoleArguments.h"
#include "platform/ProgramFolder.h"
#include "run/ExitStatus.h"
#include "run/LoggingView.h"

namespace {
int Usage() {
    std::cerr << "usage: velmora-upgrade-console [--database-only | --restore]\n";
    return exit_status::kUsage;
}
}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = ConsoleArguments(argc, argv);
    bool databaseOnly = false;
    bool restore = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--database-only") {
            databaseOnly = true;
        } else if (args[i] == "--restore") {
            restore = true;
        } else {
            return Usage();
        }
    }
    if (databaseOnly && restore) return Usage();
    const std::string folder = ExecutableFolder();
    RunLog log(RunLogPlace(folder));
    ConsoleView console(std::cin, std::cout, std::cerr);
    LoggingView view(console, log);
    WindowState state;
    UpgradeContext context{view, state, log, folder, {}};
    const auto phases = MakeUpgradePhases(context);
    UpgradeDriver driver(context, *phases);

    log.Write("start", databaseOnly ? "console, database phase only"
                       : restore    ? "console, restore of the latest backup"
                                    : "console");
    if (restore) {
        const int status = RestoreAppBackup(context) ? exit_status::kSuccess : exit_status::kError;
        log.Write("end", "exit status " + std::to_string(status));
        return status;
    }
    // The driver and the phases report their own failures; what still escapes is shown and
    // ends the run as an error, as the window program does.
    int status = exit_status::kError;
    RunStep(view, [&] {
        driver.OnLoad();
        if (databaseOnly) {
            phases->RunDatabaseUpgrade();
            // The phase ends the program itself; this is only a safety net.
            view.EndProgram(exit_status::kError);
        }
        driver.OnClick(0);
        // The run came back to the idle window: either a reinstall finished ("GOTOVO !!"),
        // or the online phase installed nothing.
        status = driver.FinishedReinstall() ? exit_status::kSuccess
                                            : exit_status::kNothingInstalled;
    });
    log.Write("end", "exit status " + std::to_string(status));
    return status;
}
