#include "signing/UpdateKeys.h"

#include <cstring>

#include "common/AppError.h"
#include "signing/Pem.h"

namespace {

constexpr const char* kSource = "UpdateKeys";

// A P-256 SubjectPublicKeyInfo in DER up to the point: SEQUENCE { SEQUENCE { id-ecPublicKey,
// prime256v1 }, BIT STRING with no unused bits }, then 0x04 (uncompressed) and X, Y. Every such
// key is these 27 bytes and 64 more, so comparing them is the whole parse.
constexpr std::uint8_t kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                        0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                        0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
constexpr std::size_t kSpkiSize = sizeof kSpkiPrefix + 64;

[[noreturn]] void Refuse(const std::string& why) {
    throw AppError(RuntimeError::kInvalidProcedureCall, kSource, why);
}

}  // namespace

std::string HexText(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

bool HexBytes(std::string_view hex, std::uint8_t* out, std::size_t size) {
    if (hex.size() != size * 2) return false;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < size; ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

UpdateKey MakeUpdateKey(const EcPoint& point, IUpdateCrypto& crypto) {
    std::uint8_t der[kSpkiSize];
    std::memcpy(der, kSpkiPrefix, sizeof kSpkiPrefix);
    std::memcpy(der + sizeof kSpkiPrefix, point.data(), point.size());
    const auto sha = crypto.NewSha256();
    sha->Add(der, sizeof der);
    const Sha256Digest digest = sha->Finish();
    return {point, HexText(digest.data(), digest.size())};
}

std::vector<UpdateKey> ReadUpdateKeys(std::string_view pem, IUpdateCrypto& crypto) {
    const auto blocks = pem::Blocks(pem, "PUBLIC KEY");
    if (!blocks) Refuse("a PUBLIC KEY block is damaged");
    std::vector<UpdateKey> keys;
    for (const std::string& der : *blocks) {
        if (der.size() != kSpkiSize || std::memcmp(der.data(), kSpkiPrefix, sizeof kSpkiPrefix) != 0) {
            Refuse("a PUBLIC KEY block is not an EC P-256 key with an uncompressed point");
        }
        EcPoint point{};
        std::memcpy(point.data(), der.data() + sizeof kSpkiPrefix, point.size());
        keys.push_back(MakeUpdateKey(point, crypto));
    }
    return keys;
}
