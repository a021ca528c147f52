#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

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
    int Run(const std::string& args, const std::string& input = "") {
        folder.Write("stdin.txt", input);
        const std::string command =
            "cd '" + programFolder.string() + "' && XDG_CONFIG_HOME='" + folder.str() +
            "/config' VELMORA_UPDATE_SERVER=127.0.0.1:1 ./velmora-upgrade-console " + args +
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
    EXPECT_NE(err.find("usage: velmora-upgrade-console [--database-only]"), std::string::npos);
}

}  // namespace
