#pragma once

#include <string>

#include "platform/IView.h"

// The running log the user reads during the online update, kept in the text box TxtRez.
class RunningLog {
public:
    explicit RunningLog(IView& view) : view_(view) {}

    // Puts TxtRez on LblPozor's place, shows it with `text` as its only content.
    void Show(const std::string& text);
    // A new line: CR LF and the line after the text; the caret goes to the end unless asked to
    // stay, so that the box shows the last line; the box is painted at once.
    void AppendLine(const std::string& line, bool moveCaret = true);
    // Text directly after what is there, on the same line.
    void AppendBare(const std::string& text);

private:
    void Append(const std::string& text, bool moveCaret);
    IView& view_;
};
