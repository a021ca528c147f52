#include "online/CabinetChoice.h"

#include "common/Strings.h"

namespace {
constexpr std::size_t kNumberTextLimit = 100;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of the 1-based character `position`, or the text's size when it is past the end.
std::size_t OffsetOfChar(std::string_view utf8, std::size_t position) {
    std::size_t offset = 0;
    for (std::size_t seen = 1; seen < position && offset < utf8.size(); ++seen) {
        ++offset;
        while (offset < utf8.size() && IsContinuationByte(utf8[offset])) ++offset;
    }
    return offset;
}
}  // namespace

std::string SearchMask(std::string_view currentDirectory) {
    const bool endsInSlash = !currentDirectory.empty() && currentDirectory.back() == '/';
    return std::string(currentDirectory) + (endsInSlash ? "Tn*.cab" : "/Tn*.cab");
}

std::string ListingEntry(std::string_view name, std::uint32_t sizeLow) {
    return std::string(name) + "@" + std::to_string(static_cast<std::int32_t>(sizeLow));
}

std::string VersionKey(std::string_view programVersion) {
    return ReplaceAll(programVersion, ".", "");
}

std::string MidChars(std::string_view utf8, std::size_t start, std::size_t length) {
    const std::size_t begin = OffsetOfChar(utf8, start);
    const std::size_t end = begin + OffsetOfChar(utf8.substr(begin), length + 1);
    return std::string(utf8.substr(begin, end - begin));
}

CabinetChoice ChooseCabinet(const std::vector<std::string>& entries, std::string_view key) {
    CabinetChoice choice;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (MidChars(entries[i], 4, 3) == key) {
            choice.index = static_cast<int>(i);
            return choice;
        }
    }
    choice.offerReinstall = !entries.empty() && MidChars(entries.back(), 8, 3) == key;
    return choice;
}

std::string EntryName(std::string_view entry) {
    return std::string(entry.substr(0, entry.find('@')));
}

std::string EntrySizeText(std::string_view entry) {
    const std::size_t at = entry.find('@');
    return at == std::string_view::npos ? std::string() : std::string(entry.substr(at + 1));
}

std::int64_t LeadingNumber(std::string_view text) {
    text = text.substr(0, kNumberTextLimit);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{1} << 53;  // far beyond any 32-bit size
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < kLimit; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}
