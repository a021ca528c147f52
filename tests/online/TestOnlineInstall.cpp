// The installation through the real cabinet object: gcab cabinets downloaded from the loopback
// FTP server and unpacked into the program folder.
#include "cabinet/CabinetTestSupport.h"
#include "online/CabFileUpdateCabinet.h"
#include "online/OnlineFixture.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "support/FaultyFileSystem.h"
#include "support/FolderSnapshot.h"

namespace {

class OnlineInstallTest : public OnlineFixture {
protected:
    OnlineInstallTest() {
        makeCabinet = [this] { return std::make_unique<CabFileUpdateCabinet>(view_, iterator_, realFiles_); };
    }

    // Packs the files into a cabinet on the server; returns its bytes.
    std::string OfferCabinet(const std::string& name,
                             std::initializer_list<std::pair<std::string, std::string>> files) {
        const std::string path = (root_.path() / name).string();
        EXPECT_EQ(cabtest::MakeGcabCabinet(sources_, path, files, true), path);
        return TempFolder::Read(path);
    }

    // The program folder apart from the downloaded cabinet and the run log, which a run
    // writes whatever happens.
    std::map<std::string, std::string> ProgramFolder(const std::string& cabinetName) const {
        auto entries = FolderSnapshot(program_.path());
        entries.erase(cabinetName);
        entries.erase("Tarvik_Upg.log");
        return entries;
    }

    MspackCabinetIterator iterator_;
    TempFolder sources_{"velmora-online-cabsrc"};
};

TEST_F(OnlineInstallTest, CabinetOfTwoFilesUnpacksAndEndsTheProgramAfterwards) {
    const std::string bytes =
        OfferCabinet("Tn_315_316.cab", {{"a.txt", "alpha"}, {"sub/b.txt", "beta in a folder"}});
    StartServer();
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_TRUE(state_.endAfterInstall);
    EXPECT_EQ(ProgramFile("a.txt"), "alpha");
    EXPECT_EQ(ProgramFile("sub/b.txt"), "beta in a folder");
    EXPECT_EQ(ProgramFile("Tn_315_316.cab"), bytes);
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(view_.Text(Control::LblPozor), "\r\nSamo još trenutak !!");
}

TEST_F(OnlineInstallTest, FullUpgradeReplacesAReadOnlyProgramFile) {
    std::filesystem::permissions(program_.path() / "Tarvik.exe", std::filesystem::perms::owner_read);
    OfferCabinet("Tn_315_316.cab", {{"Tarvik.exe", "MZ new program"},
                                    {"Tarvik_Upg.Upg", "[Verzija]\r\n3.1.5 / 3.1.6\r\n*\r\n"},
                                    {"Izvjestaji/r1.rpt", "report"}});
    StartServer();
    ASSERT_TRUE(Run("3.1.5"));
    EXPECT_FALSE(state_.endAfterInstall);
    EXPECT_EQ(ProgramFile("Tarvik.exe"), "MZ new program");
    EXPECT_EQ(ProgramFile("Izvjestaji/r1.rpt"), "report");
}

TEST_F(OnlineInstallTest, DamagedCabinetShowsOnlyTheCabinetObjectsBoxes) {
    // A good header, so the files can be counted, over damaged compressed data.
    std::string bytes = OfferCabinet(
        "Tn_315_316.cab", {{"a.txt", std::string(20000, 'a')}, {"b.txt", std::string(30000, 'b')}});
    for (std::size_t i = bytes.size() - 40; i < bytes.size(); ++i) bytes[i] = static_cast<char>(~bytes[i]);
    root_.Write("Tn_315_316.cab", bytes);
    StartServer();
    EXPECT_FALSE(Run("3.1.5"));
    ASSERT_EQ(view_.messages.size(), 2u);
    EXPECT_EQ(view_.messages[0].text, "Greška kod raspakiravanja skinute datoteke !!");
    EXPECT_EQ(view_.messages[1].icon, MsgIcon::Warning);
    EXPECT_FALSE(state_.endAfterInstall);
    EXPECT_EQ(ProgramFile("Tn_315_316.cab"), bytes);  // the cabinet stays
    ExpectDisplayReset();
}

TEST_F(OnlineInstallTest, DamagedLastFileLeavesTheProgramFolderAsItWas) {
    program_.Write("a.txt", "old a");
    std::string bytes = OfferCabinet(
        "Tn_315_316.cab", {{"a.txt", std::string(20000, 'a')}, {"b.txt", std::string(30000, 'b')}});
    for (std::size_t i = bytes.size() - 40; i < bytes.size(); ++i) bytes[i] = static_cast<char>(~bytes[i]);
    root_.Write("Tn_315_316.cab", bytes);
    const auto before = ProgramFolder("Tn_315_316.cab");
    StartServer();
    EXPECT_FALSE(Run("3.1.5"));
    EXPECT_EQ(ProgramFolder("Tn_315_316.cab"), before) << "status 2 means nothing installed";
}

TEST_F(OnlineInstallTest, LockedProgramFilePutsEverythingBackAndNamesTheFile) {
    FaultyFileSystem faulty;
    faulty.failRenamesOf = "Tarvik.exe";  // moving it into the backup: held open at the till
    makeCabinet = [this, &faulty] {
        return std::make_unique<CabFileUpdateCabinet>(
            view_, iterator_, faulty, "3.1.5",
            [this](const std::string& line) { log_.Write("install", line); });
    };
    program_.Write("Izvjestaji/r1.rpt", "old report");
    OfferCabinet("Tn_315_316.cab", {{"Izvjestaji/r1.rpt", "new report"},
                                    {"Tarvik.exe", "MZ new program"},
                                    {"Tarvik_Upg.Upg", "[Verzija]\r\n3.1.5 / 3.1.6\r\n*\r\n"}});
    const auto before = ProgramFolder("Tn_315_316.cab");
    StartServer();
    EXPECT_FALSE(Run("3.1.5"));
    EXPECT_EQ(ProgramFolder("Tn_315_316.cab"), before);
    ASSERT_EQ(view_.messages.size(), 3u);
    EXPECT_EQ(view_.messages[0].text, "Greška kod raspakiravanja skinute datoteke !!");
    EXPECT_EQ(view_.messages[1].text,
              "32/The process cannot access the file because it is being used by another process.");
    EXPECT_NE(view_.messages[2].text.find("Datoteku Tarvik.exe koristi drugi program"),
              std::string::npos);
    const std::string log = TempFolder::Read(program_.path() / "Tarvik_Upg.log");
    EXPECT_NE(log.find("move of Tarvik.exe failed: 55/File already open"), std::string::npos) << log;
    EXPECT_NE(log.find("put back Izvjestaji/r1.rpt"), std::string::npos) << log;
    ExpectDisplayReset();
}

TEST_F(OnlineInstallTest, NotACabinetAtAllFailsWhenCounted) {
    Offer("Tn_315_316.cab", 3000);  // not a cabinet: the count itself fails
    StartServer();
    EXPECT_FALSE(Run("3.1.5"));
    ASSERT_EQ(view_.messages.size(), 2u);
    EXPECT_EQ(view_.messages[0].text, "Desila se greška kod pristupa internetu !!");
    EXPECT_EQ(view_.messages[1].text.find("/"), view_.messages[1].text.find_first_not_of("-0123456789"));
}

}  // namespace
