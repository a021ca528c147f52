#pragma once

#include <string>

// The state fields of the main window that the driver and the two phases read and write.
// All start empty or false when the window is created.
struct WindowState {
    std::string versionLabel;
    std::string programVersion;
    bool busy = false;              // a download is in progress
    bool cancelRequested = false;   // "&Odustani" was pressed during a download
    bool endAfterInstall = false;   // the installed cabinet held fewer than 3 files
    bool reinstallChosen = false;   // the user chose to reinstall the latest version
};
