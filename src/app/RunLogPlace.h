#pragma once

#include <string>

// The path of the run log of a program in `programFolder`: in that folder, where support staff
// look for it; when the folder cannot be written (Tarvik under "Program Files" for a standard
// user), in the user's own folder for local program data where the platform has one, so that
// the run that says why it cannot go on still leaves its log.
std::string RunLogPlace(const std::string& programFolder);
