// The FTP LIST parser and the name mask over any server answer. The input is the listing; its
// first line is also taken as a mask and matched against every name found.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/curl/FtpListing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view listing(reinterpret_cast<const char*>(data), size);
    const std::string_view mask = listing.substr(0, listing.find('\n'));

    for (const FindRecord& record : ParseFtpListing(listing)) {
        const std::string_view name = record.fileName;
        FUZZ_CHECK(MatchesFtpPattern("*", name));
        // A name without wildcard characters is a mask that matches itself.
        if (name.find_first_of("*?") == std::string_view::npos) {
            FUZZ_CHECK(MatchesFtpPattern(name, name));
        }
        MatchesFtpPattern(mask, name);
    }
    // The mask against the whole answer: a long text with many stars must not take long.
    MatchesFtpPattern(mask, listing);
    return 0;
}
