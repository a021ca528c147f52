#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/IUpdateCrypto.h"

// A public key of the maker's, which update cabinets are signed with.
struct UpdateKey {
    EcPoint point{};
    // The key's name in signature files: the SHA-256 of its DER SubjectPublicKeyInfo, in
    // lowercase hex, as `openssl pkey -pubin -outform DER | sha256sum` prints it.
    std::string id;
};

// Every "PUBLIC KEY" block of a PEM text, as `openssl ec -pubout` writes them. Raises AppError
// (5) when a block is damaged or holds anything but an EC P-256 key with an uncompressed point;
// an empty or key-less text gives no keys.
std::vector<UpdateKey> ReadUpdateKeys(std::string_view pem, IUpdateCrypto& crypto);

// The key of a point, with its name.
UpdateKey MakeUpdateKey(const EcPoint& point, IUpdateCrypto& crypto);

// The lowercase hex of bytes, and back (nullopt-like: false on anything but an even count of
// hex digits).
std::string HexText(const std::uint8_t* data, std::size_t size);
bool HexBytes(std::string_view hex, std::uint8_t* out, std::size_t size);

// The PEM text of the maker's keys that this build carries: empty for a build without keys.
// Defined by the keys object linked into each program (signing/CMakeLists.txt).
const char* BuiltInUpdateKeysPem();
