#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Names as a cabinet stores them: bytes with "\" between folders, UTF-8 when the attribute
// flag says so and Windows-1250 otherwise.
namespace stored_name {

// The stored bytes as UTF-8 text.
std::string ToText(std::string_view bytes, std::uint16_t attributes);

// True when the name, placed below a target folder, stays inside it: not empty, not absolute,
// no drive ("X:"), no ".." level and no empty last level. "/" counts as a separator too, since
// it is one on every platform the cabinet may be unpacked on.
bool StaysInside(std::string_view name);

// True when a file may be written under the name: it stays inside (above) and holds no control
// character. A name with ESC, CR, LF and the like would carry terminal escapes and forged lines
// into every listing of the folder, and on some systems cannot be created at all.
bool SafeToWrite(std::string_view name);

// "\" replaced by the native separator.
std::string ToNative(std::string_view name);

}  // namespace stored_name
