#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Tests prepare program folders, cabinets and settings files in it.
class TempFolder {
public:
    explicit TempFolder(std::string_view name = "velmora-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const;  // UTF-8

    // Writes bytes to a file below the folder, creating its folders.
    std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;
    static std::string Read(const std::filesystem::path& file);

private:
    std::filesystem::path path_;
};
