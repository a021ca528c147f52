// velmora-upgrade-console runs the whole upgrade from a program folder: the online phase
// against the loopback FTP server, then the database phase against the TDS test server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "cabinet/CabinetTestSupport.h"
#include "support/FtpServerProcess.h"
#include "support/FolderSnapshot.h"
#include "support/PeFixture.h"
#include "support/TdsTestServer.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

const char* kCatalog = R"({"password": "KolVanDuaMerTis", "databases": [
    {"name": "ALFA", "id": 5, "tables": ["BLAG_DNEV"], "verzija": ["3.0.2"]},
    {"name": "BETA", "id": 6, "tables": ["BLAG_DNEV"], "verzija": ["3.0.2"]},
    {"name": "OSTALO", "id": 7, "tables": ["Artikli"], "verzija": ["1.0.0"]}]})";

class ConsoleOnlineUpgrade : public ::testing::Test {
protected:
    ConsoleOnlineUpgrade() : program(folder.path() / "Tarvik"), root(folder.path() / "ftp") {
        fs::create_directories(program);
        fs::create_directories(root);
        fs::copy_file(fs::path(TEST_BINARY_DIR) / "velmora-upgrade-console",
                      program / "velmora-upgrade-console");
        made = MakePeExe((program / "Tarvik.exe").string(), "3.0.0.2");
        folder.Write("Tarvik/Tarvik_Upg.Upg", "[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n");
    }

    // A full upgrade cabinet from 3.0.2 to 3.0.3: a newer program, a new upgrade file with its
    // script, and files in sub-folders.
    bool OfferUpgrade() {
        if (!MakePeExe((sources.path() / "Tarvik.exe").string(), "3.0.0.3")) return false;
        const std::string cabinet = (root / "Tn_302_303.cab").string();
        return cabtest::MakeGcabCabinet(
                   sources, cabinet,
                   {{"Tarvik.exe", TempFolder::Read(sources.path() / "Tarvik.exe")},
                    {"Tarvik_Upg.Upg",
                     "[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n[Akcija]\r\nCREATE TABLE Nova (a int)\r\n"
                     "-GO-\r\n*\r\n"},
                    {"Izvjestaji/racun.rpt", "report"},
                    {"Slike/logo.bmp", "BM picture"}},
                   true) == cabinet;
    }

    // The console's command line in the program folder; stdin and the outputs as given.
    std::string Command(int ftpPort, int tdsPort, const std::string& options,
                        const std::string& in, const std::string& name) {
        folder.Write("config/VB and VBA Program Settings/Tarvik.ini",
                     "[PutBaza]\nPutBaza=C:\\Tarvik\n[ImeServera]\nImeServera=127.0.0.1," +
                         std::to_string(tdsPort) + "\n[TipServera]\nTipServera=1\n");
        return "cd '" + program.string() + "' && VELMORA_UPDATE_SERVER=127.0.0.1:" +
               std::to_string(ftpPort) + " XDG_CONFIG_HOME='" + folder.str() +
               "/config' ./velmora-upgrade-console " + options + " <'" + in + "' >'" +
               folder.str() + "/" + name + "-out.txt' 2>'" + folder.str() + "/" + name + "-err.txt'";
    }

