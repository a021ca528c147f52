#pragma once

#include <string>

#include "platform/IView.h"
#include "run/RunLog.h"
#include "run/WindowState.h"

// What the driver and the phases share for the life of the program: the window, its state,
// the run log and the program-wide texts.
struct UpgradeContext {
    IView& view;
    WindowState& state;
    RunLog& log;
    std::string programFolder;  // native path of the folder that holds the running program
    std::string settingsName;   // set when the window loads
};
