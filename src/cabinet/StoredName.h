#pragma once

#include <cstdint>
#include <optional>
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

// The one spelling of a stored name: "\" between levels, "." and empty levels dropped, so that
// "Tarvik.exe", ".\Tarvik.exe" and "a\\b" against "a\b" are seen as the one file they are.
// Nothing when the name must not be written at all: it climbs out or is absolute (as
// StaysInside), holds a control character, or has a level that Windows refuses or reads as
// something else: one of <>:"|?*, a trailing dot or blank, or a device name (CON, PRN, AUX,
// NUL, COM0-9, LPT0-9, COM¹-COM³, LPT¹-LPT³, CONIN$, CONOUT$, with or without an extension).
// Refused on every platform: the cabinets are made for Windows folders.
std::optional<std::string> Normalise(std::string_view name);

// True when a file may be written under the name (Normalise gives one).
bool SafeToWrite(std::string_view name);

// True when the first level (letter case ignored) is the tool's own bookkeeping in the
// program folder: the staging folder, the backups or the lock file, or could be one of them
// by a short 8.3 alias Windows may give them ("TARVIK~1.BAK"). Such a name is refused like a name
// that climbs out: written, it would overwrite a live journal or a backup.
bool ReachesBookkeeping(std::string_view name);

// True for a path of plain relative levels (either separator): none empty, "." or "..", no
// drive, no control character. What a journal or manifest may hold.
bool IsPlainRelative(std::string_view path);

// "\" replaced by the native separator.
std::string ToNative(std::string_view name);

}  // namespace stored_name
