#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/IView.h"

// The main window as the window program needs it, whatever its toolkit.
class ProgramWindow {
public:
    virtual ~ProgramWindow() = default;
    // The window's view, which work off the window's thread may use too.
    virtual IView& View() = 0;
    // index 0 is CmdAkcija(0), index 1 CmdAkcija(1).
    virtual void SetClickHandler(std::function<void(int index)> handler) = 0;
    // Asked on every request to close the window; byProgram is true only inside CloseWindow.
    virtual void SetCloseRequestHandler(std::function<bool(bool byProgram)> handler) = 0;
    // Shows the window centred and serves it until it is closed; the exit status.
    virtual int ShowAndServe() = 0;
};

// The window program: the run log in the program's folder, the window made by makeWindow
// (windowTitle, appTitle), the upgrade driven by its buttons, and a failure at startup shown by
// showError (text, boxTitle) with no window. Returns the exit status.
int RunWindowProgram(
    const std::function<std::unique_ptr<ProgramWindow>(const std::string& windowTitle,
                                                       const std::string& appTitle)>& makeWindow,
    const std::function<void(const std::string& text, const std::string& boxTitle)>& showError);
