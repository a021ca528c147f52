// velmora-upgrade: the window program. It takes no arguments: everything it needs is in its own
// folder (Tarvik.exe, Tarvik_Upg.Upg) and in the main program's settings.
#include <memory>
#include <string>

#include <QApplication>

#include "app/WindowProgram.h"
#include "platform/qt/GuiThreadView.h"
#include "platform/qt/QtEnvironment.h"
#include "platform/qt/QtMainWindow.h"
#include "platform/qt/QtMessageBox.h"

namespace {

class QtProgramWindow final : public ProgramWindow {
public:
    QtProgramWindow(const std::string& windowTitle, const std::string& appTitle)
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
        return QApplication::exec();
    }

private:
    QtMainWindow window_;
    GuiThreadView view_{window_, window_};
};

}  // namespace

int main(int, char** argv) {
    PrepareQtEnvironment();
    // The program takes no arguments; Qt is not shown any either (its settings come from the
    // environment, such as QT_QPA_PLATFORM).
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return RunWindowProgram(
        [](const std::string& windowTitle, const std::string& appTitle) {
            return std::make_unique<QtProgramWindow>(windowTitle, appTitle);
        },
        [](const std::string& text, const std::string& boxTitle) {
            ShowQtMessageBox(nullptr, text, MsgIcon::Error, MsgButtons::Ok, boxTitle);
        });
}
