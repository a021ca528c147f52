#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>

#include "platform/IView.h"

class DesignFonts;

// The program's one window in plain Win32: the backup warning, the two frames with the
// database name and the progress, the download counters and the buttons "&Dobro" and
// "&Odustani". It shows state and hands the buttons' clicks and close requests to the handlers
// the program sets; it decides nothing itself.
//
// Every control is a child of the window itself; a control that the design puts in a frame
// stands at the frame's place plus its own. Frames lie lowest, then labels, then the other
// controls, each group in the design's order: labels lie beneath the other controls as the
// design wants (LblTablica shows once PrgBar is hidden).
//
// Used on the window's thread only; UiThreadView passes calls from other threads over.
//
// Texts and the progress bar may change, and be redrawn, on every 512-byte read of a download.
// Painting each change would cost more than the read, so while the program keeps the message
// loop turning (it called DoEvents within the last repaint interval, or work runs off the
// window's thread) changes that follow one another closely are kept and put on the screen at
// most kRepaintsPerSecond times a second, the last ones by a timer. Otherwise, and for the
// first change after a pause, a change is applied at once and Refresh paints at once. Additions
// to a text (AppendText) go onto the box as additions, not as the whole text anew, and are
// gathered at the same rate even when the loop does not turn: a listing appends thousands of
// them to one long line. Text() and the progress getters always give the latest values; message
// boxes, closing and work off the window's thread show every kept change first.
class FrmGlavna : public IView {
public:
    static constexpr int kRepaintsPerSecond = 30;
    // The progress bar's own resolution; the view keeps the exact numbers.
    static constexpr int kBarSteps = 10000;
    // The command identifiers of CmdAkcija(0) and CmdAkcija(1). Not IDOK or IDCANCEL, which
    // the dialog manager sends for Enter and Esc.
    static constexpr int kFirstButtonId = 100;

    // windowTitle: the caption of the window; appTitle: the title of a message box that has
    // none of its own. The window is made hidden, on the calling thread.
    FrmGlavna(std::string windowTitle, std::string appTitle);
    ~FrmGlavna() override;
    FrmGlavna(const FrmGlavna&) = delete;
    FrmGlavna& operator=(const FrmGlavna&) = delete;

    // index 0 is CmdAkcija(0), index 1 CmdAkcija(1).
    void SetClickHandler(std::function<void(int index)> handler) { onClick_ = std::move(handler); }
    // Asked on every request to close the window; byProgram is true only inside CloseWindow.
    // Without a handler only the program may close the window.
    void SetCloseRequestHandler(std::function<bool(bool byProgram)> handler) {
        onCloseRequest_ = std::move(handler);
    }
    // Shows the window centred on the work area of its screen.
    void ShowCentred();
    // Serves the message loop until the window is closed; 0, or the code of a quit message.
    // What a handler threw comes out here (or of DoEvents), not through the system's dispatch.
    int RunUntilClosed();

    // The window of a control (the main window for Control::FrmGlavna).
    HWND Handle(Control control) const { return handles_[Index(control)]; }
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

private:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    // window: the main window, also while it is being made (window_ is not yet set).
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnClose();
    void CreateControls();
    void StackControls();
    void Place(Control c);
    // The fonts and places of every control at a new scale; the window to suggested's corner.
    void Rescale(double dotsPerInch, const RECT& suggested);
    void ApplyText(Control c, const std::string& text);
    void ApplyAppended(Control c, const std::string& tail);
    void MoveCaretToEnd(Control c);
    void ApplyProgress();
    bool AnyTextPending() const;
    bool AppendMayWait() const;
    void ChangeSoon();
    void ApplyByTimer();
    bool MayKeep() const;
    // Handles one message taken from the queue: input to the window is thrown away while work
    // runs off the window's thread; a handler's failure is raised here.
    void Serve(MSG& message);
    bool IsInputToWindow(const MSG& message) const;
    void RaiseHandlerFailure();

    std::string appTitle_;
    double dotsPerInch_;
    std::unique_ptr<DesignFonts> fonts_;
    HWND window_ = nullptr;
    std::array<HWND, kControlCount> handles_{};
    std::array<Control, kControlCount> containers_{};
    std::map<Control, TwipRect> bounds_;
    // Indexed by Control: a download sets a text on every read.
    std::array<std::string, kControlCount> texts_;
    float progressMax_ = 0;
    float progressValue_ = 0;

    // Which texts have changed since they were last put on their controls.
    std::array<bool, kControlCount> textPending_{};
    // Text appended since the control was last brought up to date, for a control whose whole
    // text is not pending: only this tail goes onto the control.
    std::array<std::string, kControlCount> appendPending_{};
    // SetCaretToEnd asked while additions were kept: done when they are applied.
    std::array<bool, kControlCount> caretPending_{};
    bool progressPending_ = false;
    bool timerRunning_ = false;
    std::chrono::steady_clock::time_point lastApplied_{};
    // When the last ApplyPending ended and how long it took (additions wait for it).
    std::chrono::steady_clock::time_point lastApplyEnd_{};
    std::chrono::steady_clock::duration lastApplyCost_{};
    std::chrono::steady_clock::time_point lastDoEvents_{};
    bool workOffUiThread_ = false;
    Cursor cursor_ = Cursor::Default;
    // The control that had the keyboard when the window was last deactivated.
    HWND lastFocus_ = nullptr;

    bool closingByProgram_ = false;
    // What a handler threw, held until the dispatch has returned to our own loop.
    std::exception_ptr handlerFailure_;
    std::function<void(int)> onClick_;
    std::function<bool(bool)> onCloseRequest_;
};
