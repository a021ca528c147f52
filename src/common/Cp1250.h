#pragma once

#include <string>
#include <string_view>

// Windows-1250, the code page of a Croatian Windows, is the program's 8-bit text: the upgrade
// file and cabinet names without the UTF-8 flag are stored in it. Inside the program text is UTF-8.
namespace cp1250 {

// Every byte has a meaning except 0x81, 0x83, 0x88, 0x90 and 0x98, which become U+FFFD.
std::string ToUtf8(std::string_view bytes);

// Characters outside the code page become "?", as the platform's conversion does.
// Invalid UTF-8 sequences become "?" too.
std::string FromUtf8(std::string_view utf8);

}  // namespace cp1250
