#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/ByteView.h"

// The headers of a Windows executable (PE32 or PE32+) opened from a file, and bounds-checked reads
// of the few ranges a caller needs beyond them. The file is never loaded whole: an executable may
// be hundreds of megabytes while its headers and version resource are a few kilobytes.
//
// Every size and offset comes from the file, so every one is checked against the file's length
// before it is used; a file that is not a PE image, or whose headers point outside it, does not
// open (nullopt). No member throws for bad input.
class PeImage {
public:
    struct DataDirectory {
        std::uint32_t rva = 0;
        std::uint32_t size = 0;
    };

    static std::optional<PeImage> Open(const std::string& path);

    // Entry `index` of the optional header's data directory (2 is the resource directory), or
    // nullopt when the header has fewer entries.
    std::optional<DataDirectory> Directory(std::uint32_t index) const;

    // Whether [rva, rva + size) of the loaded image lies wholly in the raw data of one section
    // and inside the file (a truncated file may declare more raw data than it has).
    bool Maps(std::uint32_t rva, std::uint32_t size) const;

    // The bytes at [rva, rva + size) of the loaded image, read from the section that holds them
    // in the file; nullopt when no section's raw data holds the whole range, or the read fails.
    std::optional<std::vector<std::uint8_t>> ReadRva(std::uint32_t rva, std::uint32_t size);

private:
    struct Section {
        std::uint32_t virtualAddress = 0;
        std::uint32_t virtualSize = 0;
        std::uint32_t rawSize = 0;
        std::uint32_t rawPointer = 0;
    };

    PeImage(std::ifstream file, std::uint64_t fileSize)
        : file_(std::move(file)), fileSize_(fileSize) {}

    bool ReadHeaders();
    std::optional<std::vector<std::uint8_t>> ReadAt(std::uint64_t offset, std::uint32_t size);
    std::optional<std::uint64_t> FileOffsetOf(std::uint32_t rva, std::uint32_t size) const;

    std::ifstream file_;
    std::uint64_t fileSize_ = 0;
    std::vector<std::uint8_t> optionalHeader_;
    std::uint32_t directoryOffset_ = 0;  // of the data directory within the optional header
    std::uint32_t directoryCount_ = 0;
    std::vector<Section> sections_;
};
