#pragma once

// The texts and file names that more than one subsystem shows or uses.
namespace run_text {
inline constexpr const char* kWindowTitle = "Velmora - Podizanje više verzije - v3.0";
// The title a message box shows when it has none of its own: the application's title.
inline constexpr const char* kAppTitle = "Tarvik_Upg";
// The title of the driver's, the readers' and the database phase's boxes.
inline constexpr const char* kBoxTitle = "Velmora dizanje verzije.";
inline constexpr const char* kUpgradeFileName = "Tarvik_Upg.Upg";
inline constexpr const char* kProgramFileName = "Tarvik.exe";
inline constexpr const char* kRunLogFileName = "Tarvik_Upg.log";
}  // namespace run_text
