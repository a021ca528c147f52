#pragma once

#include <chrono>
#include <functional>

// Runs `work` on a thread of its own and waits at most `limit` for it. True when it finished in
// time: what it wrote may be read. False when it did not: the caller goes on without it, and the
// work runs on to its own end, after which `release` runs on the same thread to free whatever the
// late work got (a handle nobody will ever close otherwise). Both must own what they touch
// (capture by value or shared pointer): the caller may be gone when they run.
//
// This is the backstop for WinINet calls that ignore their time-outs: Wine's FTP client waits for
// a silent server's answers for a fixed time of its own and for data without any limit, and
// closing a handle does not wake it. Windows ends those calls itself within the time-outs set on
// the session, before the limit here is reached.
bool RunWithDeadline(std::function<void()> work, std::function<void()> release,
                     std::chrono::milliseconds limit);
