#pragma once

#include <optional>
#include <string>

// Paths the setup library can take. Its cabinet code works on ANSI paths underneath even behind
// the wide-character call (Wine converts them with the machine's code page, and the cabinet
// engine it calls has only an ANSI interface), so a letter outside that code page (a "č" on a
// Western European Windows) would send it to a path that does not exist.
namespace ansi_paths {

// True when the path survives the trip through the machine's ANSI code page unchanged.
bool IsAnsiSafe(const std::wstring& path);

// The absolute form of a path (relative ones against the working folder), or none.
std::optional<std::wstring> FullPath(const std::wstring& path);

// An existing file's or folder's path in a form that survives that trip: its absolute form, or
// else that form's short (8.3) form. None when neither does (short names switched off on that
// volume).
std::optional<std::wstring> AnsiForm(const std::wstring& existingPath);

// The system's temporary folder in such a form, with its trailing "\", or none.
std::optional<std::wstring> AnsiTempFolder();

}  // namespace ansi_paths
