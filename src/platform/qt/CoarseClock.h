#pragma once

#include <time.h>

#include <chrono>

// The monotonic clock as of the kernel's last tick: it lags the exact clock by less than a
// tick (a few milliseconds) and costs a fifth of an exact reading. Good enough for deciding
// whether something happened within the last frame of the screen, and cheap enough to ask on
// every 512-byte read of a download.
struct CoarseClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<CoarseClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &t);
        return time_point(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    }

    // How far an exact reading may be ahead of now() (the clock's resolution, one tick).
    static duration Lag() noexcept {
        timespec t{};
        clock_getres(CLOCK_MONOTONIC_COARSE, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    }
};
