#pragma once

#include <chrono>
#include <iosfwd>
#include <map>
#include <string>

#include "platform/IView.h"

// The view of the console front-end: message boxes go to the error stream as icon, title and
// text; questions read "y" or "n" from the input (no input means No); the window's status texts
// are printed as they change. Ending the program flushes both streams and ends the process.
class ConsoleView : public IView {
public:
    ConsoleView(std::istream& in, std::ostream& out, std::ostream& err);

    void SetText(Control c, const std::string& text) override;
    std::string Text(Control c) const override;
    void SetEnabled(Control, bool) override {}
    void SetVisible(Control, bool) override {}
    void Move(Control c, TwipRect rect) override { bounds_[c] = rect; }
    TwipRect Bounds(Control c) const override;
    void Refresh(Control) override {}
    void SetCaretToEnd(Control) override {}
    void SetProgressMax(float max) override { progressMax_ = max; }
    float ProgressMax() const override { return progressMax_; }
    void SetProgressValue(float value) override { progressValue_ = value; }
    float ProgressValue() const override { return progressValue_; }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    void DoEvents() override {}
    void SetCursor(Cursor) override {}
    void CloseWindow() override { closed_ = true; }
    [[noreturn]] void EndProgram(int exitCode) override;
    void RunOffUiThread(const std::function<void()>& work) override { work(); }

    bool closed() const { return closed_; }

private:
    void PrintStatus(Control c, const std::string& before, const std::string& after);

    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    std::map<Control, std::string> texts_;
    std::map<Control, TwipRect> bounds_;
    float progressMax_ = 0;
    float progressValue_ = 0;
    bool closed_ = false;
    std::chrono::steady_clock::time_point lastCounter_{};
};
