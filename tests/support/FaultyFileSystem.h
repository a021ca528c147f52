#pragma once

#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/stdfs/StdFileSystem.h"

// The real file system with faults on request: the Nth rename (counted from 1) fails with a
// file statement's error, or ends the process on the spot as a crash or a power cut would;
// renames of a named file fail; folders cannot be made; files cannot be opened for writing.
class FaultyFileSystem : public StdFileSystem {
public:
    struct Fault {
        int number = 0;            // the file statement's error number; 0: none
        std::string text;
    };
    int failRenameAt = 0;          // the Nth rename fails with `fault`
    std::string failRenamesOf;     // every rename whose source ends in this name fails
    Fault fault{FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText};
    int failRenamesAfterFirstFault = 0;  // so many renames after the first failure fail too
    int crashAtRename = 0;         // the Nth rename ends the process instead (exit status 9)
    bool failCreateFolder = false;
    bool failOpenForWrite = false;
    int renames = 0;
    std::vector<std::string> renamed;  // "from -> to" of every rename that went through

    void Rename(const std::string& from, const std::string& to) override {
        ++renames;
        if (crashAtRename != 0 && renames == crashAtRename) _exit(9);
        const bool named = !failRenamesOf.empty() && LastPathComponent(from) == failRenamesOf;
        if (named || renames == failRenameAt || pendingFaults_ > 0) {
            if (pendingFaults_ > 0) --pendingFaults_;
            else pendingFaults_ = failRenamesAfterFirstFault;
            throw AppError(fault.number, "FaultyFileSystem", fault.text);
        }
        StdFileSystem::Rename(from, to);
        renamed.push_back(from + " -> " + to);
    }
    void CreateFolder(const std::string& path) override {
        if (failCreateFolder)
            throw AppError(FileError::kPermissionDenied, "FaultyFileSystem",
                           FileError::kPermissionDeniedText);
        StdFileSystem::CreateFolder(path);
    }
    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override {
        if (failOpenForWrite)
            throw AppError(FileError::kDiskFull, "FaultyFileSystem", FileError::kDiskFullText);
        return StdFileSystem::OpenForWrite(path);
    }

private:
    int pendingFaults_ = 0;
};
