// Signed cabinets: the phase with the maker's keys installs a cabinet only when its signature
// file on the server is the maker's signature of it under its name and size. Real keys made by
// the openssl tool, gcab cabinets, the loopback FTP server and the real cabinet object.
#include "cabinet/CabinetTestSupport.h"
#include "online/CabFileUpdateCabinet.h"
#include "online/OnlineFixture.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "platform/openssl/OpenSslCrypto.h"
#include "signing/CabinetSignature.h"
#include "support/FolderSnapshot.h"
#include "support/TestKeys.h"

namespace {

constexpr const char* kRefusalBox = "33333/Skinuta datoteka nije od Velmore !!\r\nNišta nije promijenjeno.";

class OnlineSignatureTest : public OnlineFixture {
protected:
    OnlineSignatureTest() {
        makeCabinet = [this] { return std::make_unique<CabFileUpdateCabinet>(view_, iterator_, realFiles_); };
        maker_ = MakeTestKeyPair(keys_, "maker");
        stranger_ = MakeTestKeyPair(keys_, "stranger");
        trust_ = TrustOfKeys(crypto_, TempFolder::Read(maker_.publicPem).c_str());
        program_.Write("Tarvik_Upg.Upg", "[Verzija]\r\n3.1.4 / 3.1.5\r\n*\r\n");
    }

    // A cabinet on the server (its bytes returned), signed with the key when one is given.
    std::string OfferCabinet(const std::string& name, const std::string& content,
                             const TestKeyPair* key) {
        const std::string path = (root_.path() / name).string();
        EXPECT_EQ(cabtest::MakeGcabCabinet(sources_, path,
                                           {{"a.txt", content}, {"Izvjestaji/r.rpt", "report"}},
                                           true),
                  path);
        if (key) root_.Write(name + ".sig", SignCabinet(crypto_, TempFolder::Read(key->privatePem), path));
        return TempFolder::Read(path);
    }

    bool RunChecked() {
        state_.programVersion = "3.1.5";
        OnlineUpdateServices services{net_, files_, makeCabinet, {"127.0.0.1", port_}, trust_};
        const bool result = RunOnlineUpdate(context_, services);
        EXPECT_TRUE(net_.EveryHandleClosedOnce());
        EXPECT_EQ(curl_.OpenHandles(), 0u);
        return result;
    }

    std::string RunLogText() const { return TempFolder::Read(program_.path() / "Tarvik_Upg.log"); }

    // The refusal as a store sees it: the folder as before, without the downloaded cabinet, the
    // two boxes, the reason in the run log.
    void ExpectRefused(const std::map<std::string, std::string>& before, const std::string& reason) {
        auto after = FolderSnapshot(program_.path());
        after.erase("Tarvik_Upg.log");
        EXPECT_EQ(after, before);
        ExpectBoxes(true, kRefusalBox);
        EXPECT_NE(RunLogText().find("refused: " + reason), std::string::npos) << RunLogText();
        ExpectDisplayReset();
    }

    std::map<std::string, std::string> Before() const {
        auto entries = FolderSnapshot(program_.path());
        entries.erase("Tarvik_Upg.log");
        return entries;
    }

    MspackCabinetIterator iterator_;
    OpenSslCrypto crypto_;
    TempFolder sources_{"velmora-online-cabsrc"};
    TempFolder keys_{"velmora-online-keys"};
    TestKeyPair maker_, stranger_;
    UpdateTrust trust_;
};

TEST_F(OnlineSignatureTest, TheMakersSignatureInstallsAndTheRunLogSaysSo) {
    OfferCabinet("Tn_315_316.cab", "alpha", &maker_);
    StartServer();
    ASSERT_TRUE(RunChecked());
    EXPECT_EQ(ProgramFile("a.txt"), "alpha");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_NE(RunLogText().find("cabinet Tn_315_316.cab verified: signed by key " + trust_.keys[0].id),
              std::string::npos);
    // The signature came over the same login, after the cabinet.
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "USER velmorauser"), 1);
    const auto cab = std::find(commands.begin(), commands.end(), "RETR Tn_315_316.cab");
    ASSERT_NE(cab, commands.end());
    EXPECT_NE(std::find(cab, commands.end(), "RETR Tn_315_316.cab.sig"), commands.end());
}

TEST_F(OnlineSignatureTest, EveryCabinetThatIsNotTheMakersIsRefusedAndDeleted) {
    const struct {
        const char* what;
        const char* reason;
        std::function<void()> serve;
    } cases[] = {
        {"changed after signing", "the file was changed after it was signed",
         [this] {
             const std::string signedBytes = OfferCabinet("Tn_315_316.cab", "alpha", &maker_);
             const std::string sig = root_.Read(root_.path() / "Tn_315_316.cab.sig");
             OfferCabinet("Tn_315_316.cab", "alphb", nullptr);  // same size, another byte
             EXPECT_EQ(root_.Read(root_.path() / "Tn_315_316.cab").size(), signedBytes.size());
             root_.Write("Tn_315_316.cab.sig", sig);
         }},
        {"no signature file", "no signature file Tn_315_316.cab.sig on the server",
         [this] { OfferCabinet("Tn_315_316.cab", "alpha", nullptr); }},
        {"signed by another key", "signed with a key this program does not know",
         [this] { OfferCabinet("Tn_315_316.cab", "alpha", &stranger_); }},
        {"an older signed cabinet under a newer name",
         "the signature is for Tn_314_315.cab, not for Tn_315_316.cab",
         [this] {
             OfferCabinet("Tn_314_315.cab", "old step", &maker_);
             std::filesystem::rename(root_.path() / "Tn_314_315.cab", root_.path() / "Tn_315_316.cab");
             std::filesystem::rename(root_.path() / "Tn_314_315.cab.sig",
                                     root_.path() / "Tn_315_316.cab.sig");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(root_.path());
        std::filesystem::create_directories(root_.path());
        view_.messages.clear();
        c.serve();
        StartServer();
        const auto before = Before();
        EXPECT_FALSE(RunChecked());
        ExpectRefused(before, c.reason);
        EXPECT_FALSE(InProgram("Tn_315_316.cab"));
        EXPECT_FALSE(state_.endAfterInstall);
        server_.reset();
    }
}

TEST_F(OnlineSignatureTest, KeysThatCannotBeReadRefuseEveryCabinet) {
    trust_ = TrustOfKeys(crypto_, "-----BEGIN PUBLIC KEY-----\n!!\n-----END PUBLIC KEY-----\n");
    OfferCabinet("Tn_315_316.cab", "alpha", &maker_);
    StartServer();
    const auto before = Before();
    EXPECT_FALSE(RunChecked());
    ExpectRefused(before, "the program's keys cannot be read");
    // A key text that holds no key at all checks too, and refuses.
    EXPECT_TRUE(TrustOfKeys(crypto_, "only a comment\n").Checks());
    EXPECT_FALSE(TrustOfKeys(crypto_, "").Checks());
}

TEST_F(OnlineSignatureTest, WithoutKeysTheCabinetIsInstalledUncheckedAndTheRunLogSaysWhy) {
    trust_ = TrustOfKeys(crypto_, "");
    OfferCabinet("Tn_315_316.cab", "alpha", nullptr);
    StartServer();
    ASSERT_TRUE(RunChecked());
    EXPECT_EQ(ProgramFile("a.txt"), "alpha");
    const std::string log = RunLogText();
    const std::string line = "cabinet Tn_315_316.cab not checked: no update key is built in";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line));  // once
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(std::find(commands.begin(), commands.end(), "RETR Tn_315_316.cab.sig"), commands.end());
}

}  // namespace
