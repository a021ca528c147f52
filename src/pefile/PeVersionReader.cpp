#include "pefile/PeVersionReader.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/ByteView.h"
#include "pefile/PeImage.h"

// A file without a version resource is a failure (nullopt), not an empty version: "Tarvik.exe"
// always carries one, so its absence means a wrong or damaged file, and an empty version text
// would match no update cabinet and be stamped into the databases as if it were a version.
//
// The resource tree has exactly three levels (type, name, language), and the walk takes one step
// per level without recursing, so a directory that points back at itself or its parent cannot
// make it loop: at the language level it would find a subdirectory where a data entry must be,
// and stop there.

namespace {

constexpr std::uint32_t kResourceDirectory = 2;  // index in the optional header's data directory
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;

// VS_VERSIONINFO starts with wLength, wValueLength, wType and the UTF-16 key "VS_VERSION_INFO"
// with its terminator (6 + 32 bytes), padded to 32 bits; VS_FIXEDFILEINFO follows at 40.
constexpr std::size_t kKeyAt = 6;
constexpr std::string_view kVersionKey{"VS_VERSION_INFO\0", 16};
constexpr std::size_t kFixedInfoAt = 40;
constexpr std::uint16_t kFixedInfoSize = 52;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kNeededBytes = kFixedInfoAt + kFixedInfoSize;

// The resource directory's offsets are relative to its start; they must land in the image.
std::optional<std::uint32_t> ResourceRva(std::uint32_t base, std::uint32_t offset) {
    const std::uint64_t rva = std::uint64_t{base} + offset;
    if (rva > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(rva);
}

// The target field of an entry of the directory table at `tableOffset`: the one with the given
// ID, or the first entry (named or ID) when `id` is empty.
std::optional<std::uint32_t> FindEntry(PeImage& image, std::uint32_t base,
                                       std::uint32_t tableOffset, std::optional<std::uint32_t> id) {
    const auto tableRva = ResourceRva(base, tableOffset);
    if (!tableRva) return std::nullopt;
    const auto headerBytes = image.ReadRva(*tableRva, kDirectoryHeaderSize);
    if (!headerBytes) return std::nullopt;
    const ByteView header(*headerBytes);  // 16 bytes were read, so the counts are there
    const std::uint32_t named = *header.U16(12);
    const std::uint32_t ids = *header.U16(14);

    // Named entries come first, then the ID entries; only the ones searched are read, and a
    // count larger than the section holds fails in the read (at most 65535 entries of 8 bytes).
    const std::uint64_t firstAt = std::uint64_t{tableOffset} + kDirectoryHeaderSize;
    const std::uint64_t searchedAt = id ? firstAt + named * kDirectoryEntrySize : firstAt;
    const std::uint32_t searched = id ? ids : std::min<std::uint32_t>(named + ids, 1);
    if (searched == 0 || searchedAt > UINT32_MAX) return std::nullopt;
    const auto entriesRva = ResourceRva(base, static_cast<std::uint32_t>(searchedAt));
    if (!entriesRva) return std::nullopt;
    const auto entryBytes = image.ReadRva(*entriesRva, searched * kDirectoryEntrySize);
    if (!entryBytes) return std::nullopt;
    const ByteView entries(*entryBytes);
    for (std::uint32_t i = 0; i < searched; ++i) {
        const std::size_t at = std::size_t{i} * kDirectoryEntrySize;
        if (!id || *entries.U32(at) == *id) return *entries.U32(at + 4);
    }
    return std::nullopt;
}

struct DataEntry {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Type RT_VERSION by ID, then the first name, then the first language, to the data entry.
std::optional<DataEntry> FindVersionResource(PeImage& image) {
    const auto directory = image.Directory(kResourceDirectory);
    if (!directory) return std::nullopt;
    const std::uint32_t base = directory->rva;

    const auto type = FindEntry(image, base, 0, kRtVersion);
    if (!type || !(*type & kSubdirectoryFlag)) return std::nullopt;
    const auto name = FindEntry(image, base, *type & ~kSubdirectoryFlag, std::nullopt);
    if (!name || !(*name & kSubdirectoryFlag)) return std::nullopt;
    const auto language = FindEntry(image, base, *name & ~kSubdirectoryFlag, std::nullopt);
    if (!language || (*language & kSubdirectoryFlag)) return std::nullopt;

    const auto entryRva = ResourceRva(base, *language);
    if (!entryRva) return std::nullopt;
    const auto entryBytes = image.ReadRva(*entryRva, kDataEntrySize);
    if (!entryBytes) return std::nullopt;
    const ByteView entry(*entryBytes);
    return DataEntry{*entry.U32(0), *entry.U32(4)};
}

std::optional<PeFileVersion> ParseFixedFileInfo(const ByteView& info, std::uint32_t declaredSize) {
    const auto length = info.U16(0);
    const auto valueLength = info.U16(2);
    const auto key = info.Sub(kKeyAt, kVersionKey.size() * 2);
    const auto signature = info.U32(kFixedInfoAt);
    if (!length || !valueLength || !key || !signature) return std::nullopt;
    // wType is not needed to find the fixed info and is not checked.
    if (*length < kNeededBytes || *length > declaredSize || *valueLength < kFixedInfoSize) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kVersionKey.size(); ++i) {
        if (key->U16(i * 2) != static_cast<std::uint16_t>(kVersionKey[i])) return std::nullopt;
    }
    if (*signature != kFixedInfoSignature) return std::nullopt;
    const std::uint32_t ms = *info.U32(kFixedInfoAt + 8);
    const std::uint32_t ls = *info.U32(kFixedInfoAt + 12);
    return PeFileVersion{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
                         static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
}

}  // namespace

std::string PeFileVersion::ToText() const {
    return std::to_string(major) + '.' + std::to_string(minor) + '.' + std::to_string(build) + '.' +
           std::to_string(revision);
}

std::optional<PeFileVersion> ReadPeFileVersion(const std::string& path) {
    auto image = PeImage::Open(path);
    if (!image) return std::nullopt;
    const auto resource = FindVersionResource(*image);
    // The whole declared resource must lie in the file, though only its head is read: a size
    // that runs past the section or wraps around 4 GB marks a damaged file.
    if (!resource || resource->size < kNeededBytes || !image->Maps(resource->rva, resource->size)) {
        return std::nullopt;
    }
    const auto head = image->ReadRva(resource->rva, kNeededBytes);
    if (!head) return std::nullopt;
    return ParseFixedFileInfo(ByteView(*head), resource->size);
}
