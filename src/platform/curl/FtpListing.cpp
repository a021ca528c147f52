#include "platform/curl/FtpListing.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The fields of a line, each with the offset where it starts.
struct Field {
    std::string_view text;
    std::size_t offset;
};

std::vector<Field> SplitFields(std::string_view line) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) fields.push_back({line.substr(start, i - start), start});
    }
    return fields;
}

bool ParseSize(std::string_view text, std::uint64_t& size) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    return error == std::errc() && end == text.data() + text.size();
}

bool IsMonth(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (std::string_view month : kMonths) {
        if (text.size() == 3 && (text[0] | 0x20) == (month[0] | 0x20) &&
            (text[1] | 0x20) == month[1] && (text[2] | 0x20) == month[2]) {
            return true;
        }
    }
    return false;
}

FindRecord Record(std::string_view name, std::uint64_t size, bool folder) {
    FindRecord record;
    record.fileName = std::string(name);
    record.sizeLow = static_cast<std::uint32_t>(size);
    record.attributes = folder ? kFileAttributeDirectory : kFileAttributeNormal;
    return record;
}

// "-rw-r--r--  1 owner group  1024 Dec 08 14:00 name": the size stands before the month, the
// name after the time or year, which follows the month and the day.
bool ParseUnixLine(std::string_view line, FindRecord& record) {
    const auto fields = SplitFields(line);
    if (fields.size() < 6 || fields[0].text.size() < 10) return false;
    const char type = fields[0].text[0];
    if (type != '-' && type != 'd' && type != 'l') return false;
    for (std::size_t m = 2; m + 3 < fields.size(); ++m) {
        std::uint64_t size = 0;
        if (!IsMonth(fields[m].text) || !ParseSize(fields[m - 1].text, size)) continue;
        std::string_view name = line.substr(fields[m + 3].offset);
        while (!name.empty() && (name.back() == '\r' || IsBlank(name.back()))) name.remove_suffix(1);
        if (type == 'l') {
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) name = name.substr(0, arrow);
        }
        if (name.empty()) return false;
        record = Record(name, size, type == 'd');
        return true;
    }
    return false;
}

// "12-08-26  02:00PM       <DIR>          name" or "... 1024 name".
bool ParseWindowsLine(std::string_view line, FindRecord& record) {
    const auto fields = SplitFields(line);
    if (fields.size() < 4) return false;
    const std::string_view date = fields[0].text;
    if (date.size() < 8 || date[2] != '-' || date[5] != '-') return false;
    const bool folder = fields[2].text == "<DIR>";
    std::uint64_t size = 0;
    if (!folder && !ParseSize(fields[2].text, size)) return false;
    std::string_view name = line.substr(fields[3].offset);
    while (!name.empty() && (name.back() == '\r' || IsBlank(name.back()))) name.remove_suffix(1);
    if (name.empty()) return false;
    record = Record(name, size, folder);
    return true;
}

}  // namespace

std::vector<FindRecord> ParseFtpListing(std::string_view listing) {
    std::vector<FindRecord> records;
    while (!listing.empty()) {
        const std::size_t end = listing.find('\n');
        const std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
        FindRecord record;
        if (ParseUnixLine(line, record) || ParseWindowsLine(line, record)) {
            records.push_back(std::move(record));
        }
    }
    return records;
}
