// Signing and checking cabinets over OpenSSL with real keys made by the openssl tool.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/AppError.h"
#include "platform/openssl/OpenSslCrypto.h"
#include "signing/CabinetSignature.h"
#include "signing/SignatureFile.h"
#include "signing/UpdateKeys.h"
#include "support/TempFolder.h"
#include "support/TestKeys.h"

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

class SignaturesTest : public ::testing::Test {
protected:
    SignaturesTest() {
        maker_ = MakeTestKeyPair(temp_, "maker");
        other_ = MakeTestKeyPair(temp_, "other");
        cabinet_ = (temp_.path() / "Tn_302_303.cab").string();
        temp_.Write("Tn_302_303.cab", std::string(100000, 'c') + "end");
    }
    std::vector<UpdateKey> Keys(const std::string& publicPem) {
        return ReadUpdateKeys(TempFolder::Read(publicPem), crypto_);
    }
    SignatureVerdict Verify(const std::string& signature, const std::string& name,
                            const std::vector<UpdateKey>& keys) {
        const FileDigest file = DigestOfFile(crypto_, cabinet_);
        return VerifyCabinetSignature(crypto_, keys, signature, name, file.size, file.digest);
    }

    TempFolder temp_{"velmora-signatures"};
    OpenSslCrypto crypto_;
    TestKeyPair maker_, other_;
    std::string cabinet_;
};

TEST_F(SignaturesTest, KeyNameIsTheDigestOfTheDerKeyAsOpensslPrintsIt) {
    const std::vector<UpdateKey> keys = Keys(maker_.publicPem);
    ASSERT_EQ(keys.size(), 1u);
    const std::string expected = Shell("openssl pkey -pubin -in '" + maker_.publicPem +
                                       "' -outform DER | sha256sum | cut -c1-64");
    EXPECT_EQ(keys[0].id + "\n", expected);
}

TEST_F(SignaturesTest, OneFileCarriesSeveralKeysAndOnlyP256KeysAreTaken) {
    temp_.Write("both.pem", "the maker's keys\n" + TempFolder::Read(maker_.publicPem) +
                                TempFolder::Read(other_.publicPem));
    const std::vector<UpdateKey> keys = Keys((temp_.path() / "both.pem").string());
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_NE(keys[0].id, keys[1].id);

    const TestKeyPair p384 = MakeTestKeyPair(temp_, "p384", "secp384r1");
    EXPECT_THROW(Keys(p384.publicPem), AppError);
    std::string damaged = TempFolder::Read(maker_.publicPem);
    damaged[40] = '*';
    EXPECT_THROW(ReadUpdateKeys(damaged, crypto_), AppError);
    EXPECT_TRUE(ReadUpdateKeys("", crypto_).empty());
}

TEST_F(SignaturesTest, ASignatureIsEcdsaOfTheStatementAsTheOpensslToolChecksIt) {
    const std::string text = SignCabinet(crypto_, TempFolder::Read(maker_.privatePem), cabinet_);
    std::string why;
    const auto file = ParseSignatureFile(text, why);
    ASSERT_TRUE(file) << why;
    // The statement is the file's first five lines; r and s as DER for the tool.
    temp_.Write("statement", StatementText(file->statement));
    EXPECT_EQ(text.substr(0, StatementText(file->statement).size()), StatementText(file->statement));
    const std::string r = HexText(file->signature.data(), 32);
    const std::string s = HexText(file->signature.data() + 32, 32);
    const std::string asn1 = "asn1=SEQUENCE:sig\n[sig]\nr=INTEGER:0x" + r + "\ns=INTEGER:0x" + s + "\n";
    temp_.Write("sig.cnf", asn1);
    const std::string dir = temp_.str();
    EXPECT_EQ(Shell("cd '" + dir + "' && openssl asn1parse -genconf sig.cnf -out sig.der >/dev/null && "
                    "openssl dgst -sha256 -verify '" + maker_.publicPem +
                    "' -signature sig.der statement"),
              "Verified OK\n");
}

TEST_F(SignaturesTest, TheMakersSignatureIsValidAndEveryOtherIsRefusedWithItsReason) {
    const std::string good = SignCabinet(crypto_, TempFolder::Read(maker_.privatePem), cabinet_);
    const std::vector<UpdateKey> keys = Keys(maker_.publicPem);
    const SignatureVerdict valid = Verify(good, "Tn_302_303.cab", keys);
    EXPECT_TRUE(valid.valid) << valid.reason;
    EXPECT_EQ(valid.keyId, keys[0].id);

    const std::string byOther = SignCabinet(crypto_, TempFolder::Read(other_.privatePem), cabinet_);
    // The file claims the maker's key but carries another key's signature.
    std::string forged = byOther;
    const std::string otherId = Keys(other_.publicPem)[0].id;
    forged.replace(forged.find(otherId), otherId.size(), keys[0].id);
    std::string flipped = good;
    flipped[flipped.size() - 3] = flipped[flipped.size() - 3] == '0' ? '1' : '0';

    const struct {
        const char* what;
        std::string signature;
        std::string name;
        const char* reason;
    } cases[] = {
        {"another key", byOther, "Tn_302_303.cab", "signed with a key this program does not know"},
        {"another key's signature under the maker's name", forged, "Tn_302_303.cab",
         "the signature does not match the key"},
        {"a changed signature", flipped, "Tn_302_303.cab", "the signature does not match the key"},
        {"another name", good, "Tn_303_304.cab",
         "the signature is for Tn_302_303.cab, not for Tn_303_304.cab"},
        {"not a signature file", "hello\n", "Tn_302_303.cab",
         "the signature file is not of the form Velmora-Signature 1"},
        {"an empty file", "", "Tn_302_303.cab",
         "the signature file is not of the form Velmora-Signature 1"},
        {"a huge file", std::string(5000, 'x'), "Tn_302_303.cab",
         "the signature file is larger than 4096 bytes"},
    };
    for (const auto& c : cases) {
        const SignatureVerdict verdict = Verify(c.signature, c.name, keys);
        EXPECT_FALSE(verdict.valid) << c.what;
        EXPECT_EQ(verdict.reason, c.reason) << c.what;
    }

    // A byte of the cabinet changed after signing; then the same length with one byte more.
    temp_.Write("Tn_302_303.cab", std::string(100000, 'c') + "enD");
    EXPECT_EQ(Verify(good, "Tn_302_303.cab", keys).reason,
              "the file was changed after it was signed (its SHA-256 differs)");
    temp_.Write("Tn_302_303.cab", std::string(100000, 'c') + "end!");
    EXPECT_EQ(Verify(good, "Tn_302_303.cab", keys).reason,
              "the signature is for 100003 bytes, the file has 100004");
}

TEST_F(SignaturesTest, SigningRefusesAKeyOfAnotherCurveAndAFileWithoutKey) {
    const TestKeyPair p384 = MakeTestKeyPair(temp_, "p384", "secp384r1");
    EXPECT_THROW(SignCabinet(crypto_, TempFolder::Read(p384.privatePem), cabinet_), AppError);
    EXPECT_THROW(SignCabinet(crypto_, TempFolder::Read(maker_.publicPem), cabinet_), AppError);
}

}  // namespace
