#pragma once

#include <functional>
#include <string>

#include "run/RunLog.h"

// The window programs' last line of defence. What escapes their start (the window cannot be
// made) or their message loop would otherwise end the program through the runtime's abort:
// status 3, no box, no line in the run log. Here it is written to the run log, shown in an
// error box that has no owner (there may be no window), and the program ends with status 1.
//
// program: the window program's whole run, returning its exit status.
// showError: shows a text in an error box titled with the program's box title.
int RunGuarded(RunLog& log, const std::function<int()>& program,
               const std::function<void(const std::string& text)>& showError);

// The box's text for a failure's description.
std::string StartupFailureText(const std::string& description);
