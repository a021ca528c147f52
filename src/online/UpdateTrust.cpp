#include "online/UpdateTrust.h"

#include "common/AppError.h"

UpdateTrust TrustOfKeys(IUpdateCrypto& crypto, const char* pem) {
    UpdateTrust trust;
    trust.crypto = &crypto;
    try {
        const std::string text = pem ? pem : "";
        trust.keys = ReadUpdateKeys(text, crypto);
        // A key text without a single key is a build gone wrong, not a build without keys.
        if (trust.keys.empty() && text.find_first_not_of(" \t\r\n") != std::string::npos) {
            trust.keysFault = "the program's key text holds no key";
        }
    } catch (const AppError& error) {
        trust.keysFault = "the program's keys cannot be read: " + error.description();
    }
    return trust;
}
