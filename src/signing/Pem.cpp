#include "signing/Pem.h"

#include <cstdint>

namespace pem {

namespace {

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    int padding = 0;
    for (const char c : text) {
        if (IsBlank(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = Sextet(c);
        if (value < 0 || padding > 0) return std::nullopt;  // no data after the padding
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xFF);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    // What the padding leaves: two sextets give one byte, three give two.
    if (count == 1 || count + padding > 4 || (count == 0 && padding > 0)) return std::nullopt;
    if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    return out;
}

std::optional<std::vector<std::string>> Blocks(std::string_view text, std::string_view label) {
    const std::string begin = "-----BEGIN " + std::string(label) + "-----";
    const std::string end = "-----END " + std::string(label) + "-----";
    std::vector<std::string> blocks;
    std::size_t at = 0;
    while ((at = text.find(begin, at)) != std::string_view::npos) {
        const std::size_t bodyStart = at + begin.size();
        const std::size_t bodyEnd = text.find(end, bodyStart);
        if (bodyEnd == std::string_view::npos) return std::nullopt;
        std::optional<std::string> body = DecodeBase64(text.substr(bodyStart, bodyEnd - bodyStart));
        if (!body) return std::nullopt;
        blocks.push_back(std::move(*body));
        at = bodyEnd + end.size();
    }
    return blocks;
}

}  // namespace pem
