#include "database/BatchSplitter.h"

SplitScript SplitBatches(std::string_view script) {
    SplitScript result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = script.find(kBatchSeparator, start);
        if (at == std::string_view::npos) break;
        result.batches.emplace_back(script.substr(start, at - start));
        start = at + kBatchSeparator.size();
    }
    result.remainder = std::string(script.substr(start));
    return result;
}

bool HoldsStatement(std::string_view remainder) {
    return remainder.find_first_not_of(" \t\r\n") != std::string_view::npos;
}
