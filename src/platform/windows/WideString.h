#pragma once

#include <string>
#include <string_view>

// Texts are UTF-8 inside the program and UTF-16 at the Windows boundary. These two are the only
// conversions between them; an invalid sequence becomes U+FFFD rather than cutting the text.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);
