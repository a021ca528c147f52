#pragma once

#include <functional>

#include "platform/IView.h"
#include "driver/UpgradeDriver.h"

// Runs one step of a run (a click, the console's whole run). The driver and the phases report
// their failures themselves; anything that still escapes must not unwind through the window
// system's message dispatch or out of main unseen, so it is shown, logged (through the view)
// and ends the program here with the error status.
void RunStep(IView& view, const std::function<void()>& step);

// A click of the window programs runs a whole upgrade step.
void RunClick(UpgradeDriver& driver, IView& view, int index);
