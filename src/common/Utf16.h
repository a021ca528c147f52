#pragma once

#include <string>
#include <string_view>

// Texts are UTF-8 inside the program and UTF-16 at the Windows and ODBC boundaries (SQLWCHAR is
// 16 bits on unixODBC and on Windows). These are the only conversions between them: an invalid
// sequence becomes U+FFFD rather than cutting the text, so a damaged name still reaches the log.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);  // lone surrogates become U+FFFD

// The same for the system's wide characters: UTF-16 where wchar_t is 16 bits (Windows), code
// points where it is 32 bits.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
