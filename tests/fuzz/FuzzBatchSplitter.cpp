// The batch splitter over any script.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "database/BatchSplitter.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const SplitScript split = SplitBatches(script);

    // Cutting loses and adds nothing: the batches, each closed by its separator, and the
    // remainder give back the script byte for byte (NUL bytes included).
    std::string joined;
    for (const std::string& batch : split.batches) {
        FUZZ_CHECK(batch.find(kBatchSeparator) == std::string::npos);
        joined.append(batch).append(kBatchSeparator);
    }
    FUZZ_CHECK(split.remainder.find(kBatchSeparator) == std::string::npos);
    joined.append(split.remainder);
    FUZZ_CHECK(joined == script);

    HoldsStatement(split.remainder);
    return 0;
}
