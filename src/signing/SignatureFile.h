#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IUpdateCrypto.h"

// The signature file that stands beside a cabinet on the update server ("Tn_302_303.cab.sig"),
// a short text of LF-ended lines:
//
//   Velmora-Signature: 1
//   Key: <the signing key's name, 64 hex digits>
//   Name: Tn_302_303.cab
//   Size: <the cabinet's size in bytes, decimal>
//   SHA-256: <the cabinet's SHA-256, 64 hex digits>
//   Signature: <ECDSA P-256 of the SHA-256 of the first five lines, r and s, 128 hex digits>
//
// The first five lines, each with its LF, are the statement that is signed: the cabinet's bytes
// (through their digest), its name and its size, so a signature is good for one file under one
// name only.

inline constexpr std::string_view kSignatureSuffix = ".sig";
// A signature file is a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t kMostSignatureFileBytes = 4096;

struct CabinetStatement {
    std::string keyId;
    std::string name;
    std::int64_t size = 0;
    Sha256Digest digest{};
};

struct SignatureFile {
    CabinetStatement statement;
    EcSignature signature{};
};

// The text that is signed.
std::string StatementText(const CabinetStatement& statement);

// The whole file.
std::string SignatureFileText(const SignatureFile& file);

// Reads a signature file; CR LF line ends are read as LF. Nullopt, with the reason in `why`, for
// anything but the six lines in their order.
std::optional<SignatureFile> ParseSignatureFile(std::string_view text, std::string& why);

// Whether a cabinet's name can stand in a signature file: not empty, no folder, no control
// character.
bool SignableName(std::string_view name);
