#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// Keyboard focus and the pointer are one per display, and ctest runs tests side by side: a test
// that drives the display holds its lock until it is done.
class DisplayLock {
public:
    DisplayLock() {
        const char* display = std::getenv("DISPLAY");
        const std::string name =
            std::string("/tmp/velmora-display-") + (display ? display : "") + ".lock";
        fd_ = open(name.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~DisplayLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    DisplayLock(const DisplayLock&) = delete;
    DisplayLock& operator=(const DisplayLock&) = delete;

private:
    int fd_ = -1;
};
