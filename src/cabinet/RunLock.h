#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/IFileSystem.h"

// One run per program folder. Every program that works on the folder's files (the window, the
// console in each of its modes, the cabinet tool installing into the folder) holds this for its
// whole run, and the staging folder, the journal and the backups are touched only under it: a
// second start while a run installs would otherwise take the live staging folder for a crash's
// leftovers. The lock is the system's lock of a lock file, which the system drops when the
// process ends, so a crash never leaves the folder locked.
class RunLock {
public:
    // The lock of the folder, or this process's hold of it when it has one already (the
    // installation inside a run joins the run's hold). Empty when another process holds it.
    // Raises AppError when the lock file cannot be opened or made.
    static std::shared_ptr<RunLock> Take(IFileSystem& files, const std::string& programFolder);

    // The same for work that cannot wait its turn: when another process holds the folder,
    // `note` is told so and AppError 32 (the system's sharing violation) is raised from
    // `source`, with nothing changed.
    static std::shared_ptr<RunLock> Hold(IFileSystem& files, const std::string& programFolder,
                                         const char* source,
                                         const std::function<void(const std::string&)>& note);

    // The lock file of a program folder.
    static std::string PathIn(const std::string& programFolder);

    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    RunLock(std::string key, std::unique_ptr<IFileLock> lock);
    std::string key_;
    std::unique_ptr<IFileLock> lock_;
};
