#include "signing/SignatureFile.h"

#include <charconv>
#include <vector>

#include "common/Strings.h"
#include "signing/UpdateKeys.h"

namespace {

constexpr std::string_view kMagic = "Velmora-Signature: 1";
constexpr std::string_view kKey = "Key: ";
constexpr std::string_view kName = "Name: ";
constexpr std::string_view kSize = "Size: ";
constexpr std::string_view kDigest = "SHA-256: ";
constexpr std::string_view kSignature = "Signature: ";

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool Field(std::string_view line, std::string_view label, std::string_view& value) {
    if (line.substr(0, label.size()) != label) return false;
    value = line.substr(label.size());
    return true;
}

}  // namespace

bool SignableName(std::string_view name) {
    return !name.empty() && name.find_first_of("/\\") == std::string_view::npos &&
           !HasControlCharacters(name) && name.find('\x7F') == std::string_view::npos;
}

std::string StatementText(const CabinetStatement& statement) {
    std::string text(kMagic);
    text += "\n";
    text += std::string(kKey) + statement.keyId + "\n";
    text += std::string(kName) + statement.name + "\n";
    text += std::string(kSize) + std::to_string(statement.size) + "\n";
    text += std::string(kDigest) + HexText(statement.digest.data(), statement.digest.size()) + "\n";
    return text;
}

std::string SignatureFileText(const SignatureFile& file) {
    return StatementText(file.statement) + std::string(kSignature) +
           HexText(file.signature.data(), file.signature.size()) + "\n";
}

std::optional<SignatureFile> ParseSignatureFile(std::string_view text, std::string& why) {
    if (text.size() > kMostSignatureFileBytes) {
        why = "the signature file is larger than " + std::to_string(kMostSignatureFileBytes) +
              " bytes";
        return std::nullopt;
    }
    std::vector<std::string_view> lines = Lines(text);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    SignatureFile file;
    std::string_view key, name, size, digest, signature;
    if (lines.size() != 6 || lines[0] != kMagic || !Field(lines[1], kKey, key) ||
        !Field(lines[2], kName, name) || !Field(lines[3], kSize, size) ||
        !Field(lines[4], kDigest, digest) || !Field(lines[5], kSignature, signature)) {
        why = "the signature file is not of the form Velmora-Signature 1";
        return std::nullopt;
    }
    std::uint8_t keyBytes[32];
    if (!HexBytes(key, keyBytes, sizeof keyBytes)) {
        why = "the signature file names no key";
        return std::nullopt;
    }
    file.statement.keyId = HexText(keyBytes, sizeof keyBytes);
    file.statement.name = std::string(name);
    const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(),
                                              file.statement.size);
    if (error != std::errc() || end != size.data() + size.size() || file.statement.size < 0 ||
        size.empty() || size.front() == '+') {
        why = "the signature file's size is not a number";
        return std::nullopt;
    }
    if (!HexBytes(digest, file.statement.digest.data(), file.statement.digest.size()) ||
        !HexBytes(signature, file.signature.data(), file.signature.size())) {
        why = "the signature file's digest or signature is not hex of the right length";
        return std::nullopt;
    }
    return file;
}
