#include "shell/AppPhases.h"

void RunAppDatabaseUpgrade(UpgradeContext& context) {
    context.log.Write("phase", "database upgrade is not available in this build");
    context.view.EndProgram(1);
}
