#pragma once

#include "run/RunLog.h"

// A request to close the window: granted only when the program itself closes it; a refusal
// (the close box, Alt+F4, another program) is written to the run log. Both window programs
// answer their window's close requests with it.
bool GrantCloseRequest(bool byProgram, RunLog& log);
