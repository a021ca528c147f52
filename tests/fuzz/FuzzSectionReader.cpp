// The section reader over any upgrade file. The first line of the input names the section to
// look for, the rest is the file; the usual sections are looked for as well.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "upgradefile/SectionReader.h"

namespace {

void Read(const std::string& file, const std::string& header) {
    std::string text;
    if (!ExtractSection(file, header, text)) return;
    // Every body line is given back followed by CR LF.
    FUZZ_CHECK(text.empty() || text.ends_with("\r\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto lf = input.find('\n');
    const std::string header(input.substr(0, lf));
    const std::string file(lf == std::string_view::npos ? std::string_view() : input.substr(lf + 1));
    Read(file, header);
    Read(std::string(input), "[Verzija]");
    Read(std::string(input), "[Akcija]");
    return 0;
}
