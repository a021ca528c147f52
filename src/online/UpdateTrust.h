#pragma once

#include <string>
#include <vector>

#include "platform/IUpdateCrypto.h"
#include "signing/UpdateKeys.h"

// What the online update checks a downloaded cabinet with: the platform's cryptography and the
// maker's keys that the program carries. A program without keys installs cabinets unchecked,
// as before cabinets were signed.
struct UpdateTrust {
    IUpdateCrypto* crypto = nullptr;
    std::vector<UpdateKey> keys;
    // Why the keys the program carries cannot be used (a damaged block): every cabinet is then
    // refused, since a program built to check must never fall back to not checking.
    std::string keysFault;

    bool Checks() const { return crypto != nullptr && (!keys.empty() || !keysFault.empty()); }
};

// The trust of the keys in a PEM text (the program's BuiltInUpdateKeysPem()).
UpdateTrust TrustOfKeys(IUpdateCrypto& crypto, const char* pem);
