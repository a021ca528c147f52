#pragma once

#include "platform/IView.h"

// Empties and hides the running log, hides the four byte counters and sets both numbers back
// to "0", as the window shows them before a download.
void ResetProgressDisplay(IView& view);

// Shows the four byte counters, in order, painting each.
void ShowByteCounters(IView& view);
