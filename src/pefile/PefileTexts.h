#pragma once

// The program file reader's text: the box of a version it cannot read.
namespace pefile_text {
inline constexpr const char* kNoVersion = "Nije moguće odrediti verziju datoteke.";
}  // namespace pefile_text
