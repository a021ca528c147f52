#include "platform/window/RepaintThrottle.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/window/FrmGlavnaLayout.h"

void RepaintThrottle::SetText(Control c, const std::string& text) {
    texts_[Index(c)] = text;
    textPending_[Index(c)] = true;
    appendPending_[Index(c)].clear();
    caretPending_[Index(c)] = false;  // a new text starts with the caret at its start
    ChangeSoon();
}

void RepaintThrottle::AppendText(Control c, const std::string& text) {
    texts_[Index(c)] += text;
    // A whole text still waiting for its control already holds the addition.
    if (textPending_[Index(c)]) {
        ChangeSoon();
        return;
    }
    appendPending_[Index(c)] += text;
    // The box lays out a changed line anew in its whole length, and a listing appends to one
    // line once per entry without yielding: additions that follow closely are gathered and put
    // on the box at most kRepaintsPerSecond times a second even when the loop does not turn.
    // Whatever is kept is shown by the next change after the interval, the next yield, box or
    // close.
    if (MayKeep() || AppendMayWait()) {
        ApplyByTimer();
    } else {
        ApplyPending();
    }
}

bool RepaintThrottle::AppendMayWait() const {
    if (!screen_.CanKeep()) return false;  // no timer would show what is kept
    // At least as long as putting the last changes on the screen took: a line that takes long
    // to lay out is laid out less often, so that layout never takes more than half the time.
    const auto wait = std::max<Clock::duration>(kApplyInterval, lastApplyCost_);
    return Clock::now() - lastApplyEnd_ < wait;
}

bool RepaintThrottle::AnyTextPending() const {
    if (std::ranges::find(textPending_, true) != textPending_.end()) return true;
    return std::ranges::any_of(appendPending_, [](const std::string& t) { return !t.empty(); });
}

bool RepaintThrottle::Refresh(Control c) {
    const bool onlyAppended = !textPending_[Index(c)] && !appendPending_[Index(c)].empty();
    if (MayKeep() || (onlyAppended && AppendMayWait())) {
        ApplyByTimer();  // the kept changes are painted when the timer applies them
        return false;
    }
    ApplyPending();
    return true;
}

void RepaintThrottle::SetCaretToEnd(Control c) {
    // A kept text would put the caret back at the start when it is applied.
    if (textPending_[Index(c)]) ApplyPending();
    // Kept additions: the caret goes to the end when they are put on the box.
    if (!appendPending_[Index(c)].empty()) {
        caretPending_[Index(c)] = true;
        return;
    }
    screen_.ShowCaretAtEnd(c);
}

void RepaintThrottle::SetProgressMax(float max) {
    progressMax_ = max;
    progressPending_ = true;
    ChangeSoon();
}

void RepaintThrottle::SetProgressValue(float value) {
    progressValue_ = value;
    progressPending_ = true;
    ChangeSoon();
}

// Keeping a change is only safe when the message loop will soon run the timer that applies it.
// This runs several times for every read of a download: the back-end's cheap clock decides
// whether the loop still turns, and the exact one is read only when no kept change waits for
// the timer.
bool RepaintThrottle::MayKeep() const {
    if (!screen_.CanKeep()) return false;
    if (!workOffThread_ && !screen_.YieldedLately()) return false;
    if (timerRunning_) return true;
    return Clock::now() - lastApplied_ < kApplyInterval;
}

void RepaintThrottle::ChangeSoon() {
    if (MayKeep()) {
        ApplyByTimer();
    } else {
        ApplyPending();
    }
}

void RepaintThrottle::ApplyByTimer() {
    if (timerRunning_) return;
    const auto sinceLast = Clock::now() - lastApplied_;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kApplyInterval - sinceLast);
    // Without a timer the change is applied at once instead.
    timerRunning_ =
        screen_.StartTimer(std::chrono::milliseconds(std::max<std::int64_t>(wait.count(), 1)));
    if (!timerRunning_) ApplyPending();
}

void RepaintThrottle::ApplyPending() {
    if (timerRunning_) screen_.StopTimer();
    timerRunning_ = false;
    lastApplied_ = Clock::now();
    const auto pending = std::exchange(textPending_, {});
    const auto appended = std::exchange(appendPending_, {});
    const auto caret = std::exchange(caretPending_, {});
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const auto c = static_cast<Control>(i);
        if (pending[i]) {
            screen_.ShowText(c, texts_[i]);
        } else if (!appended[i].empty()) {
            ApplyAppended(c, appended[i]);
        }
        if (caret[i]) screen_.ShowCaretAtEnd(c);
    }
    if (progressPending_) {
        double fraction = progressMax_ > 0 ? double(progressValue_) / double(progressMax_) : 0.0;
        fraction = std::clamp(fraction, 0.0, 1.0);
        screen_.ShowProgress(static_cast<int>(std::lround(fraction * kBarSteps)));
    }
    progressPending_ = false;
    lastApplyEnd_ = Clock::now();
    lastApplyCost_ = lastApplyEnd_ - lastApplied_;
}

void RepaintThrottle::ApplyAppended(Control c, const std::string& tail) {
    const auto design = std::ranges::find(FrmGlavnaDesign(), c, &ControlDesign::id);
    if (design == FrmGlavnaDesign().end() || design->kind != ControlKind::TextBox) {
        screen_.ShowText(c, texts_[Index(c)]);  // captions are short: set them whole
        return;
    }
    // A CR LF split between two appends: the CR has already been shown as a line break.
    const std::string& whole = texts_[Index(c)];
    const std::size_t start = whole.size() - tail.size();
    const bool splitLineEnd = start > 0 && whole[start - 1] == '\r' && tail.front() == '\n';
    screen_.ShowAppended(c, splitLineEnd ? tail.substr(1) : tail);
}
