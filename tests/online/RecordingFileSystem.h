#pragma once

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
        auto writer = inner_.OpenForWrite(path);
        if (!failClose) return writer;
        return std::make_unique<FailingCloseWriter>(std::move(writer));
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
    class FailingCloseWriter : public IBinaryWriter {
    public:
        explicit FailingCloseWriter(std::unique_ptr<IBinaryWriter> inner) : inner_(std::move(inner)) {}
        void Write(const char* data, std::size_t size) override { inner_->Write(data, size); }
        void Close() override {
            inner_->Close();
            throw AppError(FileError::kDeviceIo, "RecordingFileSystem", FileError::kDeviceIoText);
        }

    private:
        std::unique_ptr<IBinaryWriter> inner_;
    };

    void Record(const std::string& call) {
        calls.push_back(call);
        if (trace) trace->push_back("file " + call);
    }
    IFileSystem& inner_;
};
