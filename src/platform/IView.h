#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// The controls of the main window. The logic addresses them by name; the window places them.
enum class Control {
    FrmGlavna,  // the whole window
    LblVerzija,
    FramBaza,
    LblBaza,
    FramTablica,
    PrgBar,
    LblTablica,
    LblPozor,
    TxtRez,
    LblUkupno0,
    LblUkupno1,
    LblUkupno2,
    LblUkupno3,
    CmdAkcija0,
    CmdAkcija1,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::CmdAkcija1) + 1;

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };
enum class Cursor { Default, Wait, AppStarting };

// A control's rectangle in twips (15 twips are one pixel at 96 dpi), relative to its container.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TwipRect&) const = default;
};

// What the logic needs of a window. The Qt window, the console front-end and the scripted test
// views implement it. All texts are UTF-8.
//
// Threads: the driver calls the view on the thread that runs it. RunOffUiThread may run work on
// another thread; a view that has a message loop then marshals every call made from that work
// back to its own thread.
class IView {
public:
    virtual ~IView() = default;

    // The text of a text box, or the caption of a label, frame, button or the window.
    virtual void SetText(Control control, const std::string& text) = 0;
    virtual std::string Text(Control control) const = 0;
    // `text` added at the end of the control's text; afterwards Text is the old text followed
    // by `text`. Views that keep long texts override it so that appending costs the length of
    // the addition, not of the whole text; this default copies the whole text.
    virtual void AppendText(Control control, const std::string& text) {
        SetText(control, Text(control) + text);
    }
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void Move(Control control, TwipRect rect) = 0;
    virtual TwipRect Bounds(Control control) const = 0;
    // Paint the control now (the program may not yield to the message loop for a while).
    virtual void Refresh(Control control) = 0;
    // Put the caret of a text box at the end of its text, so that the last line is in view.
    virtual void SetCaretToEnd(Control control) = 0;

    // The progress bar keeps single-precision numbers, as the platform's control does.
    virtual void SetProgressMax(float max) = 0;
    virtual float ProgressMax() const = 0;
    virtual void SetProgressValue(float value) = 0;
    virtual float ProgressValue() const = 0;

    // A modal message box. Without a title of its own the box shows the application's title.
    virtual MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                  const std::optional<std::string>& title) = 0;

    // Serve the message loop once: pending clicks and paints are handled before this returns.
    virtual void DoEvents() = 0;
    virtual void SetCursor(Cursor cursor) = 0;

    // The program closes its own window (the only close request that is granted).
    virtual void CloseWindow() = 0;
    // Ends the program at once: no close handlers run, nothing after the call executes.
    // Real views end the process; scripted views throw ProgramEnded to unwind the test.
    [[noreturn]] virtual void EndProgram(int exitCode) = 0;

    // Runs work to its end while the window stays painted and refuses all input.
    virtual void RunOffUiThread(const std::function<void()>& work) = 0;
};

// Thrown by views that cannot end the process (tests). Deliberately not derived from
// std::exception, so that handlers of AppError and std::exception let it pass.
struct ProgramEnded {
    int exitCode;
};
