#pragma once

#include <string>
#include <vector>

#include "platform/IUpdateCrypto.h"
#include "signing/UpdateKeys.h"

// velmora-cab's commands for the maker's signatures (docs/signatures.md).

// The keys to check with: those of PUB.pem when given, else the ones built in. Raises AppError
// when the file cannot be read or holds a damaged key.
std::vector<UpdateKey> CheckingKeys(IUpdateCrypto& crypto, const std::string& keyFile);

// The whole of a small file; raises AppError (53) when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// sign KEY.pem CAB: writes CAB.sig. Exit status 0, or 1 with the error on standard error.
int SignCommand(IUpdateCrypto& crypto, const std::string& keyFile, const std::string& cabinet);

// verify CAB [--key PUB.pem]: 0 when CAB.sig is a valid signature of CAB by one of the keys,
// 1 when it is not (the reason on standard output) or cannot be checked.
int VerifyCommand(IUpdateCrypto& crypto, const std::string& cabinet, const std::string& keyFile);
