#include "online/RunningLog.h"

#include "common/Strings.h"

void RunningLog::Show(const std::string& text) {
    view_.Move(Control::TxtRez, view_.Bounds(Control::LblPozor));
    view_.SetVisible(Control::TxtRez, true);
    view_.SetText(Control::TxtRez, text);
    view_.Refresh(Control::TxtRez);
}

void RunningLog::AppendLine(const std::string& line, bool moveCaret) {
    Append(std::string(kCrLf) + line, moveCaret);
}

void RunningLog::AppendBare(const std::string& text) { Append(text, true); }

void RunningLog::Append(const std::string& text, bool moveCaret) {
    // Appended, not set anew: a listing of thousands of cabinets appends once per cabinet,
    // and copying the whole text each time made the listing cost quadratic time.
    view_.AppendText(Control::TxtRez, text);
    if (moveCaret) view_.SetCaretToEnd(Control::TxtRez);
    view_.Refresh(Control::TxtRez);
}
