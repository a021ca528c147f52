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
#include "platform/window/RepaintThrottle.h"

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
// Changes of texts and of the progress bar reach the screen as RepaintThrottle says; message
// boxes, closing and work off the window's thread show every kept change first.
class Win32MainWindow : public IView, private RepaintThrottle::Screen {
public:
    static constexpr int kRepaintsPerSecond = RepaintThrottle::kRepaintsPerSecond;
    static constexpr int kBarSteps = RepaintThrottle::kBarSteps;
    // The command identifiers of CmdAkcija(0) and CmdAkcija(1). Not IDOK or IDCANCEL, which
    // the dialog manager sends for Enter and Esc.
    static constexpr int kFirstButtonId = 100;

    // windowTitle: the caption of the window; appTitle: the title of a message box that has
    // none of its own. The window is made hidden, on the calling thread.
    Win32MainWindow(std::string windowTitle, std::string appTitle);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

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
    void ShowText(Control c, const std::string& text) override;
    void ShowAppended(Control c, const std::string& tail) override;
    void ShowCaretAtEnd(Control c) override;
    void ShowProgress(int barStep) override;
    bool StartTimer(std::chrono::milliseconds wait) override;
    void StopTimer() override;
    bool YieldedLately() const override;
    bool CanKeep() const override { return window_ != nullptr; }
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
    std::chrono::steady_clock::time_point lastDoEvents_{};
    Cursor cursor_ = Cursor::Default;
    // The control that had the keyboard when the window was last deactivated.
    HWND lastFocus_ = nullptr;

    bool closingByProgram_ = false;
    // What a handler threw, held until the dispatch has returned to our own loop.
    std::exception_ptr handlerFailure_;
    std::function<void(int)> onClick_;
    std::function<bool(bool)> onCloseRequest_;
    RepaintThrottle throttle_{*this};
};
