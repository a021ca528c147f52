#pragma once

#include <limits>
#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/IFileSystem.h"

// Passes the file operations on to a real file system and records them by file name.
class RecordingFileSystem : public IFileSystem {
public:
    explicit RecordingFileSystem(IFileSystem& inner) : inner_(inner) {}
    std::vector<std::string> calls;  // "Exists x", "Delete x", "SetNormal x", "OpenForWrite x"
    // When set, every call is also noted here ("file Exists x").
    std::vector<std::string>* trace = nullptr;
    // Files opened for writing fail when closed, as on a full disk (the last bytes unwritten).
    bool failClose = false;
    // Writes that would take a file past this many bytes fail, as on a full disk.
    std::size_t diskSpace = std::numeric_limits<std::size_t>::max();

    bool Exists(const std::string& path) override {
        Record("Exists " + LastPathComponent(path));
        return inner_.Exists(path);
    }
    void Delete(const std::string& path) override {
        Record("Delete " + LastPathComponent(path));
        inner_.Delete(path);
    }
    void SetNormalAttributes(const std::string& path) override {
        Record("SetNormal " + LastPathComponent(path));
        inner_.SetNormalAttributes(path);
    }
    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override {
        Record("OpenForWrite " + LastPathComponent(path));
        return std::make_unique<FaultyWriter>(inner_.OpenForWrite(path), failClose, diskSpace);
    }

    // The installation's operations pass through unrecorded: the tests of the download pin
    // its own calls.
    std::string ReadAll(const std::string& path) override { return inner_.ReadAll(path); }
    void Rename(const std::string& from, const std::string& to) override {
        inner_.Rename(from, to);
    }
    bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
    void CreateFolder(const std::string& path) override { inner_.CreateFolder(path); }
    void RemoveFolder(const std::string& path) override { inner_.RemoveFolder(path); }
    std::vector<FolderEntry> ListFolder(const std::string& path) override {
        return inner_.ListFolder(path);
    }
    void SetHidden(const std::string& path) override { inner_.SetHidden(path); }

private:
    class FaultyWriter : public IBinaryWriter {
    public:
        FaultyWriter(std::unique_ptr<IBinaryWriter> inner, bool failClose, std::size_t space)
            : inner_(std::move(inner)), failClose_(failClose), space_(space) {}
        void Write(const char* data, std::size_t size) override {
            if (size > space_ - written_) Fail();
            inner_->Write(data, size);
            written_ += size;
        }
        void Close() override {
            inner_->Close();
            if (failClose_) Fail();
        }

    private:
        [[noreturn]] static void Fail() {
            throw AppError(FileError::kDeviceIo, "RecordingFileSystem", FileError::kDeviceIoText);
        }
        std::unique_ptr<IBinaryWriter> inner_;
        bool failClose_;
        std::size_t space_;
        std::size_t written_ = 0;
    };

    void Record(const std::string& call) {
        calls.push_back(call);
        if (trace) trace->push_back("file " + call);
    }
    IFileSystem& inner_;
};
