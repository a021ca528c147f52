// Windows-1250 to UTF-8 and back over any bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Cp1250.h"
#include "fuzz/FuzzCheck.h"

namespace {

// The five bytes without a character in the code page.
bool Undefined(unsigned char byte) {
    return byte == 0x81 || byte == 0x83 || byte == 0x88 || byte == 0x90 || byte == 0x98;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Every byte of the code page comes back as itself; the five undefined ones as "?".
    const std::string utf8 = cp1250::ToUtf8(bytes);
    const std::string back = cp1250::FromUtf8(utf8);
    FUZZ_CHECK(back.size() == bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        FUZZ_CHECK(back[i] == (Undefined(byte) ? '?' : bytes[i]));
    }

    // The same bytes taken as UTF-8, valid or not: one byte out for each character or each
    // invalid sequence, never more bytes than went in.
    const std::string narrowed = cp1250::FromUtf8(bytes);
    FUZZ_CHECK(narrowed.size() <= bytes.size());
    return 0;
}
