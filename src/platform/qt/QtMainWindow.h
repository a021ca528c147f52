#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include <QTimer>
#include <QWidget>

#include "platform/IView.h"
#include "platform/qt/CoarseClock.h"
#include "platform/qt/MessageLoopProbe.h"
#include "platform/window/RepaintThrottle.h"

class QCloseEvent;

// The font family of the whole window: it has every Croatian letter (č ć đ š ž) and is on
// every Debian desktop.
inline constexpr const char* kWindowFontFamily = "DejaVu Sans";

// The program's one window: the backup warning, the two frames with the database name and the
// progress, the download counters and the buttons "&Dobro" and "&Odustani". It shows state and
// hands the buttons' clicks and close requests to the handlers the program sets; it decides
// nothing itself.
//
// Used on the GUI thread only; GuiThreadView passes calls from other threads over.
//
// Changes of texts and of the progress bar reach the screen as RepaintThrottle says; message
// boxes, closing and work off the GUI thread show every kept change first.
//
// DoEvents serves the message loop on every call, but runs a pass of it only when something
// waits for one (input, a paint request or other posted event, a due timer); MessageLoopProbe
// tells at a fraction of a pass's cost.
class QtMainWindow : public QWidget, public IView, private RepaintThrottle::Screen {
    Q_OBJECT

public:
    static constexpr int kRepaintsPerSecond = RepaintThrottle::kRepaintsPerSecond;
    static constexpr int kBarSteps = RepaintThrottle::kBarSteps;

    // windowTitle: the caption of the window; appTitle: the title of a message box that has
    // none of its own.
    QtMainWindow(std::string windowTitle, std::string appTitle);
    ~QtMainWindow() override;

    // index 0 is CmdAkcija(0), index 1 CmdAkcija(1).
    void SetClickHandler(std::function<void(int index)> handler) { onClick_ = std::move(handler); }
    // Asked on every request to close the window; byProgram is true only inside CloseWindow.
    // Without a handler only the program may close the window.
    void SetCloseRequestHandler(std::function<bool(bool byProgram)> handler) {
        onCloseRequest_ = std::move(handler);
    }
    // Shows the window centred on its screen.
    void ShowCentred();

    // The widget of a control (the window itself for Control::FrmGlavna).
    QWidget* Widget(Control control) const;
    // The dots per inch that turn the design's twips into pixels.
    double DotsPerInch() const { return dotsPerInch_; }
    // Puts every kept change on the screen now.
    void ApplyPending() { throttle_.ApplyPending(); }

    void SetText(Control c, const std::string& text) override;
    std::string Text(Control c) const override;
    void AppendText(Control c, const std::string& text) override;
    void SetEnabled(Control c, bool enabled) override;
    void SetVisible(Control c, bool visible) override;
    void Move(Control c, TwipRect rect) override;
    TwipRect Bounds(Control c) const override;
    void Refresh(Control c) override;
    void SetCaretToEnd(Control c) override;
    void SetProgressMax(float max) override;
    float ProgressMax() const override { return throttle_.ProgressMax(); }
    void SetProgressValue(float value) override;
    float ProgressValue() const override { return throttle_.ProgressValue(); }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    void DoEvents() override;
    void SetCursor(Cursor cursor) override;
    void CloseWindow() override;
    [[noreturn]] void EndProgram(int exitCode) override;
    void RunOffUiThread(const std::function<void()>& work) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    void CreateControls();
    void Place(Control c, TwipRect rect);
    void ShowText(Control c, const std::string& text) override;
    void ShowAppended(Control c, const std::string& tail) override;
    void ShowCaretAtEnd(Control c) override;
    void ShowProgress(int barStep) override;
    bool StartTimer(std::chrono::milliseconds wait) override;
    void StopTimer() override { applyTimer_.stop(); }
    bool YieldedLately() const override;

    std::string appTitle_;
    double dotsPerInch_;
    // DoEvents asks it whether a pass of the message loop is needed.
    MessageLoopProbe messageLoop_;
    std::map<Control, QWidget*> widgets_;
    std::map<Control, TwipRect> bounds_;
    CoarseClock::time_point lastDoEvents_{};
    QTimer applyTimer_;
    RepaintThrottle throttle_{*this};

    bool closingByProgram_ = false;
    std::function<void(int)> onClick_;
    std::function<bool(bool)> onCloseRequest_;
};
