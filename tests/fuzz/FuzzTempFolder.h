#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// A folder of this fuzzing process's own, for the readers that take a path: made on first use,
// removed when the process ends normally. Every input is written there, so it lies in memory
// (/dev/shm) where the system has such a folder: on a disk the writes cost most of the run.
// A crashing process leaves the folder behind for inspection.
class FuzzTempFolder {
public:
    static FuzzTempFolder& Instance() {
        static FuzzTempFolder folder;
        return folder;
    }

    const std::filesystem::path& Path() const { return path_; }

    // Writes `bytes` as the whole content of `name` in the folder and returns its path.
    std::string Write(const std::string& name, std::string_view bytes) const {
        const auto file = path_ / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) std::abort();  // a fuzzer that cannot write its input would test nothing
        return file.string();
    }

    FuzzTempFolder(const FuzzTempFolder&) = delete;
    FuzzTempFolder& operator=(const FuzzTempFolder&) = delete;

private:
    FuzzTempFolder() {
        std::error_code noShm;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", noShm)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "velmora-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~FuzzTempFolder() {
        std::error_code ignored;  // the folder is scratch: a failure leaves litter, no error
        std::filesystem::remove_all(path_, ignored);
    }

    std::filesystem::path path_;
};
