#pragma once

#include "platform/IView.h"
#include "driver/UpgradeDriver.h"

// A click of the window programs runs a whole upgrade step. The driver and the phases report
// their failures themselves; anything that still escapes must not unwind through the window
// system's message dispatch, so it is shown, logged (through the view) and ends the program
// here with the error status.
void RunClick(UpgradeDriver& driver, IView& view, int index);
