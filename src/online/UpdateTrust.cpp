#include "online/UpdateTrust.h"

#include "common/AppError.h"

UpdateTrust TrustOfKeys(IUpdateCrypto& crypto, const char* pem) {
    UpdateTrust trust;
    trust.crypto = &crypto;
    try {
        trust.keys = ReadUpdateKeys(pem ? pem : "", crypto);
    } catch (const AppError& error) {
        trust.keysFault = "the program's keys cannot be read: " + error.description();
    }
    return trust;
}
