#pragma once

#include <cstdint>
#include <string>

// The cabinet object's own error and the fixed English texts of the Windows errors a pass can
// leave behind. The texts are fixed, not the operating system's, so the boxes read the same
// everywhere.
inline constexpr std::int32_t kCabNameNotSet = -2147219548;  // 0x800407A4

// The text of the object's own errors; any other number is "Unknown error.".
std::string CabErrorText(std::int32_t number);

// The text of a Windows error number; numbers outside the table (0 included) are "Unknown error.".
std::string WinErrorText(std::int32_t number);
