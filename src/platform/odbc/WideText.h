#pragma once

#include <string>
#include <string_view>

// UTF-8 inside the program, UTF-16 code units at the ODBC wide entry points (SQLWCHAR is 16 bits
// on unixODBC and on Windows). Text goes to the server through the wide entry points so that
// letters outside any 8-bit code page, and Croatian letters whatever the client's locale, arrive
// unchanged.
std::u16string Utf8ToUtf16(std::string_view utf8);  // invalid sequences become U+FFFD
std::string Utf16ToUtf8(std::u16string_view utf16);  // lone surrogates become U+FFFD
