#include "platform/bcrypt/BCryptCrypto.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cstring>
#include <vector>

#include "common/AppError.h"

namespace {

constexpr const char* kSource = "BCryptCrypto";
[[noreturn]] void Raise(const std::string& what, NTSTATUS status) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(status));
    throw AppError(RuntimeError::kInternalError, kSource, what + " (status 0x" + hex + ")");
}

class Algorithm {
public:
    explicit Algorithm(const wchar_t* name) {
        const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0);
        if (status != 0) Raise("the system's cryptography cannot be opened", status);
    }
    ~Algorithm() { BCryptCloseAlgorithmProvider(handle_, 0); }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class BCryptSha256 : public ISha256 {
public:
    BCryptSha256() : algorithm_(BCRYPT_SHA256_ALGORITHM) {
        const NTSTATUS status =
            BCryptCreateHash(algorithm_.get(), &hash_, nullptr, 0, nullptr, 0, 0);
        if (status != 0) Raise("SHA-256 cannot be started", status);
    }
    ~BCryptSha256() override {
        if (hash_) BCryptDestroyHash(hash_);
    }
    BCryptSha256(const BCryptSha256&) = delete;
    BCryptSha256& operator=(const BCryptSha256&) = delete;

    void Add(const void* data, std::size_t size) override {
        // The call takes at most 4 GiB at a time.
        auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
        while (size > 0) {
            const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
            const NTSTATUS status = BCryptHashData(hash_, bytes, piece, 0);
            if (status != 0) Raise("SHA-256 failed", status);
            bytes += piece;
            size -= piece;
        }
    }
    Sha256Digest Finish() override {
        Sha256Digest digest{};
        const NTSTATUS status =
            BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        if (status != 0) Raise("SHA-256 failed", status);
        return digest;
    }

private:
    Algorithm algorithm_;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

std::unique_ptr<ISha256> BCryptCrypto::NewSha256() { return std::make_unique<BCryptSha256>(); }

bool BCryptCrypto::VerifyP256(const EcPoint& key, const Sha256Digest& digest,
                              const EcSignature& signature) {
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
    std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data(), key.size());
    BCRYPT_KEY_HANDLE handle = nullptr;
    const NTSTATUS imported =
        BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob.data(),
                            static_cast<ULONG>(blob.size()), 0);
    // A point that is not on the curve is no key: nothing is valid under it.
    if (imported != 0) return false;
    Sha256Digest hash = digest;
    EcSignature rs = signature;
    const NTSTATUS status =
        BCryptVerifySignature(handle, nullptr, hash.data(), static_cast<ULONG>(hash.size()),
                              rs.data(), static_cast<ULONG>(rs.size()), 0);
    BCryptDestroyKey(handle);
    // STATUS_INVALID_SIGNATURE (0xC000A000) is the answer for a wrong signature; any other failure is no pass either.
    return status == 0;
}

EcPoint BCryptCrypto::PrivateKeyPoint(const std::string&) {
    throw AppError(RuntimeError::kInvalidProcedureCall, kSource,
                   "signing is done on Linux (velmora-cab sign); this program only checks");
}

EcSignature BCryptCrypto::SignP256(const std::string&, const Sha256Digest&) {
    throw AppError(RuntimeError::kInvalidProcedureCall, kSource,
                   "signing is done on Linux (velmora-cab sign); this program only checks");
}
