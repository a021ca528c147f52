#pragma once

#include <array>
#include <string>

#include "platform/IView.h"

// A view without a window, for the text front-ends: it keeps each control's text and bounds and
// the progress values, so that the logic can read back what it wrote, and does nothing else.
// Message boxes and the end of the program are the front-end's own.
class HeadlessView : public IView {
public:
    void SetText(Control c, const std::string& text) override { texts_[Index(c)] = text; }
    std::string Text(Control c) const override { return texts_[Index(c)]; }
    void AppendText(Control c, const std::string& text) override { texts_[Index(c)] += text; }
    void SetEnabled(Control, bool) override {}
    void SetVisible(Control, bool) override {}
    void Move(Control c, TwipRect rect) override { bounds_[Index(c)] = rect; }
    TwipRect Bounds(Control c) const override { return bounds_[Index(c)]; }
    void Refresh(Control) override {}
    void SetCaretToEnd(Control) override {}
    void SetProgressMax(float max) override { progressMax_ = max; }
    float ProgressMax() const override { return progressMax_; }
    void SetProgressValue(float value) override { progressValue_ = value; }
    float ProgressValue() const override { return progressValue_; }
    void DoEvents() override {}
    void SetCursor(Cursor) override {}
    void CloseWindow() override {}
    void RunOffUiThread(const std::function<void()>& work) override { work(); }

protected:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }

private:
    std::array<std::string, kControlCount> texts_{};
    std::array<TwipRect, kControlCount> bounds_{};
    float progressMax_ = 100;
    float progressValue_ = 0;
};
