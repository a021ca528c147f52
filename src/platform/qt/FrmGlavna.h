#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <string>

#include <QTimer>
#include <QWidget>

#include "platform/IView.h"
#include "platform/qt/CoarseClock.h"
#include "platform/qt/MessageLoopProbe.h"

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
// Texts and the progress bar may change, and be redrawn, on every 512-byte read of a download.
// Painting each change would cost more than the read, so while the program keeps the message
// loop turning (it called DoEvents within the last repaint interval, or work runs off the GUI
// thread) changes that follow one another closely are kept and put on the screen at most
// kRepaintsPerSecond times a second, the last ones by a timer. Otherwise, and for the first
// change after a pause, a change is applied at once and Refresh paints at once. Additions to a
// text (AppendText) are gathered at the same rate even when the loop does not turn: a listing
// appends thousands of them to one long line, which the box would lay out anew for each. Text() and the
// progress getters always give the latest values; message boxes, closing and work off the GUI
// thread show every kept change first.
//
// DoEvents serves the message loop on every call, but runs a pass of it only when something
// waits for one (input, a paint request or other posted event, a due timer); MessageLoopProbe
// tells at a fraction of a pass's cost.
class FrmGlavna : public QWidget, public IView {
    Q_OBJECT

public:
    static constexpr int kRepaintsPerSecond = 30;
    // The progress bar's own resolution; the view keeps the exact numbers.
    static constexpr int kBarSteps = 10000;

    // windowTitle: the caption of the window; appTitle: the title of a message box that has
    // none of its own.
    FrmGlavna(std::string windowTitle, std::string appTitle);
    ~FrmGlavna() override;

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
    void ApplyPending();

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
    float ProgressMax() const override { return progressMax_; }
    void SetProgressValue(float value) override;
    float ProgressValue() const override { return progressValue_; }
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
    void ApplyText(Control c, const std::string& text);
    void ApplyProgress();
    void ApplyAppended(Control c, const std::string& tail);
    void MoveCaretToEnd(Control c);
    bool AppendMayWait() const;
    void ChangeSoon();
    void ApplyByTimer();
    bool MayKeep() const;

    std::string appTitle_;
    double dotsPerInch_;
    // DoEvents asks it whether a pass of the message loop is needed.
    MessageLoopProbe messageLoop_;
    std::map<Control, QWidget*> widgets_;
    std::map<Control, TwipRect> bounds_;
    // Indexed by Control: a download sets a text on every read.
    std::array<std::string, kControlCount> texts_;
    float progressMax_ = 0;
    float progressValue_ = 0;

    // Which texts have changed since they were last put on their widgets.
    std::array<bool, kControlCount> textPending_{};
    // Text appended since the widget was last brought up to date, for a control whose whole
    // text is not pending: only this tail goes onto the widget.
    std::array<std::string, kControlCount> appendPending_{};
    // SetCaretToEnd asked while additions were kept: done when they are applied.
    std::array<bool, kControlCount> caretPending_{};
    bool progressPending_ = false;
    std::chrono::steady_clock::time_point lastApplied_{};
    // When the last ApplyPending ended and how long it took (additions wait for it).
    std::chrono::steady_clock::time_point lastApplyEnd_{};
    std::chrono::steady_clock::duration lastApplyCost_{};
    CoarseClock::time_point lastDoEvents_{};
    bool workOffGuiThread_ = false;
    QTimer applyTimer_;

    bool closingByProgram_ = false;
    std::function<void(int)> onClick_;
    std::function<bool(bool)> onCloseRequest_;
};