    int Run(int ftpPort, int tdsPort, const std::string& options = "") {
        const int status = std::system(Command(ftpPort, tdsPort, options, "/dev/null", "run").c_str());
        out = TempFolder::Read(folder.path() / "run-out.txt");
        err = TempFolder::Read(folder.path() / "run-err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The program folder apart from the run log and the downloaded cabinet.
    std::map<std::string, std::string> ProgramFolder() const {
        auto entries = FolderSnapshot(program);
        entries.erase("Tarvik_Upg.log");
        entries.erase("Tn_302_303.cab");
        return entries;
    }

    TempFolder folder{"velmora-console-online"};
    TempFolder sources{"velmora-console-cabsrc"};
    fs::path program;
    fs::path root;
    bool made = false;
    std::string out, err;
};

TEST_F(ConsoleOnlineUpgrade, DownloadsInstallsAndUpgradesEveryDatabase) {
    ASSERT_TRUE(made);
    ASSERT_TRUE(OfferUpgrade());
    FtpServerProcess ftp(root.string(), (folder.path() / "ftp.log").string());
    TdsTestServer tds(kCatalog);

    EXPECT_EQ(Run(ftp.port(), tds.Port()), 0) << out << err;

    EXPECT_EQ(TempFolder::Read(program / "Izvjestaji" / "racun.rpt"), "report");
    EXPECT_EQ(TempFolder::Read(program / "Slike" / "logo.bmp"), "BM picture");
    EXPECT_TRUE(fs::exists(program / "Tn_302_303.cab"));
    EXPECT_NE(TempFolder::Read(program / "Tarvik_Upg.Upg").find("3.0.2 / 3.0.3"), std::string::npos);
    // Both target databases ran the new script and carry the new program version.
    const std::string state = tds.State();
    EXPECT_NE(state.find("3.0.3"), std::string::npos) << state;
    int novaRuns = 0;
    for (const auto& s : tds.Statements()) novaRuns += s.find("CREATE TABLE Nova") != std::string::npos;
    EXPECT_EQ(novaRuns, 2);

    const std::string log = TempFolder::Read(program / "Tarvik_Upg.log");
    EXPECT_NE(log.find("chosen cabinet Tn_302_303.cab"), std::string::npos) << log;
    EXPECT_NE(log.find("installed"), std::string::npos) << log;
    const auto commands = ftp.Commands();
    EXPECT_NE(std::find(commands.begin(), commands.end(), "RETR Tn_302_303.cab"), commands.end());
}

TEST_F(ConsoleOnlineUpgrade, NothingNewerEndsWithStatusTwoAndTouchesNoDatabase) {
    ASSERT_TRUE(made);
    folder.Write("ftp/Tn_305_306.cab", "not for this version");
    FtpServerProcess ftp(root.string(), (folder.path() / "ftp.log").string());
    TdsTestServer tds(kCatalog);
    EXPECT_EQ(Run(ftp.port(), tds.Port()), 2) << out << err;
    EXPECT_NE(err.find("22222/Trenutno za vas ne postoji viša verzija !!"), std::string::npos) << err;
    EXPECT_TRUE(tds.Statements().empty());
}

TEST_F(ConsoleOnlineUpgrade, RestoreAfterAnUpgradeBringsBackTheOldFiles) {
    ASSERT_TRUE(made);
    ASSERT_TRUE(OfferUpgrade());
    const auto before = ProgramFolder();
    FtpServerProcess ftp(root.string(), (folder.path() / "ftp.log").string());
    TdsTestServer tds(kCatalog);
    ASSERT_EQ(Run(ftp.port(), tds.Port()), 0) << out << err;
    ASSERT_TRUE(fs::exists(program / "Slike" / "logo.bmp"));

    EXPECT_EQ(Run(ftp.port(), tds.Port(), "--restore"), 0) << out << err;
    EXPECT_EQ(WithoutSetAside(ProgramFolder()), before) << out << err;
    const std::string log = TempFolder::Read(program / "Tarvik_Upg.log");
    EXPECT_NE(log.find("console, restore of the latest backup"), std::string::npos) << log;
    EXPECT_NE(log.find("restored Tarvik.exe"), std::string::npos) << log;
    EXPECT_NE(log.find("removed Slike/logo.bmp"), std::string::npos) << log;
    EXPECT_NE(log.find("restored the files of Tarvik_Upg.bak"), std::string::npos) << log;

    EXPECT_EQ(Run(ftp.port(), tds.Port(), "--restore"), 1) << "the backup is used up";
}

TEST_F(ConsoleOnlineUpgrade, InstallationCutShortIsUndoneAtTheNextStart) {
    ASSERT_TRUE(made);
    const auto before = ProgramFolder();
    // What a power cut leaves after the program's moves: the old program in the backup, the new
    // one in its place, the journal and its record of moves in the staging folder.
    fs::create_directories(program / "Tarvik_Upg.bak" / "3.0.2");
    fs::rename(program / "Tarvik.exe", program / "Tarvik_Upg.bak" / "3.0.2" / "Tarvik.exe");
    folder.Write("Tarvik/Tarvik.exe", "MZ new program");
    folder.Write("Tarvik/.Tarvik_Upg.stage/files/Tarvik_Upg.Upg", "[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n");
    folder.Write("Tarvik/.Tarvik_Upg.stage/journal.txt",
                 "velmora-install-journal\t1\nkind\tinstall\nlabel\t3.0.2\nsequence\t1\n"
                 "incoming\t.Tarvik_Upg.stage/files\nbackup\tTarvik_Upg.bak/3.0.2\n"
                 "replace\tTarvik.exe\nreplace\tTarvik_Upg.Upg\nend\n");
    // Both moves of the program were recorded: set aside, then the new one put in its place.
    folder.Write("Tarvik/.Tarvik_Upg.stage/done.txt", "done 0\ndone 1\n");
    folder.Write("ftp/Tn_305_306.cab", "not for this version");
    FtpServerProcess ftp(root.string(), (folder.path() / "ftp.log").string());
    TdsTestServer tds(kCatalog);

    EXPECT_EQ(Run(ftp.port(), tds.Port()), 2) << out << err;
    EXPECT_NE((out + err).find("Vraćene su stare datoteke programa"), std::string::npos) << out << err;
    EXPECT_EQ(ProgramFolder(), before);
    const std::string log = TempFolder::Read(program / "Tarvik_Upg.log");
    EXPECT_NE(log.find("cut short while its files moved"), std::string::npos) << log;
}

// A store user starts the upgrade again while the first run waits at its question: every
// kind of second start says so in one box, logs it, changes nothing and ends with status 1;
// the first run then installs as if it had been alone.
TEST_F(ConsoleOnlineUpgrade, SecondStartWhileARunHoldsTheFolderChangesNothing) {
    ASSERT_TRUE(made);
    // The last cabinet brings the installed version again: the first run asks whether to
    // reinstall it, and waits for the answer.
    ASSERT_TRUE(MakePeExe((sources.path() / "Tarvik.exe").string(), "3.0.0.2"));
    const std::string again = TempFolder::Read(sources.path() / "Tarvik.exe") + "again";
    const std::string reinstall = (root / "Tn_301_302.cab").string();
    ASSERT_EQ(cabtest::MakeGcabCabinet(
                  sources, reinstall,
                  {{"Tarvik.exe", again},
                   {"Izvjestaji/racun.rpt", "report"}},
                  true),
              reinstall);
    FtpServerProcess ftp(root.string(), (folder.path() / "ftp.log").string());
    TdsTestServer tds(kCatalog);
    const std::string answers = (folder.path() / "answers").string();
    ASSERT_EQ(::mkfifo(answers.c_str(), 0600), 0);
    const std::string command = Command(ftp.port(), tds.Port(), "", answers, "first");
    std::fflush(nullptr);
    const pid_t first = fork();
    if (first == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const int answer = ::open(answers.c_str(), O_WRONLY);
    ASSERT_GE(answer, 0);
    const fs::path firstErr = folder.path() / "first-err.txt";
    for (int i = 0; i < 600 && TempFolder::Read(firstErr).find("(y/n)") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(TempFolder::Read(firstErr).find("(y/n)"), std::string::npos) << TempFolder::Read(firstErr);
    const auto whileHeld = ProgramFolder();

    for (const char* options : {"", "--database-only", "--restore"}) {
        SCOPED_TRACE(std::string("second start with '") + options + "'");
        EXPECT_EQ(Run(ftp.port(), tds.Port(), options), 1) << out << err;
        EXPECT_NE(err.find("Dizanje verzije već je pokrenuto u ovoj mapi"), std::string::npos) << err;
        EXPECT_EQ(ProgramFolder(), whileHeld);
    }
    const std::string log = TempFolder::Read(program / "Tarvik_Upg.log");
    EXPECT_NE(log.find("another run of the upgrade holds"), std::string::npos) << log;
    EXPECT_TRUE(tds.Statements().empty()) << "no second start reached a database";

    ASSERT_EQ(::write(answer, "y\n", 2), 2);
    ::close(answer);
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << TempFolder::Read(folder.path() / "first-out.txt") << TempFolder::Read(firstErr);
    EXPECT_EQ(TempFolder::Read(program / "Tarvik.exe"), again);
    EXPECT_EQ(TempFolder::Read(program / "Izvjestaji" / "racun.rpt"), "report");
    EXPECT_FALSE(fs::exists(program / ".Tarvik_Upg.stage"));
    // The lock went with the first run: the next start has the folder.
    EXPECT_EQ(Run(ftp.port(), tds.Port(), "--restore"), 0) << out << err;
}

}  // namespace
