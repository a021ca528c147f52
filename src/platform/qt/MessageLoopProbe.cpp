#include "platform/qt/MessageLoopProbe.h"

#include <time.h>

#include <chrono>

#include <QAbstractEventDispatcher>
#include <QtCore/private/qeventdispatcher_unix_p.h>
#include <QtCore/private/qobject_p.h>
#include <QtCore/private/qthread_p.h>

#include "platform/qt/CoarseClock.h"

namespace {

std::int64_t Nanoseconds(const timespec& t) {
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

std::int64_t ExactNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);  // the clock of the dispatcher's timers
    return Nanoseconds(now);
}

}  // namespace

MessageLoopProbe::MessageLoopProbe()
    : coarseMargin_(std::chrono::nanoseconds(2 * CoarseClock::Lag()).count()) {
    auto* own = qobject_cast<QEventDispatcherUNIX*>(QAbstractEventDispatcher::instance());
    if (!own) return;
    QObjectPrivate* d = QObjectPrivate::get(own);
    dispatcher_ = static_cast<QEventDispatcherUNIXPrivate*>(d);
    thread_ = d->threadData.loadRelaxed();
}

bool MessageLoopProbe::MayHaveWork() const {
    if (!dispatcher_) return true;
    // A wake-up that no pass has taken yet: posted events, the window system's events.
    if (dispatcher_->threadPipe.wakeUps.loadAcquire() != 0) return true;
    // Events posted while the last pass delivered others; that pass took their wake-up.
    if (!thread_->canWaitLocked()) return true;
    return !dispatcher_->socketNotifiers.isEmpty() || TimerDue();
}

// The timer list is ordered by due time; a timer whose event is being delivered right now is
// skipped, as the dispatcher itself does. The exact clock is read only when the cheap one says
// that the first timer may be due.
bool MessageLoopProbe::TimerDue() const {
    for (const QTimerInfo* timer : dispatcher_->timerList) {
        if (timer->activateRef) continue;
        const std::int64_t due = Nanoseconds(timer->timeout);
        const std::int64_t coarse = CoarseClock::now().time_since_epoch().count();
        if (due > coarse + coarseMargin_) return false;
        return due <= ExactNow();
    }
    return false;
}
