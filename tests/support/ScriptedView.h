#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/IView.h"

// A view for headless tests: keeps every control's text, visibility, enabled state and bounds,
// records each message box, answers questions from a script, and runs a hook on each DoEvents
// so a test can "click" while the program yields. EndProgram throws ProgramEnded.
class ScriptedView : public IView {
public:
    struct Message {
        std::string text;
        MsgIcon icon;
        MsgButtons buttons;
        std::optional<std::string> title;
    };

    ScriptedView();

    void SetText(Control c, const std::string& text) override;
    std::string Text(Control c) const override;
    void SetEnabled(Control c, bool enabled) override { enabled_[c] = enabled; }
    void SetVisible(Control c, bool visible) override { visible_[c] = visible; }
    void Move(Control c, TwipRect rect) override { bounds_[c] = rect; }
    TwipRect Bounds(Control c) const override;
    void Refresh(Control c) override { ++refreshes_[c]; }
    void SetCaretToEnd(Control c) override { ++caretMoves_[c]; }
    void SetProgressMax(float max) override { progressMax_ = max; }
    float ProgressMax() const override { return progressMax_; }
    void SetProgressValue(float value) override { progressValue_ = value; }
    float ProgressValue() const override { return progressValue_; }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    void DoEvents() override;
    void SetCursor(Cursor cursor) override { cursors.push_back(cursor); }
    void CloseWindow() override { closed = true; }
    [[noreturn]] void EndProgram(int exitCode) override;
    void RunOffUiThread(const std::function<void()>& work) override;

    bool Enabled(Control c) const;
    bool Visible(Control c) const;
    int Refreshes(Control c) const;
    int CaretMoves(Control c) const;

    // Answers for the next YesNo questions, in order; an empty script answers No.
    std::deque<MsgAnswer> answers;
    // Called on every DoEvents with the count of calls so far (1 for the first).
    std::function<void(int)> onDoEvents;
    // Called for every SetText, after the text is stored (for recording the order of texts).
    std::function<void(Control, const std::string&)> onSetText;
    // Called for every message box, after it is recorded and before it is answered.
    std::function<void(const Message&)> onMessage;

    std::vector<Message> messages;
    std::vector<Cursor> cursors;
    std::vector<std::pair<Control, std::string>> textHistory;
    int doEventsCalls = 0;
    int offThreadRuns = 0;
    bool offUiThread = false;  // while work handed to RunOffUiThread runs
    bool closed = false;
    int exitCode = -1;

private:
    std::map<Control, std::string> texts_;
    std::map<Control, bool> enabled_;
    std::map<Control, bool> visible_;
    std::map<Control, TwipRect> bounds_;
    std::map<Control, int> refreshes_;
    std::map<Control, int> caretMoves_;
    float progressMax_ = 100;
    float progressValue_ = 0;
};
