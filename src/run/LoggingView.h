#pragma once

#include "platform/IView.h"
#include "run/RunLog.h"

// Passes every operation to the real view and writes each message box the user sees, and each
// answer to a question, to the run log. Wrapping the view keeps logging out of the phases.
class LoggingView : public IView {
public:
    LoggingView(IView& inner, RunLog& log) : inner_(inner), log_(log) {}

    void SetText(Control c, const std::string& text) override { inner_.SetText(c, text); }
    std::string Text(Control c) const override { return inner_.Text(c); }
    void AppendText(Control c, const std::string& text) override { inner_.AppendText(c, text); }
    void SetEnabled(Control c, bool enabled) override { inner_.SetEnabled(c, enabled); }
    void SetVisible(Control c, bool visible) override { inner_.SetVisible(c, visible); }
    void Move(Control c, TwipRect rect) override { inner_.Move(c, rect); }
    TwipRect Bounds(Control c) const override { return inner_.Bounds(c); }
    void Refresh(Control c) override { inner_.Refresh(c); }
    void SetCaretToEnd(Control c) override { inner_.SetCaretToEnd(c); }
    void SetProgressMax(float max) override { inner_.SetProgressMax(max); }
    float ProgressMax() const override { return inner_.ProgressMax(); }
    void SetProgressValue(float value) override { inner_.SetProgressValue(value); }
    float ProgressValue() const override { return inner_.ProgressValue(); }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    void DoEvents() override { inner_.DoEvents(); }
    void SetCursor(Cursor cursor) override { inner_.SetCursor(cursor); }
    void CloseWindow() override { inner_.CloseWindow(); }
    [[noreturn]] void EndProgram(int exitCode) override;
    void RunOffUiThread(const std::function<void()>& work) override { inner_.RunOffUiThread(work); }

    static const char* IconName(MsgIcon icon);

private:
    IView& inner_;
    RunLog& log_;
};
