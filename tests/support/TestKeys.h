#pragma once

#include <cstdlib>
#include <string>

#include "support/TempFolder.h"

// A real EC key pair made with the openssl tool, as the maker makes one: the private key as
// `openssl ecparam -genkey` writes it and the public key as `openssl ec -pubout` does.
struct TestKeyPair {
    std::string privatePem;  // paths
    std::string publicPem;
};

inline TestKeyPair MakeTestKeyPair(const TempFolder& folder, const std::string& name,
                                   const std::string& curve = "prime256v1") {
    TestKeyPair pair{(folder.path() / (name + ".pem")).string(),
                     (folder.path() / (name + ".pub.pem")).string()};
    const std::string command = "openssl ecparam -name " + curve + " -genkey -noout -out '" +
                                pair.privatePem + "' && openssl ec -in '" + pair.privatePem +
                                "' -pubout -out '" + pair.publicPem + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return pair;
}
