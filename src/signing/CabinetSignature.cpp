#include "signing/CabinetSignature.h"

#include <fstream>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/IFileSystem.h"
#include "signing/SignatureFile.h"

namespace {

constexpr const char* kSource = "CabinetSignature";

Sha256Digest DigestOf(IUpdateCrypto& crypto, const std::string& text) {
    const auto sha = crypto.NewSha256();
    sha->Add(text.data(), text.size());
    return sha->Finish();
}

SignatureVerdict Refused(std::string reason, std::string keyId = {}) {
    return {false, std::move(reason), std::move(keyId)};
}

}  // namespace

SignatureVerdict VerifyCabinetSignature(IUpdateCrypto& crypto, const std::vector<UpdateKey>& keys,
                                        std::string_view signatureText, const std::string& name,
                                        std::int64_t size, const Sha256Digest& digest) {
    std::string why;
    const std::optional<SignatureFile> file = ParseSignatureFile(signatureText, why);
    if (!file) return Refused(why);
    const CabinetStatement& claimed = file->statement;
    const UpdateKey* key = nullptr;
    for (const UpdateKey& candidate : keys) {
        if (candidate.id == claimed.keyId) key = &candidate;
    }
    if (!key) return Refused("signed with a key this program does not know", claimed.keyId);
    if (claimed.name != name) {
        return Refused("the signature is for " + claimed.name + ", not for " + name, claimed.keyId);
    }
    if (claimed.size != size) {
        return Refused("the signature is for " + std::to_string(claimed.size) + " bytes, the file has " +
                           std::to_string(size),
                       claimed.keyId);
    }
    if (claimed.digest != digest) {
        return Refused("the file was changed after it was signed (its SHA-256 differs)",
                       claimed.keyId);
    }
    const CabinetStatement actual{key->id, name, size, digest};
    if (!crypto.VerifyP256(key->point, DigestOf(crypto, StatementText(actual)), file->signature)) {
        return Refused("the signature does not match the key", claimed.keyId);
    }
    return {true, "signed by key " + key->id, key->id};
}

FileDigest DigestOfFile(IUpdateCrypto& crypto, const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) throw AppError(FileError::kFileNotFound, kSource, FileError::kFileNotFoundText);
    const auto sha = crypto.NewSha256();
    FileDigest result;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        sha->Add(buffer, n);
        result.size += static_cast<std::int64_t>(n);
        if (!in) break;
    }
    if (in.bad()) throw AppError(FileError::kDeviceIo, kSource, FileError::kDeviceIoText);
    result.digest = sha->Finish();
    return result;
}

std::string SignCabinet(IUpdateCrypto& crypto, const std::string& privateKeyPem,
                        const std::string& path) {
    const std::string name = Utf8Path(FsPath(path).filename());
    if (!SignableName(name)) {
        throw AppError(RuntimeError::kInvalidProcedureCall, kSource,
                       "the cabinet's name cannot stand in a signature file");
    }
    const FileDigest file = DigestOfFile(crypto, path);
    // The key's name is part of what is signed.
    const UpdateKey key = MakeUpdateKey(crypto.PrivateKeyPoint(privateKeyPem), crypto);
    SignatureFile signature;
    signature.statement = {key.id, name, file.size, file.digest};
    signature.signature =
        crypto.SignP256(privateKeyPem, DigestOf(crypto, StatementText(signature.statement)));
    return SignatureFileText(signature);
}
