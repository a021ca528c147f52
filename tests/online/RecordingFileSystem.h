#pragma once

#include <string>
#include <vector>

#include "common/Paths.h"
#include "platform/IFileSystem.h"

// Passes the file operations on to a real file system and records them by file name.
class RecordingFileSystem : public IFileSystem {
public:
    explicit RecordingFileSystem(IFileSystem& inner) : inner_(inner) {}
    std::vector<std::string> calls;  // "Exists x", "Delete x", "SetNormal x", "OpenForWrite x"

    bool Exists(const std::string& path) override {
        calls.push_back("Exists " + LastPathComponent(path));
        return inner_.Exists(path);
    }
    void Delete(const std::string& path) override {
        calls.push_back("Delete " + LastPathComponent(path));
        inner_.Delete(path);
    }
    void SetNormalAttributes(const std::string& path) override {
        calls.push_back("SetNormal " + LastPathComponent(path));
        inner_.SetNormalAttributes(path);
    }
    std::unique_ptr<IBinaryWriter> OpenForWrite(const std::string& path) override {
        calls.push_back("OpenForWrite " + LastPathComponent(path));
        return inner_.OpenForWrite(path);
    }

private:
    IFileSystem& inner_;
};
