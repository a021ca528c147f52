#include "platform/mspack/CabinetProbe.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace cabinet_probe {
namespace {

constexpr std::uint16_t kHasReserve = 0x0004;
constexpr std::size_t kHeaderSize = 36;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool ReadAt(std::ifstream& in, std::uint64_t at, unsigned char* buffer, std::size_t size) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

std::uint32_t Checksum(const unsigned char* data, std::size_t size, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) sum ^= Le32(data + i);
    std::uint32_t rest = 0;
    for (; i < size; ++i) rest = (rest << 8) | data[i];
    return sum ^ rest;
}

struct Header {
    std::uint16_t folders = 0;
    std::uint16_t files = 0;
    std::uint16_t flags = 0;
    std::size_t folderReserve = 0;
    std::size_t dataReserve = 0;
    std::uint64_t foldersAt = kHeaderSize;
};

bool ReadHeader(std::ifstream& in, Header& h) {
    unsigned char b[kHeaderSize];
    if (!ReadAt(in, 0, b, sizeof b) || Le32(b) != 0x4643534D) return false;  // "MSCF"
    h.folders = Le16(b + 26);
    h.files = Le16(b + 28);
    h.flags = Le16(b + 30);
    if (h.flags & kHasReserve) {
        unsigned char r[4];
        if (!ReadAt(in, kHeaderSize, r, sizeof r)) return false;
        h.folderReserve = r[2];
        h.dataReserve = r[3];
        h.foldersAt = kHeaderSize + 4 + Le16(r);
    }
    return true;
}

}  // namespace

bool IsEmptyCabinet(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Header h;
    return in && ReadHeader(in, h) && h.files == 0;
}

bool FolderHasBadChecksum(const std::string& path, int folderIndex) {
    std::ifstream in(path, std::ios::binary);
    Header h;
    if (!in || !ReadHeader(in, h) || folderIndex < 0 || folderIndex >= h.folders) return false;
    unsigned char f[8];
    if (!ReadAt(in, h.foldersAt + static_cast<std::size_t>(folderIndex) * (8 + h.folderReserve), f, sizeof f)) return false;
    std::uint64_t at = Le32(f);
    const std::uint16_t blocks = Le16(f + 4);
    std::vector<unsigned char> data;
    for (std::uint16_t i = 0; i < blocks; ++i) {
        unsigned char d[8];
        if (!ReadAt(in, at, d, sizeof d)) return false;
        const std::uint32_t stored = Le32(d);
        const std::uint16_t size = Le16(d + 4);
        data.resize(size);
        if (!ReadAt(in, at + 8 + h.dataReserve, data.data(), data.size())) return false;
        // The sum covers the data, then the two size fields (libmspack leaves the reserved
        // bytes out, and its verdict is the one that failed the file).
        if (stored != 0 && Checksum(d + 4, 4, Checksum(data.data(), data.size(), 0)) != stored)
            return true;
        at += 8 + h.dataReserve + data.size();
    }
    return false;
}

}  // namespace cabinet_probe
