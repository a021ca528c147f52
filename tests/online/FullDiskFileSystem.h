#pragma once

#include <limits>
#include <memory>
#include <string>

#include "common/AppError.h"
#include "platform/stdfs/StdFileSystem.h"

// The real file system whose disk can run full: files opened for writing fail when closed (the
// last bytes unwritten), or writes that would take a file past `diskSpace` bytes fail.
class FullDiskFileSystem : public StdFileSystem {
public:
    bool failClose = false;
    std::size_t diskSpace = std::numeric_limits<std::size_t>::max();

    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override {
        return std::make_unique<Writer>(StdFileSystem::OpenForWrite(path), *this);
    }

private:
    class Writer : public IBinaryWriter {
    public:
        Writer(std::unique_ptr<IBinaryWriter> inner, const FullDiskFileSystem& disk)
            : inner_(std::move(inner)), disk_(disk) {}
        void Write(const char* data, std::size_t size) override {
            if (size > disk_.diskSpace - written_) Fail();
            inner_->Write(data, size);
            written_ += size;
        }
        void Close() override {
            inner_->Close();
            if (disk_.failClose) Fail();
        }

    private:
        [[noreturn]] static void Fail() {
            throw AppError(FileError::kDeviceIo, "FullDiskFileSystem", FileError::kDeviceIoText);
        }
        std::unique_ptr<IBinaryWriter> inner_;
        const FullDiskFileSystem& disk_;
        std::size_t written_ = 0;
    };
};
