#include "platform/openssl/OpenSslCrypto.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <limits>

#include "common/AppError.h"

namespace {

constexpr const char* kSource = "OpenSslCrypto";

// The DER of a P-256 SubjectPublicKeyInfo up to the point: the algorithm (id-ecPublicKey on
// prime256v1) and the bit string's header, then 0x04 and X, Y.
constexpr unsigned char kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                         0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct SigFree {
    void operator()(ECDSA_SIG* sig) const { ECDSA_SIG_free(sig); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

// The library's own words for what failed, for the error's description; its queue is emptied.
std::string LibraryError(const std::string& what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return what;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return what + " (" + text + ")";
}

[[noreturn]] void Raise(std::int32_t number, const std::string& what) {
    throw AppError(number, kSource, LibraryError(what));
}

class OpenSslSha256 : public ISha256 {
public:
    OpenSslSha256() : ctx_(EVP_MD_CTX_new()) {
        if (!ctx_ || EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr) != 1) {
            Raise(RuntimeError::kInternalError, "SHA-256 cannot be started");
        }
    }
    void Add(const void* data, std::size_t size) override {
        if (EVP_DigestUpdate(ctx_.get(), data, size) != 1) {
            Raise(RuntimeError::kInternalError, "SHA-256 failed");
        }
    }
    Sha256Digest Finish() override {
        Sha256Digest digest{};
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(ctx_.get(), digest.data(), &length) != 1 || length != digest.size()) {
            Raise(RuntimeError::kInternalError, "SHA-256 failed");
        }
        return digest;
    }

private:
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx_;
};

Pkey PublicKeyOf(const EcPoint& point) {
    unsigned char der[sizeof kSpkiPrefix + 64];
    std::memcpy(der, kSpkiPrefix, sizeof kSpkiPrefix);
    std::memcpy(der + sizeof kSpkiPrefix, point.data(), point.size());
    const unsigned char* in = der;
    // Points off the curve are refused here, as the library checks on decoding.
    return Pkey(d2i_PUBKEY(nullptr, &in, static_cast<long>(sizeof der)));
}

// r || s as the DER structure the library verifies.
std::string DerSignature(const EcSignature& signature) {
    std::unique_ptr<ECDSA_SIG, SigFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        Raise(RuntimeError::kInternalError, "signature cannot be read");
    }
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig.get(), &der);
    if (length <= 0) Raise(RuntimeError::kInternalError, "signature cannot be read");
    std::string out(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return out;
}

EcSignature RawSignature(const unsigned char* der, std::size_t length) {
    const unsigned char* in = der;
    std::unique_ptr<ECDSA_SIG, SigFree> sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
    if (!sig) Raise(RuntimeError::kInternalError, "the library's signature cannot be read");
    EcSignature raw{};
    if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw.data(), 32) != 32 ||
        BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw.data() + 32, 32) != 32) {
        Raise(RuntimeError::kInternalError, "the library's signature cannot be read");
    }
    return raw;
}

EcPoint PointOf(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    EcPoint point{};
    const bool fits = length == static_cast<int>(sizeof kSpkiPrefix + point.size()) &&
                      std::memcmp(der, kSpkiPrefix, sizeof kSpkiPrefix) == 0;
    if (fits) std::memcpy(point.data(), der + sizeof kSpkiPrefix, point.size());
    OPENSSL_free(der);
    if (!fits) {
        throw AppError(RuntimeError::kInvalidProcedureCall, kSource,
                       "the private key is not one of the curve P-256");
    }
    return point;
}

// A P-256 private key from PEM; every other key is refused.
Pkey ReadPrivateKey(const std::string& privateKeyPem) {
    if (privateKeyPem.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw AppError(RuntimeError::kInvalidProcedureCall, kSource, "the key file is too large");
    }
    std::unique_ptr<BIO, BioFree> bio(
        BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    // No pass phrase is asked for: a key that needs one is refused.
    Pkey pkey(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, const_cast<char*>(""))
                  : nullptr);
    if (!pkey) Raise(RuntimeError::kInvalidProcedureCall, "no EC private key in the file");
    char group[64] = {};
    std::size_t groupLength = 0;
    if (!EVP_PKEY_is_a(pkey.get(), "EC") ||
        EVP_PKEY_get_utf8_string_param(pkey.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                       &groupLength) != 1 ||
        std::strcmp(group, "prime256v1") != 0) {
        ERR_clear_error();
        throw AppError(RuntimeError::kInvalidProcedureCall, kSource,
                       "the private key is not one of the curve P-256");
    }
    return pkey;
}

}  // namespace

std::unique_ptr<ISha256> OpenSslCrypto::NewSha256() { return std::make_unique<OpenSslSha256>(); }

bool OpenSslCrypto::VerifyP256(const EcPoint& key, const Sha256Digest& digest,
                               const EcSignature& signature) {
    const Pkey pkey = PublicKeyOf(key);
    if (!pkey) {
        ERR_clear_error();
        return false;
    }
    const std::string der = DerSignature(signature);
    PkeyCtx ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1) {
        Raise(RuntimeError::kInternalError, "ECDSA verification cannot be started");
    }
    const int verdict =
        EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                        digest.data(), digest.size());
    // 0 is a wrong signature, a negative value one the library could not take apart (r or s
    // out of range): neither is valid.
    ERR_clear_error();
    return verdict == 1;
}

EcPoint OpenSslCrypto::PrivateKeyPoint(const std::string& privateKeyPem) {
    return PointOf(ReadPrivateKey(privateKeyPem).get());
}

EcSignature OpenSslCrypto::SignP256(const std::string& privateKeyPem, const Sha256Digest& digest) {
    const Pkey pkey = ReadPrivateKey(privateKeyPem);
    PkeyCtx ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    std::size_t length = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
        Raise(RuntimeError::kInternalError, "ECDSA signing cannot be started");
    }
    std::string der(length, '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (EVP_PKEY_sign(ctx.get(), out, &length, digest.data(), digest.size()) != 1) {
        Raise(RuntimeError::kInternalError, "ECDSA signing failed");
    }
    return RawSignature(out, length);
}
