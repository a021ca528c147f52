#include "cabinet/StoredName.h"

#include <array>
#include <vector>

#include "cabinet/InstallLayout.h"
#include "cabinet/NameCompare.h"
#include "common/Cp1250.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "platform/ICabinetIterator.h"

namespace stored_name {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string_view> Levels(std::string_view name) {
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        levels.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Windows opens the device, not a file, for these names, whatever extension follows.
bool IsDeviceName(std::string_view level) {
    std::string base = Upper(level.substr(0, level.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const std::array<const char*, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$",
                                                      "CONOUT$"};
    for (const char* device : kPlain)
        if (base == device) return true;
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    const std::string digit = base.substr(3);
    if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
    // The superscript digits one to three, in UTF-8.
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

bool WindowsAllows(std::string_view level) {
    if (level.find_first_of("<>:\"|?*") != std::string_view::npos) return false;
    if (level.back() == '.' || level.back() == ' ') return false;
    return !IsDeviceName(level);
}

// "TARVIK~1.BAK", "TA3F2E~1.STA": a short alias Windows could have given one of the tool's
// own names (at most eight characters with "~" and digits at the end, and the extension cut
// from theirs: .stage, .bak, .lock).
bool IsShortAliasOfOwn(std::string_view level) {
    const auto dot = level.find('.');
    const std::string_view base = level.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? "" : level.substr(dot + 1);
    const auto tilde = base.find('~');
    if (tilde == std::string_view::npos || tilde == 0 || tilde + 1 >= base.size()) return false;
    if (base.size() > 8) return false;
    const std::string extension = Upper(ext);
    if (extension != "STA" && extension != "BAK" && extension != "LOC") return false;
    for (std::size_t i = tilde + 1; i < base.size(); ++i)
        if (base[i] < '0' || base[i] > '9') return false;
    return true;
}

}  // namespace

std::string ToText(std::string_view bytes, std::uint16_t attributes) {
    if (attributes & cabinet_api::kAttribUtf8Name) return std::string(bytes);
    return cp1250::ToUtf8(bytes);
}

bool StaysInside(std::string_view name) {
    if (name.empty()) return false;
    if (IsSeparator(name.front())) return false;
    if (name.find(':') != std::string_view::npos) return false;  // drives and stream names
    if (IsSeparator(name.back())) return false;
    for (std::string_view level : Levels(name))
        if (level == "..") return false;
    return true;
}

std::optional<std::string> Normalise(std::string_view name) {
    if (!StaysInside(name) || HasControlCharacters(name)) return std::nullopt;
    std::string out;
    for (std::string_view level : Levels(name)) {
        if (level.empty() || level == ".") continue;
        if (!WindowsAllows(level)) return std::nullopt;
        if (!out.empty()) out += '\\';
        out += level;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

bool SafeToWrite(std::string_view name) { return Normalise(name).has_value(); }

bool ReachesBookkeeping(std::string_view name) {
    std::string_view first = Levels(name).front();
    for (const char* own : {install_layout::kStaging, install_layout::kBackups, install_layout::kLock})
        if (EqualsIgnoreCase(first, own)) return true;
    return IsShortAliasOfOwn(first);
}

bool IsPlainRelative(std::string_view path) {
    if (path.empty() || path.find(':') != std::string_view::npos || HasControlCharacters(path))
        return false;
    for (std::string_view level : Levels(path))
        if (level.empty() || level == "." || level == "..") return false;
    return true;
}

std::string ToNative(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\\') c = kPathSeparator;
    return out;
}

}  // namespace stored_name
