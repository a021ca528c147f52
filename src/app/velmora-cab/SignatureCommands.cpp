#include "app/velmora-cab/SignatureCommands.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "common/AppError.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "platform/IFileSystem.h"
#include "signing/CabinetSignature.h"
#include "signing/SignatureFile.h"

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) {
        throw AppError(FileError::kFileNotFound, "velmora-cab",
                       std::string(FileError::kFileNotFoundText) + ": " + path);
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<UpdateKey> CheckingKeys(IUpdateCrypto& crypto, const std::string& keyFile) {
    if (!keyFile.empty()) return ReadUpdateKeys(ReadWholeFile(keyFile), crypto);
    return ReadUpdateKeys(BuiltInUpdateKeysPem(), crypto);
}

int SignCommand(IUpdateCrypto& crypto, const std::string& keyFile, const std::string& cabinet) {
    const std::string text = SignCabinet(crypto, ReadWholeFile(keyFile), cabinet);
    const std::string target = cabinet + std::string(kSignatureSuffix);
    std::ofstream out(FsPath(target), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        throw AppError(FileError::kPathFileAccess, "velmora-cab",
                       std::string(FileError::kPathFileAccessText) + ": " + target);
    }
    std::cout << "signed: " << EscapeControls(target) << '\n';
    return 0;
}

int VerifyCommand(IUpdateCrypto& crypto, const std::string& cabinet, const std::string& keyFile) {
    const std::vector<UpdateKey> keys = CheckingKeys(crypto, keyFile);
    if (keys.empty()) {
        std::cout << "not valid: no key to check with (this velmora-cab carries none; give --key "
                     "PUB.pem)\n";
        return 1;
    }
    const std::string sigPath = cabinet + std::string(kSignatureSuffix);
    std::string signature;
    try {
        signature = ReadWholeFile(sigPath);
    } catch (const AppError&) {
        std::cout << "not valid: no signature file " << EscapeControls(sigPath) << '\n';
        return 1;
    }
    const FileDigest file = DigestOfFile(crypto, cabinet);
    const std::string name = Utf8Path(FsPath(cabinet).filename());
    const SignatureVerdict verdict =
        VerifyCabinetSignature(crypto, keys, signature, name, file.size, file.digest);
    std::cout << (verdict.valid ? "valid: " : "not valid: ") << EscapeControls(verdict.reason);
    if (!verdict.valid && !verdict.keyId.empty()) std::cout << " (key " << verdict.keyId << ")";
    std::cout << '\n';
    return verdict.valid ? 0 : 1;
}
