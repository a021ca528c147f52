#pragma once

#include <string>
#include <string_view>

// Whether a name matches a pattern of "*" (any run of characters), "?" (any one character) and
// literal characters, compared case-sensitively as the server's file names are. Every internet
// back-end filters its listings with this one matcher, so that a mask selects the same entries
// whatever the platform's FTP client would have made of it.
inline bool MatchesFtpPattern(std::string_view pattern, std::string_view name) {
    // Iterative glob match: on a mismatch, go back to the last "*" and let it take one more.
    // A "*" of the pattern is always the wildcard, also where the name has a "*" in its place.
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// A mask split into its folder (up to and including the last "/", empty when there is none) and
// the pattern after it.
struct FtpMask {
    std::string folder;
    std::string pattern;
};

inline FtpMask SplitFtpMask(std::string_view mask) {
    const std::size_t slash = mask.rfind('/');
    if (slash == std::string_view::npos) return {std::string(), std::string(mask)};
    return {std::string(mask.substr(0, slash + 1)), std::string(mask.substr(slash + 1))};
}
