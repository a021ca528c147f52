#pragma once

#include <cstddef>

// Where an installation keeps its work inside the program folder. The staging folder lies in
// the program folder itself so that each file reaches its place by a rename on the same volume;
// its name starts with a dot, and the platform's hidden mark is set where there is one.
namespace install_layout {
inline constexpr const char* kStaging = ".Tarvik_Upg.stage";
inline constexpr const char* kStagedFiles = "files";       // below the staging folder
inline constexpr const char* kSetAside = "undo";           // a restore's files moved out of place
inline constexpr const char* kJournal = "journal.txt";     // below the staging folder
inline constexpr const char* kProgress = "done.txt";       // below the staging folder
// Held open and locked by every program for its whole run in the folder: one run at a time.
inline constexpr const char* kLock = ".Tarvik_Upg.lock";
inline constexpr const char* kBackups = "Tarvik_Upg.bak";  // one folder per installation
inline constexpr const char* kManifestSuffix = ".lst";     // beside each backup folder
inline constexpr std::size_t kKeptBackups = 3;
}  // namespace install_layout
