#include "cabinet/StoredName.h"

#include "common/Cp1250.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "platform/ICabinetIterator.h"

namespace stored_name {

std::string ToText(std::string_view bytes, std::uint16_t attributes) {
    if (attributes & cabinet_api::kAttribUtf8Name) return std::string(bytes);
    return cp1250::ToUtf8(bytes);
}

bool StaysInside(std::string_view name) {
    if (name.empty()) return false;
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    if (isSeparator(name.front())) return false;
    if (name.find(':') != std::string_view::npos) return false;  // drives and stream names
    if (isSeparator(name.back())) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

bool SafeToWrite(std::string_view name) { return StaysInside(name) && !HasControlCharacters(name); }

std::string ToNative(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c == '\\') c = kPathSeparator;
    return out;
}

}  // namespace stored_name
