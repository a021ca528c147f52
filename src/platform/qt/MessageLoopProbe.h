#pragma once

#include <cstdint>

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QEventDispatcherUNIXPrivate;
class QThreadData;
QT_END_NAMESPACE

// Tells cheaply whether a pass of the calling thread's message loop would find anything to do.
//
// A download yields to the message loop once for every 512-byte read. A pass of Qt's Unix event
// dispatcher polls the thread's wake-up descriptor with a system call and reads the clock
// several times even when nothing waits, which made up most of what a yield cost. Everything
// that can wait for a pass is announced, though: events posted from any thread, and the X
// connection's events (read by its own thread), wake the dispatcher up, and Qt notes the
// wake-up until a pass takes it; events posted while a pass delivers others are noted as well;
// timers are due at a time the dispatcher keeps. Sockets watched by the loop are the exception:
// their data is seen only by polling, so while there are any every yield is a full pass.
//
// None of this has a public accessor: the probe reads Qt's private dispatcher and thread data,
// and is built against the Qt it runs with. With a dispatcher that is not Qt's Unix one (GLib's)
// it cannot tell, and says that there may be work.
class MessageLoopProbe {
public:
    // Probes the dispatcher of the calling thread, which must already have one.
    MessageLoopProbe();

    // False only when a pass of the message loop now would find nothing to do. Called on the
    // thread that made the probe.
    bool MayHaveWork() const;

private:
    bool TimerDue() const;

    QEventDispatcherUNIXPrivate* dispatcher_ = nullptr;
    QThreadData* thread_ = nullptr;
    // How far the exact clock may be ahead of CoarseClock, with room to spare, in nanoseconds.
    std::int64_t coarseMargin_ = 0;
};
