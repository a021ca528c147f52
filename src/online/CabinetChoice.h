#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rules by which the offered cabinets are listed and one of them is chosen. A cabinet's name
// is "Tn", any character, the 3-character version it upgrades from, any character, the
// 3-character version it upgrades to, then anything ending in ".cab"; a version's 3-character
// form is the program version without its dots (3.1.5 -> "315").

// The search mask in the server's current directory: "/" gives "/Tn*.cab", "/upd" and "/upd/"
// give "/upd/Tn*.cab".
std::string SearchMask(std::string_view currentDirectory);

// A listing entry: name, "@", the size's low 32 bits read as a signed 32-bit number.
std::string ListingEntry(std::string_view name, std::uint32_t sizeLow);

// The key compared with the names: the program version without its dots.
std::string VersionKey(std::string_view programVersion);

// Up to `length` characters from 1-based character `start` (fewer near the end, none past it).
std::string MidChars(std::string_view utf8, std::size_t start, std::size_t length);

struct CabinetChoice {
    int index = -1;             // the first entry that upgrades from the key; -1: none
    bool offerReinstall = false;  // none does, but the last entry upgrades to the key
};

// Walks the entries in listing order; the first whose characters 4 to 6 equal the key wins.
CabinetChoice ChooseCabinet(const std::vector<std::string>& entries, std::string_view key);

// The entry's name (before its first "@") and size text (after it).
std::string EntryName(std::string_view entry);
std::string EntrySizeText(std::string_view entry);

// The leading decimal number of at most the first 100 characters of a text (blanks before it
// and a sign allowed), 0 when there is none.
std::int64_t LeadingNumber(std::string_view text);
