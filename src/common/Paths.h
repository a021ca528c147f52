#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The program's own paths are native. This is the one header that knows which separator the
// operating system uses; cabinet names, which always use "\", are mapped where they reach disk.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// folder + separator + name; a folder that already ends in the separator (a root) gets none more.
std::string JoinPath(std::string_view folder, std::string_view name);

// The text after the last separator, or the whole path when it has none. A root folder gives "".
std::string LastPathComponent(std::string_view path);

// A native UTF-8 path as the standard library's path type, and back. On Windows a plain
// std::string path would be read in the machine's ANSI code page, so Croatian letters in a
// folder name would reach the wrong file; these keep UTF-8 exact on every platform. Open
// streams and call std::filesystem with FsPath(path), never with the string itself.
// On Windows a path too long for the system's ordinary form comes in the long form (see
// LongPathForm), so that every call made with it reaches the file.
std::filesystem::path FsPath(std::string_view utf8Path);
std::string Utf8Path(const std::filesystem::path& path);

#ifdef _WIN32
// Windows takes a path of 260 UTF-16 units or more (a folder to be made: 248) only in the
// "\\?\" form, which it uses as it is, without resolving anything. An absolute path that long,
// with no "." or ".." level, comes back in that form ("\\?\UNC\" for a share); every other
// path comes back unchanged.
std::wstring LongPathForm(std::wstring_view path);
#endif
