#include "shell/AppPhases.h"

bool RunAppOnlineUpdate(UpgradeContext& context) {
    context.log.Write("phase", "online update is not available in this build");
    return false;
}
