// The program-version reader over any file. The reader takes a path (it never loads a whole
// executable), so each input is written to a file of the fuzzer's own first.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzTempFolder.h"
#include "pefile/PeVersionReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = FuzzTempFolder::Instance().Write(
        "Tarvik.exe", std::string_view(reinterpret_cast<const char*>(data), size));
    if (const auto version = ReadPeFileVersion(path)) version->ToText();
    return 0;
}
