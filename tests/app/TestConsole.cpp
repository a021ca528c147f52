#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "cabinet/CabinetTestSupport.h"
#include "support/FtpServerProcess.h"
#include "support/FolderSnapshot.h"
#include "support/PeFixture.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

// The console program copied into a prepared program folder, as a store would install it.
class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() : programFolder(folder.path() / "Tarvik") {
        fs::create_directories(programFolder);
        fs::copy_file(fs::path(TEST_BINARY_DIR) / "velmora-upgrade-console",
                      programFolder / "velmora-upgrade-console");
    }

    // Runs the program with `args` and `input` on its standard input; returns the exit status.
    // Without an FTP port the update server is a closed loopback port.
    int Run(const std::string& args, const std::string& input = "", int ftpPort = 1) {
        folder.Write("stdin.txt", input);
        const std::string command =
            "cd '" + programFolder.string() + "' && XDG_CONFIG_HOME='" + folder.str() +
            "/config' VELMORA_UPDATE_SERVER=127.0.0.1:" + std::to_string(ftpPort) +
            " " + environment + launcher + " ./velmora-upgrade-console " + args +
            " <'" + folder.str() + "/stdin.txt' >'" + folder.str() + "/out.txt' 2>'" +
            folder.str() + "/err.txt'";
        const int status = std::system(command.c_str());
        out = TempFolder::Read(folder.path() / "out.txt");
        err = TempFolder::Read(folder.path() / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string RunLogText() const { return TempFolder::Read(programFolder / "Tarvik_Upg.log"); }

    TempFolder folder;
    fs::path programFolder;
    // More of the program's environment ("NAME=value "), and what starts it ("setpriv ...").
    std::string environment, launcher;
    std::string out, err;
};

TEST_F(ConsoleTest, MissingProgramFileEndsWithAnError) {
    EXPECT_EQ(Run(""), 1);
    EXPECT_NE(err.find("[error] Velmora dizanje verzije.: Nije moguće odrediti verziju datoteke."),
              std::string::npos)
        << err;
    EXPECT_NE(out.find("LblPozor: P O Z O R !! | Prije početka rad OBAVEZNO IZVRŠITE"),
              std::string::npos)
        << out;
    const std::string log = RunLogText();
    EXPECT_NE(log.find("\tmessage\terror\tVelmora dizanje verzije.\tNije moguće odrediti verziju datoteke.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\tend\texit status 1\n"), std::string::npos) << log;
}

TEST_F(ConsoleTest, NothingInstalledWhenTheServerCannotBeReached) {
    ASSERT_TRUE(MakePeExe((programFolder / "Tarvik.exe").string(), "3.0.0.2"));
    EXPECT_EQ(Run(""), 2) << out << err;
    EXPECT_NE(RunLogText().find("\tversion\tinstalled program version 3.0.2\n"), std::string::npos);
}

TEST_F(ConsoleTest, UnknownArgumentsAreRefused) {
    EXPECT_EQ(Run("--bogus"), 64);
    EXPECT_NE(err.find("usage: velmora-upgrade-console [--database-only | --restore]"), std::string::npos);
}

// A program folder the user at the till cannot write (installed by an administrator, or made
// read-only) while the server offers an upgrade: the run stops before it asks the server for
// anything, says why in one box, changes nothing in the folder, and keeps its run log in the
// user's data folder. Root writes everywhere: as root the program runs without the
// capabilities that let it, so that the folder's mode binds it as it binds a user.
TEST_F(ConsoleTest, AProgramFolderThatCannotBeWrittenStopsBeforeAnyDownload) {
    ASSERT_TRUE(MakePeExe((programFolder / "Tarvik.exe").string(), "3.0.0.2"));
    TempFolder sources{"velmora-console-readonly"};
    const fs::path ftpRoot = folder.path() / "ftp";
    fs::create_directories(ftpRoot);
    const std::string cabinet = (ftpRoot / "Tn_302_303.cab").string();
    ASSERT_EQ(cabtest::MakeGcabCabinet(sources, cabinet, {{"Tarvik.exe", "MZ new"}}, false),
              cabinet);
    const fs::path data = folder.path() / "data";
    environment = "XDG_DATA_HOME='" + data.string() + "' ";
    if (::geteuid() == 0)
        launcher = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --inh-caps=-all ";
    ASSERT_EQ(::chmod(programFolder.c_str(), 0555), 0);
    const auto before = FolderSnapshot(programFolder);

    FtpServerProcess ftp(ftpRoot.string(), (folder.path() / "ftp.log").string());
    const int status = Run("", "y\n", ftp.port());
    ::chmod(programFolder.c_str(), 0755);

    EXPECT_EQ(status, 1) << out << err;
    EXPECT_EQ(err, "[error] Velmora dizanje verzije.: Mapa programa nije dostupna za pisanje: | " +
                       programFolder.string() +
                       " | Pokrenite dizanje verzije kao administrator (desni klik, \"Pokreni "
                       "kao administrator\").\n");
    EXPECT_EQ(ftp.Commands(), std::vector<std::string>{}) << "the server was not asked";
    EXPECT_EQ(FolderSnapshot(programFolder), before);
    const std::string log = TempFolder::Read(data / "Tarvik_Upg.log");
    EXPECT_NE(log.find("\tstart\tprogram folder not writable (70/Permission denied); "
                       "nothing changed\n"),
              std::string::npos)
        << log;
}

// The installed version 3.0.2 is the newest the server offers: the user is asked whether to
// install it again and says yes.
class ConsoleReinstallTest : public ConsoleTest {
protected:
    ConsoleReinstallTest() : ftpRoot(folder.path() / "ftp") {
        fs::create_directories(ftpRoot);
        made = MakePeExe((programFolder / "Tarvik.exe").string(), "3.0.0.2");
        folder.Write("Tarvik/Tarvik_Upg.Upg", "[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n");
    }

    int RunAnsweringYes() {
        FtpServerProcess ftp(ftpRoot.string(), (folder.path() / "ftp.log").string());
        return Run("", "y\n", ftp.port());
    }

    TempFolder sources{"velmora-console-reinstall"};
    fs::path ftpRoot;
    bool made = false;
};

TEST_F(ConsoleReinstallTest, AFinishedReinstallEndsWithSuccess) {
    ASSERT_TRUE(made);
    const std::string cabinet = (ftpRoot / "Tn_301_302.cab").string();
    ASSERT_EQ(cabtest::MakeGcabCabinet(sources, cabinet,
                                       {{"Tarvik_Upg.Upg", "[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n"},
                                        {"a.txt", "a"},
                                        {"b.txt", "b"}},
                                       false),
              cabinet);
    EXPECT_EQ(RunAnsweringYes(), 0) << out << err;
    EXPECT_NE(err.find("[question] IZBOR: "), std::string::npos) << err;
    EXPECT_NE(out.find("LblPozor: GOTOVO !!"), std::string::npos) << out;
}

TEST_F(ConsoleReinstallTest, AReinstallThatInstalledNothingEndsWithNothingInstalled) {
    ASSERT_TRUE(made);
    folder.Write("ftp/Tn_301_302.cab", "not a cabinet");
    EXPECT_EQ(RunAnsweringYes(), 2) << out << err;
    EXPECT_NE(err.find("[question] IZBOR: "), std::string::npos) << err;
    EXPECT_EQ(out.find("GOTOVO"), std::string::npos) << out;
}

}  // namespace
