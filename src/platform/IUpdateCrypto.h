#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// SHA-256 and ECDSA over the curve P-256, as the platform provides them (libcrypto on Linux,
// the system's BCrypt on Windows). The program has no cryptography of its own: everything that
// decides whether a signature is valid happens behind this interface.
using Sha256Digest = std::array<std::uint8_t, 32>;
// A P-256 public key as its uncompressed point: X, then Y, 32 big-endian bytes each.
using EcPoint = std::array<std::uint8_t, 64>;
// An ECDSA signature as r, then s, 32 big-endian bytes each.
using EcSignature = std::array<std::uint8_t, 64>;

// A SHA-256 being computed; bytes may be added in pieces of any size.
class ISha256 {
public:
    virtual ~ISha256() = default;
    virtual void Add(const void* data, std::size_t size) = 0;
    // Ends the computation; the object is not used again afterwards.
    virtual Sha256Digest Finish() = 0;
};

class IUpdateCrypto {
public:
    virtual ~IUpdateCrypto() = default;

    // Raise AppError when the platform cannot compute one (it always can where it exists).
    virtual std::unique_ptr<ISha256> NewSha256() = 0;

    // True when `signature` is a valid ECDSA P-256 signature of `digest` by `key`. False for an
    // invalid signature and for a key that is not a point of the curve.
    virtual bool VerifyP256(const EcPoint& key, const Sha256Digest& digest,
                            const EcSignature& signature) = 0;

    // For the maker's tool: an EC P-256 private key in PEM ("EC PRIVATE KEY" as `openssl
    // ecparam -genkey` writes it, or PKCS #8), its public key and a signature made with it. Both
    // raise AppError when the text holds no such key, or where the platform's back-end does not
    // sign.
    virtual EcPoint PrivateKeyPoint(const std::string& privateKeyPem) = 0;
    virtual EcSignature SignP256(const std::string& privateKeyPem, const Sha256Digest& digest) = 0;
};
