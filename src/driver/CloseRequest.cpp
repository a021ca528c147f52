#include "driver/CloseRequest.h"

#include "driver/UpgradeDriver.h"

bool GrantCloseRequest(bool byProgram, RunLog& log) {
    const bool allowed =
        UpgradeDriver::MayClose(byProgram ? CloseOrigin::Program : CloseOrigin::User);
    if (!allowed) log.Write("close", "refused a request to close the window");
    return allowed;
}
