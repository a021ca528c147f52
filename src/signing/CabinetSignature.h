#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IUpdateCrypto.h"
#include "signing/UpdateKeys.h"

// The outcome of checking a cabinet against its signature file: valid, or why not, in English
// for the run log and the maker's tool.
struct SignatureVerdict {
    bool valid = false;
    std::string reason;
    std::string keyId;  // the key the file names, once it could be read
};

// Checks that `signatureText` is a signature, by one of `keys`, of the cabinet that has this
// name, size and SHA-256. The statement verified is built from these facts, not taken from the
// file, so a file made for another cabinet, name or size cannot pass; the file's own lines only
// make the reason exact.
SignatureVerdict VerifyCabinetSignature(IUpdateCrypto& crypto, const std::vector<UpdateKey>& keys,
                                        std::string_view signatureText, const std::string& name,
                                        std::int64_t size, const Sha256Digest& digest);

// The SHA-256 and size of a file, read in pieces. Raises AppError (53) when it cannot be read.
struct FileDigest {
    Sha256Digest digest{};
    std::int64_t size = 0;
};
FileDigest DigestOfFile(IUpdateCrypto& crypto, const std::string& path);

// The signature file of the cabinet at `path`, signed with the PEM private key.
std::string SignCabinet(IUpdateCrypto& crypto, const std::string& privateKeyPem,
                        const std::string& path);
