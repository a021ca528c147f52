// velmora-upgrade.exe: the window program. It takes no arguments: everything it needs is in its
// own folder (Tarvik.exe, Tarvik_Upg.Upg) and in the main program's settings.
#include <windows.h>

#include <memory>
#include <string>

#include "app/WindowProgram.h"
#include "platform/win32/UiThreadView.h"
#include "platform/win32/Win32MainWindow.h"
#include "platform/win32/Win32MessageBox.h"

namespace {

class Win32ProgramWindow final : public ProgramWindow {
public:
    Win32ProgramWindow(const std::string& windowTitle, const std::string& appTitle)
        : window_(windowTitle, appTitle) {}

    IView& View() override { return view_; }
    void SetClickHandler(std::function<void(int)> handler) override {
        window_.SetClickHandler(std::move(handler));
    }
    void SetCloseRequestHandler(std::function<bool(bool)> handler) override {
        window_.SetCloseRequestHandler(std::move(handler));
    }
    int ShowAndServe() override {
        window_.ShowCentred();
        return window_.RunUntilClosed();
    }

private:
    Win32MainWindow window_;
    UiThreadView view_{window_};
};

}  // namespace

int main() {
    // The window scales itself from twips; without this Windows would stretch a 96-dpi bitmap
    // of it on a scaled screen. The manifest says the same where there is one.
    SetProcessDPIAware();
    return RunWindowProgram(
        [](const std::string& windowTitle, const std::string& appTitle) {
            return std::make_unique<Win32ProgramWindow>(windowTitle, appTitle);
        },
        [](const std::string& text, const std::string& boxTitle) {
            ShowWin32MessageBox(nullptr, text, MsgIcon::Error, MsgButtons::Ok, boxTitle);
        });
}
