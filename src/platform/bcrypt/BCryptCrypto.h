#pragma once

#include "platform/IUpdateCrypto.h"

// SHA-256 and ECDSA P-256 over the system's BCrypt (bcrypt.dll). Signing is the maker's work
// and is done on Linux: this back-end checks only.
class BCryptCrypto : public IUpdateCrypto {
public:
    std::unique_ptr<ISha256> NewSha256() override;
    bool VerifyP256(const EcPoint& key, const Sha256Digest& digest,
                    const EcSignature& signature) override;
    EcPoint PrivateKeyPoint(const std::string& privateKeyPem) override;
    EcSignature SignP256(const std::string& privateKeyPem, const Sha256Digest& digest) override;
};
