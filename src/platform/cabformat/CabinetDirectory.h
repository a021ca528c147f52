#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

// The file list of one cabinet, read from its own records (the CFHEADER, CFFOLDER and CFFILE
// structures of the cabinet format), and the checksums of its data blocks: what a cabinet
// library does not tell. The stored name bytes and the UTF-8 attribute bit let a name stored in
// Windows-1250 read the same on every machine; the stored size tells a file left short apart
// from a whole one; the checksums tell a damaged block from a damaged stream, which libraries
// report as one error.
class CabinetDirectory {
public:
    struct File {
        std::string name;  // the stored bytes, "\" between folders
        std::uint32_t size = 0;
        std::uint32_t offsetInFolder = 0;
        std::uint16_t folder = 0;
        std::uint16_t date = 0;
        std::uint16_t time = 0;
        std::uint16_t attribs = 0;

        // Files continued from a previous cabinet of a set are not announced in this one.
        bool ContinuedFromPrevious() const { return folder == 0xFFFD || folder == 0xFFFF; }
    };

    // Reads up to `count` bytes at `offset` into `buffer`; returns how many it read (fewer at
    // the end of the file or after a read error).
    using ReadAt = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t count)>;

    // Reads from a binary stream, which must outlive the reader.
    static ReadAt StreamReader(std::istream& in);

    // Reads the header and the file records. False when the bytes are not a whole cabinet
    // directory (bad signature, records cut short).
    bool Read(const ReadAt& read);

    const std::vector<File>& Files() const { return files_; }

    // True when a data block of the folder holds a non-zero checksum that does not match its
    // bytes; unreadable blocks give false (their fault is the truncation, not the checksum).
    bool FolderHasBadChecksum(const ReadAt& read, std::uint16_t folder) const;

private:
    struct Folder {
        std::uint32_t firstBlockAt = 0;
        std::uint16_t blocks = 0;
    };

    std::vector<File> files_;
    std::vector<Folder> folders_;
    std::size_t dataReserve_ = 0;
};
