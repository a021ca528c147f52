#pragma once

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/stdfs/StdFileSystem.h"

// The real file system with faults on request: the Nth rename (counted from 1) fails with a
// file statement's error, or ends the process on the spot as a crash or a power cut would;
// renames of a named file fail; folders cannot be made; files cannot be opened for writing.
// Every change (rename, delete, folder made or removed, file opened for writing) is a step:
// the process can also end at the Nth step or in the Nth write to a file, or stop before the
// Nth rename until another process lets it go.
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
    int crashAtStep = 0;           // the Nth change ends the process before it is made (status 9)
    int crashAtWrite = 0;          // the Nth write to a file ends the process before it is made
    int holdAtRename = 0;          // before the Nth rename, `hold` runs (a child held for a test)
    std::function<void()> hold;
    int renames = 0;
    int steps = 0;
    int writes = 0;
    std::vector<std::string> renamed;  // "from -> to" of every rename that went through

    void Rename(const std::string& from, const std::string& to) override {
        Step();
        ++renames;
        if (crashAtRename != 0 && renames == crashAtRename) _exit(9);
        if (hold && renames == holdAtRename) hold();
        const bool named = !failRenamesOf.empty() && LastPathComponent(from) == failRenamesOf;
        if (named || renames == failRenameAt || pendingFaults_ > 0) {
            if (pendingFaults_ > 0) --pendingFaults_;
            else pendingFaults_ = failRenamesAfterFirstFault;
            throw AppError(fault.number, "FaultyFileSystem", fault.text);
        }
        StdFileSystem::Rename(from, to);
        renamed.push_back(from + " -> " + to);
    }
    void Delete(const std::string& path) override {
        Step();
        StdFileSystem::Delete(path);
    }
    void RemoveFolder(const std::string& path) override {
        Step();
        StdFileSystem::RemoveFolder(path);
    }
    void CreateFolder(const std::string& path) override {
        Step();
        if (failCreateFolder)
            throw AppError(FileError::kPermissionDenied, "FaultyFileSystem",
                           FileError::kPermissionDeniedText);
        StdFileSystem::CreateFolder(path);
    }
    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override {
        Step();
        if (failOpenForWrite)
            throw AppError(FileError::kDiskFull, "FaultyFileSystem", FileError::kDiskFullText);
        auto writer = StdFileSystem::OpenForWrite(path);
        if (crashAtWrite == 0) return writer;
        return std::make_unique<CountedWriter>(std::move(writer), *this);
    }
    std::unique_ptr<IBinaryWriter> OpenForAppend(const std::string& path) override {
        Step();
        auto writer = StdFileSystem::OpenForAppend(path);
        if (crashAtWrite == 0) return writer;
        return std::make_unique<CountedWriter>(std::move(writer), *this);
    }

private:
    class CountedWriter : public IBinaryWriter {
    public:
        CountedWriter(std::unique_ptr<IBinaryWriter> inner, FaultyFileSystem& owner)
            : inner_(std::move(inner)), owner_(owner) {}
        void Write(const char* data, std::size_t size) override {
            if (++owner_.writes == owner_.crashAtWrite) _exit(9);
            inner_->Write(data, size);
        }
        void Flush() override { inner_->Flush(); }
        void Close() override { inner_->Close(); }

    private:
        std::unique_ptr<IBinaryWriter> inner_;
        FaultyFileSystem& owner_;
    };

    void Step() {
        if (++steps == crashAtStep) _exit(9);
    }
    int pendingFaults_ = 0;
};
