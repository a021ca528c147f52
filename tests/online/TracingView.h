#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/ScriptedView.h"

// The scripted window that also notes, in one list, every change the phase makes to it, in the
// order made: "cursor wait", "move TxtRez", "show TxtRez", "text TxtRez", "caret TxtRez",
// "refresh TxtRez", "text LblUkupno1=1000", "max 1000", "value 512", "yield", "box <text>".
// The running log's own texts are left out (other tests read them); other texts are shown.
// Tests may point the recording internet functions and file system at the same list.
class TracingView : public ScriptedView {
public:
    std::vector<std::string> trace;
    // Also notes where work off the window's thread begins and ends ("off", "on").
    bool traceOffThread = false;

    void RunOffUiThread(const std::function<void()>& work) override {
        if (traceOffThread) trace.push_back("off");
        ScriptedView::RunOffUiThread(work);
        if (traceOffThread) trace.push_back("on");
    }

    void SetText(Control c, const std::string& text) override {
        trace.push_back("text " + Name(c) + (c == Control::TxtRez ? "" : "=" + text));
        ScriptedView::SetText(c, text);
    }
    void SetVisible(Control c, bool visible) override {
        trace.push_back((visible ? "show " : "hide ") + Name(c));
        ScriptedView::SetVisible(c, visible);
    }
    void Move(Control c, TwipRect rect) override {
        trace.push_back("move " + Name(c));
        ScriptedView::Move(c, rect);
    }
    void Refresh(Control c) override {
        trace.push_back("refresh " + Name(c));
        ScriptedView::Refresh(c);
    }
    void SetCaretToEnd(Control c) override {
        trace.push_back("caret " + Name(c));
        ScriptedView::SetCaretToEnd(c);
    }
    void SetProgressMax(float max) override {
        trace.push_back("max " + std::to_string(static_cast<long long>(max)));
        ScriptedView::SetProgressMax(max);
    }
    void SetProgressValue(float value) override {
        trace.push_back("value " + std::to_string(static_cast<long long>(value)));
        ScriptedView::SetProgressValue(value);
    }
    void SetCursor(Cursor cursor) override {
        trace.push_back(cursor == Cursor::Wait          ? "cursor wait"
                        : cursor == Cursor::AppStarting ? "cursor appstarting"
                                                        : "cursor default");
        ScriptedView::SetCursor(cursor);
    }
    void DoEvents() override {
        trace.push_back("yield");
        ScriptedView::DoEvents();
    }
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override {
        trace.push_back("box " + text);
        return ScriptedView::ShowMessage(text, icon, buttons, title);
    }

private:
    static std::string Name(Control c) {
        switch (c) {
            case Control::LblPozor: return "LblPozor";
            case Control::TxtRez: return "TxtRez";
            case Control::LblUkupno0: return "LblUkupno0";
            case Control::LblUkupno1: return "LblUkupno1";
            case Control::LblUkupno2: return "LblUkupno2";
            case Control::LblUkupno3: return "LblUkupno3";
            case Control::PrgBar: return "PrgBar";
            default: return "control" + std::to_string(static_cast<int>(c));
        }
    }
};
