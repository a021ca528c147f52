#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

#include "platform/HeadlessView.h"

// The view of the console front-end: message boxes go to the error stream as icon, title and
// text; questions read "y" or "n" from the input (no input means No); the window's status texts
// are printed as they change. Ending the program flushes both streams and ends the process.
class ConsoleView : public HeadlessView {
public:
    ConsoleView(std::istream& in, std::ostream& out, std::ostream& err);

    void SetText(Control c, const std::string& text) override;
    void AppendText(Control c, const std::string& text) override;
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    void CloseWindow() override { closed_ = true; }
    [[noreturn]] void EndProgram(int exitCode) override;

    bool closed() const { return closed_; }

private:
    void PrintStatus(Control c, const std::string& before, const std::string& after);

    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool closed_ = false;
    std::chrono::steady_clock::time_point lastCounter_{};
};
