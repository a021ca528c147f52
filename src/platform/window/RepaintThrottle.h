#pragma once

#include <array>
#include <chrono>
#include <string>
#include <utility>

#include "platform/IView.h"

// The texts and the progress of the main window, and when their changes reach the screen: the
// part of the window that is the same for every toolkit.
//
// Texts and the progress bar may change, and be redrawn, on every 512-byte read of a download.
// Painting each change would cost more than the read, so while the program keeps the message
// loop turning (it yielded within the last repaint interval, or work runs off the window's
// thread) changes that follow one another closely are kept and put on the screen at most
// kRepaintsPerSecond times a second, the last ones by a timer. Otherwise, and for the first
// change after a pause, a change is applied at once and Refresh paints at once. Additions to a
// text (AppendText) go onto a box as additions, not as the whole text anew, and are gathered at
// the same rate even when the loop does not turn: a listing appends thousands of them to one
// long line, which the box would lay out anew for each. Text() and the progress getters always
// give the latest values.
class RepaintThrottle {
public:
    static constexpr int kRepaintsPerSecond = 30;
    static constexpr std::chrono::milliseconds kApplyInterval{1000 / kRepaintsPerSecond};
    // The progress bar's own resolution; the numbers themselves are kept exact.
    static constexpr int kBarSteps = 10000;

    // What the window's toolkit does on the screen, called on the window's thread.
    class Screen {
    public:
        virtual void ShowText(Control c, const std::string& text) = 0;
        // tail goes at the end of the box c, after what it shows already.
        virtual void ShowAppended(Control c, const std::string& tail) = 0;
        virtual void ShowCaretAtEnd(Control c) = 0;
        virtual void ShowProgress(int barStep) = 0;
        // Starts the one timer that calls ApplyPending after wait; false when none can be had.
        virtual bool StartTimer(std::chrono::milliseconds wait) = 0;
        virtual void StopTimer() = 0;
        // Whether the program turned the message loop within the last kApplyInterval.
        virtual bool YieldedLately() const = 0;
        // Whether a timer could show kept changes at all (the window still exists).
        virtual bool CanKeep() const { return true; }

    protected:
        ~Screen() = default;
    };

    explicit RepaintThrottle(Screen& screen) : screen_(screen) {}

    // Starting values, put on the screen by the caller: kept, not pending.
    void Preset(Control c, std::string text) { texts_[Index(c)] = std::move(text); }

    void SetText(Control c, const std::string& text);
    const std::string& Text(Control c) const { return texts_[Index(c)]; }
    void AppendText(Control c, const std::string& text);
    // True when the back-end should paint c now; otherwise the timer shows the kept changes.
    bool Refresh(Control c);
    void SetCaretToEnd(Control c);
    void SetProgressMax(float max);
    float ProgressMax() const { return progressMax_; }
    void SetProgressValue(float value);
    float ProgressValue() const { return progressValue_; }

    // Puts every kept change on the screen now.
    void ApplyPending();
    // While work runs off the window's thread, the loop serves the timer all the time.
    void SetWorkOffThread(bool off) { workOffThread_ = off; }
    bool WorkOffThread() const { return workOffThread_; }
    // Whether a text waits to be put on the screen.
    bool AnyTextPending() const;
    // The timer is gone with the window.
    void ForgetTimer() { timerRunning_ = false; }

private:
    using Clock = std::chrono::steady_clock;
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    void ApplyAppended(Control c, const std::string& tail);
    bool AppendMayWait() const;
    void ChangeSoon();
    void ApplyByTimer();
    bool MayKeep() const;

    Screen& screen_;
    // Indexed by Control: a download sets a text on every read.
    std::array<std::string, kControlCount> texts_;
    float progressMax_ = 0;
    float progressValue_ = 0;

    // Which texts have changed since they were last put on the screen.
    std::array<bool, kControlCount> textPending_{};
    // Text appended since the control was last brought up to date, for a control whose whole
    // text is not pending: only this tail goes onto the control.
    std::array<std::string, kControlCount> appendPending_{};
    // SetCaretToEnd asked while additions were kept: done when they are applied.
    std::array<bool, kControlCount> caretPending_{};
    bool progressPending_ = false;
    bool timerRunning_ = false;
    bool workOffThread_ = false;
    Clock::time_point lastApplied_{};
    // When the last ApplyPending ended and how long it took (additions wait for it).
    Clock::time_point lastApplyEnd_{};
    Clock::duration lastApplyCost_{};
};
