#pragma once

#include <string>
#include <string_view>
#include <vector>

// The batch separator of the upgrade script: exact and case-sensitive, wherever it stands (on a
// line of its own, inside a line, a comment or a quoted string alike).
inline constexpr std::string_view kBatchSeparator = "-GO-";

struct SplitScript {
    // The texts that a separator closes, exactly as cut: nothing trimmed, empty ones included.
    std::vector<std::string> batches;
    // The text after the last separator (the whole script when it has none). It is never sent.
    std::string remainder;
};

SplitScript SplitBatches(std::string_view script);

// True when the remainder holds more than blanks, tabs and line breaks: a statement that the
// script's author left after the last separator, which is lost.
bool HoldsStatement(std::string_view remainder);
