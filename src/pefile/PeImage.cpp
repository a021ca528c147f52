#include "pefile/PeImage.h"

#include <algorithm>
#include <utility>

#include "common/Paths.h"

namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr std::uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kDosHeaderSize = 64;
constexpr std::uint32_t kLfanewAt = 0x3C;
constexpr std::uint32_t kNtHeadersSize = 24;  // signature and COFF file header
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kDirectoryEntrySize = 8;

// No single read of this reader needs more: the largest is a section table of 65535 entries
// (2.6 MB). The cap keeps a hostile size from becoming a huge allocation even on a huge file.
constexpr std::uint32_t kMaxRead = 16u << 20;

}  // namespace

std::optional<PeImage> PeImage::Open(const std::string& path) {
    std::ifstream file(FsPath(path), std::ios::binary);
    if (!file) return std::nullopt;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (!file || size < 0) return std::nullopt;
    PeImage image(std::move(file), static_cast<std::uint64_t>(size));
    if (!image.ReadHeaders()) return std::nullopt;
    return image;
}

bool PeImage::ReadHeaders() {
    const auto dosBytes = ReadAt(0, kDosHeaderSize);
    if (!dosBytes) return false;
    const ByteView dos(*dosBytes);
    const auto lfanew = dos.U32(kLfanewAt);
    if (dos.U16(0) != kDosMagic || !lfanew) return false;

    const auto ntBytes = ReadAt(*lfanew, kNtHeadersSize);
    if (!ntBytes) return false;
    const ByteView nt(*ntBytes);
    const auto sectionCount = nt.U16(6);
    const auto optionalSize = nt.U16(20);
    if (nt.U32(0) != kPeSignature || !sectionCount || !optionalSize) return false;

    const std::uint64_t optionalAt = std::uint64_t{*lfanew} + kNtHeadersSize;
    auto optional = ReadAt(optionalAt, *optionalSize);
    if (!optional) return false;
    optionalHeader_ = std::move(*optional);
    const ByteView header(optionalHeader_);
    // PE32+ drops BaseOfData and widens the image base and the four stack and heap sizes to
    // 64 bits, so its data directory starts 16 bytes further on.
    std::uint32_t countAt = 0;
    const auto magic = header.U16(0);
    if (magic == kPe32Magic) {
        countAt = 92;
    } else if (magic == kPe32PlusMagic) {
        countAt = 108;
    } else {
        return false;
    }
    const auto declaredCount = header.U32(countAt);
    if (!declaredCount) return false;
    directoryOffset_ = countAt + 4;
    // Only the entries that lie inside the optional header exist, whatever the count claims.
    const std::size_t room = optionalHeader_.size() > directoryOffset_
                                 ? (optionalHeader_.size() - directoryOffset_) / kDirectoryEntrySize
                                 : 0;
    directoryCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(*declaredCount, room));

    const auto tableBytes =
        ReadAt(optionalAt + *optionalSize, std::uint32_t{*sectionCount} * kSectionHeaderSize);
    if (!tableBytes) return false;
    const ByteView table(*tableBytes);
    sections_.reserve(*sectionCount);
    for (std::uint32_t i = 0; i < *sectionCount; ++i) {
        const std::size_t at = i * kSectionHeaderSize;
        sections_.push_back(Section{.virtualAddress = *table.U32(at + 12),
                                    .virtualSize = *table.U32(at + 8),
                                    .rawSize = *table.U32(at + 16),
                                    .rawPointer = *table.U32(at + 20)});
    }
    return true;
}

std::optional<PeImage::DataDirectory> PeImage::Directory(std::uint32_t index) const {
    if (index >= directoryCount_) return std::nullopt;
    const ByteView header(optionalHeader_);
    const std::size_t at = directoryOffset_ + std::size_t{index} * kDirectoryEntrySize;
    const auto rva = header.U32(at);
    const auto size = header.U32(at + 4);
    if (!rva || !size) return std::nullopt;
    return DataDirectory{*rva, *size};
}

bool PeImage::Maps(std::uint32_t rva, std::uint32_t size) const {
    const auto offset = FileOffsetOf(rva, size);
    return offset && *offset <= fileSize_ && size <= fileSize_ - *offset;
}

std::optional<std::vector<std::uint8_t>> PeImage::ReadRva(std::uint32_t rva, std::uint32_t size) {
    const auto offset = FileOffsetOf(rva, size);
    if (!offset) return std::nullopt;
    return ReadAt(*offset, size);
}

std::optional<std::uint64_t> PeImage::FileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
    // 64-bit arithmetic throughout: rva + size may not fit in 32 bits in a hostile file.
    const std::uint64_t end = std::uint64_t{rva} + size;
    for (const Section& s : sections_) {
        // Bytes past the virtual size are file padding, not part of the loaded section; a zero
        // virtual size is taken as the raw size, as linkers of old did.
        const std::uint32_t length =
            s.virtualSize == 0 ? s.rawSize : std::min(s.rawSize, s.virtualSize);
        const std::uint64_t start = s.virtualAddress;
        if (rva >= start && end <= start + length) return s.rawPointer + (rva - start);
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> PeImage::ReadAt(std::uint64_t offset, std::uint32_t size) {
    if (size > kMaxRead || offset > fileSize_ || size > fileSize_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!file_ || file_.gcount() != static_cast<std::streamsize>(size)) return std::nullopt;
    return bytes;
}
