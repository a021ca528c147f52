#pragma once

#include <string>

#include "platform/IView.h"

// The view of the command-line tool: message boxes become lines on standard error; it has no
// window, so the other operations keep their state and do nothing.
class StderrView : public IView {
public:
    void SetText(Control, const std::string&) override {}
    std::string Text(Control) const override { return {}; }
    void SetEnabled(Control, bool) override {}
    void SetVisible(Control, bool) override {}
    void Move(Control, TwipRect) override {}
    TwipRect Bounds(Control) const override { return {}; }
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
    void CloseWindow() override {}
    [[noreturn]] void EndProgram(int exitCode) override;
    void RunOffUiThread(const std::function<void()>& work) override { work(); }

private:
    float progressMax_ = 100;
    float progressValue_ = 0;
};
