#pragma once

#include <string>
#include <string_view>

// Compares two UTF-8 names without regard to letter case, as a user's comparison of file
// names does: ASCII, the Latin-1 and Latin Extended-A letters (Croatian č ć đ š ž among them),
// Greek and Cyrillic fold to lower case; anything else must match exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The lower-case form used by the comparison.
std::u32string FoldCase(std::string_view utf8);
