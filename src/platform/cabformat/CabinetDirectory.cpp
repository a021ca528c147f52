#include "platform/cabformat/CabinetDirectory.h"

#include "common/ByteView.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kSignature = 0x4643534D;  // "MSCF"
constexpr std::uint16_t kHasPrevious = 0x0001;
constexpr std::uint16_t kHasNext = 0x0002;
constexpr std::uint16_t kHasReserve = 0x0004;
constexpr std::size_t kHeaderSize = 36;
constexpr std::size_t kFileRecordSize = 16;
constexpr std::size_t kMaxName = 256;  // the format's limit, NUL included

// The format's checksum: the 32-bit little-endian words XORed, the 1 to 3 bytes left over
// taken big-endian.
std::uint32_t Checksum(const unsigned char* data, std::size_t size, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t i = 0;
    const ByteView view({data, size});
    for (; i + 4 <= size; i += 4) sum ^= *view.U32(i);
    std::uint32_t rest = 0;
    for (; i < size; ++i) rest = (rest << 8) | data[i];
    return sum ^ rest;
}

// Sequential reads through a window of the file, so a directory of many small records costs
// a few reads rather than one per record (each read is a system call).
class Cursor {
public:
    Cursor(const CabinetDirectory::ReadAt& read, std::uint64_t at) : read_(read), at_(at) {}

    bool Take(void* out, std::size_t count) {
        if (!Fill(count)) return false;
        // An empty reserve comes as an empty vector, whose data() may be null.
        if (count != 0) std::memcpy(out, window_ + used_, count);
        used_ += count;
        return true;
    }

    // A NUL-terminated string of at most kMaxName bytes, NUL included.
    bool TakeString(std::string& out) {
        Fill(kMaxName);  // a short fill is fine: the string may end before the file does
        const char* start = reinterpret_cast<const char*>(window_ + used_);
        const void* nul = std::memchr(start, 0, std::min(filled_ - used_, kMaxName));
        if (nul == nullptr) return false;
        out.assign(start, static_cast<const char*>(nul));
        used_ += out.size() + 1;
        return true;
    }

private:
    bool Fill(std::size_t count) {
        if (filled_ - used_ >= count) return true;
        std::memmove(window_, window_ + used_, filled_ - used_);
        at_ += used_;
        filled_ -= used_;
        used_ = 0;
        filled_ += read_(at_ + filled_, window_ + filled_, sizeof window_ - filled_);
        return filled_ >= count;
    }

    const CabinetDirectory::ReadAt& read_;
    std::uint64_t at_;  // file offset of window_[0]
    unsigned char window_[8192];
    std::size_t filled_ = 0;
    std::size_t used_ = 0;
};

bool Exact(const CabinetDirectory::ReadAt& read, std::uint64_t at, void* out, std::size_t count) {
    return read(at, out, count) == count;
}

}  // namespace

CabinetDirectory::ReadAt CabinetDirectory::StreamReader(std::istream& in) {
    return [&in](std::uint64_t at, void* buffer, std::size_t count) -> std::size_t {
        in.clear();
        in.seekg(static_cast<std::streamoff>(at));
        in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in.gcount());
    };
}

bool CabinetDirectory::Read(const ReadAt& read) {
    files_.clear();
    folders_.clear();
    std::uint8_t bytes[kHeaderSize];
    const ByteView h(bytes);
    if (!Exact(read, 0, bytes, sizeof bytes) || *h.U32(0) != kSignature) return false;
    const std::uint32_t filesAt = *h.U32(16);
    const std::uint16_t folderCount = *h.U16(26);
    const std::uint16_t fileCount = *h.U16(28);
    const std::uint16_t flags = *h.U16(30);

    Cursor header(read, kHeaderSize);
    std::size_t folderReserve = 0;
    dataReserve_ = 0;
    if (flags & kHasReserve) {
        std::uint8_t r[4];
        if (!header.Take(r, sizeof r)) return false;
        folderReserve = r[2];
        dataReserve_ = r[3];
        std::vector<unsigned char> skipped(*ByteView(r).U16(0));
        if (!header.Take(skipped.data(), skipped.size())) return false;
    }
    // The previous and next cabinet and disk names stand between the header and the folders.
    std::string skippedName;
    for (int names = ((flags & kHasPrevious) ? 2 : 0) + ((flags & kHasNext) ? 2 : 0); names > 0;
         --names)
        if (!header.TakeString(skippedName)) return false;

    std::vector<unsigned char> reserve(folderReserve);
    for (std::uint16_t i = 0; i < folderCount; ++i) {
        std::uint8_t f[8];
        if (!header.Take(f, sizeof f) || !header.Take(reserve.data(), reserve.size())) return false;
        folders_.push_back({*ByteView(f).U32(0), *ByteView(f).U16(4)});
    }

    Cursor records(read, filesAt);
    files_.reserve(fileCount);
    for (std::uint16_t i = 0; i < fileCount; ++i) {
        std::uint8_t record[kFileRecordSize];
        const ByteView r(record);
        File file;
        if (!records.Take(record, sizeof record) || !records.TakeString(file.name)) return false;
        file.size = *r.U32(0);
        file.offsetInFolder = *r.U32(4);
        file.folder = *r.U16(8);
        file.date = *r.U16(10);
        file.time = *r.U16(12);
        file.attribs = *r.U16(14);
        files_.push_back(std::move(file));
    }
    return true;
}

bool CabinetDirectory::FolderHasBadChecksum(const ReadAt& read, std::uint16_t folder) const {
    if (folder >= folders_.size()) return false;
    std::uint64_t at = folders_[folder].firstBlockAt;
    std::vector<unsigned char> data;
    for (std::uint16_t i = 0; i < folders_[folder].blocks; ++i) {
        unsigned char d[8];
        if (!Exact(read, at, d, sizeof d)) return false;
        const std::uint32_t stored = *ByteView(d).U32(0);
        data.resize(*ByteView(d).U16(4));
        if (!Exact(read, at + 8 + dataReserve_, data.data(), data.size())) return false;
        // The sum covers the data, then the two size fields; the reserved bytes stay out (as
        // in the libraries, whose verdict is the one that failed the file).
        if (stored != 0 && Checksum(d + 4, 4, Checksum(data.data(), data.size(), 0)) != stored)
            return true;
        at += 8 + dataReserve_ + data.size();
    }
    return false;
}
