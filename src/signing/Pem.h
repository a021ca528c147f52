#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The PEM wrapping of keys: base64 between "-----BEGIN <label>-----" and "-----END <label>-----".
namespace pem {

// The decoded bodies of every block with this label, in file order; text outside the blocks
// (comments a maker put beside the keys) is passed over. Nullopt when a block is not closed or
// its body is not base64.
std::optional<std::vector<std::string>> Blocks(std::string_view text, std::string_view label);

// Standard base64 (RFC 4648, with "=" padding); blanks and line breaks inside are skipped.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace pem
