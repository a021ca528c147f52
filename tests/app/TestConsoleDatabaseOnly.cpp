// velmora-upgrade-console --database-only: the database phase alone, from a program folder as a
// store has it after an installed cabinet, against the TDS test server.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/PeFixture.h"
#include "support/TdsTestServer.h"
#include "support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

class ConsoleDatabaseOnly : public ::testing::Test {
protected:
    ConsoleDatabaseOnly() : programFolder(folder.path() / "Tarvik") {
        fs::create_directories(programFolder);
        fs::copy_file(fs::path(TEST_BINARY_DIR) / "velmora-upgrade-console",
                      programFolder / "velmora-upgrade-console");
        made = MakePeExe((programFolder / "Tarvik.exe").string(), "3.0.0.13");
        folder.Write("Tarvik/Tarvik_Upg.Upg",
                     "[Verzija]\r\n3.0.12 / 3.0.13\r\n*\r\n[Akcija]\r\nCREATE TABLE Nova (a int)\r\n-GO-\r\n*\r\n");
    }

    int Run(int port) {
        folder.Write("config/VB and VBA Program Settings/Tarvik.ini",
                     "[PutBaza]\nPutBaza=C:\\Tarvik\n[ImeServera]\nImeServera=127.0.0.1," +
                         std::to_string(port) + "\n[TipServera]\nTipServera=1\n");
        const std::string command = "cd '" + programFolder.string() + "' && XDG_CONFIG_HOME='" +
                                    folder.str() + "/config' ./velmora-upgrade-console --database-only" +
                                    " </dev/null >'" + folder.str() + "/out.txt' 2>'" + folder.str() +
                                    "/err.txt'";
        const int status = std::system(command.c_str());
        out = TempFolder::Read(folder.path() / "out.txt");
        err = TempFolder::Read(folder.path() / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempFolder folder;
    fs::path programFolder;
    bool made = false;
    std::string out, err;
};

TEST_F(ConsoleDatabaseOnly, RunsThePhaseAloneAndEndsWithItsStatus) {
    ASSERT_TRUE(made);
    TdsTestServer server(R"({"password": "KolVanDuaMerTis", "databases": [
        {"name": "ALFA", "id": 5, "tables": ["BLAG_DNEV"], "verzija": ["3.0.12"]}]})");
    EXPECT_EQ(Run(server.Port()), 0) << out << err;
    EXPECT_NE(out.find("LblPozor:  ALFA,  "), std::string::npos) << out;
    EXPECT_NE(err.find("Podizanje verzije uspješno završeno !!"), std::string::npos) << err;
    EXPECT_NE(server.State().find("3.0.13"), std::string::npos);
    const std::string log = TempFolder::Read(programFolder / "Tarvik_Upg.log");
    EXPECT_NE(log.find("console, database phase only"), std::string::npos) << log;
    EXPECT_NE(log.find("stamped ALFA with 3.0.13"), std::string::npos) << log;
}

TEST_F(ConsoleDatabaseOnly, FailedBatchEndsWithStatusThree) {
    ASSERT_TRUE(made);
    TdsTestServer server(R"({"password": "KolVanDuaMerTis", "databases": [
        {"name": "ALFA", "id": 5, "tables": ["BLAG_DNEV"], "verzija": ["3.0.12"]}],
        "faults": [{"match": "Nova", "error": {"number": 2714, "message": "There is already an object named 'Nova' in the database."}}]})");
    EXPECT_EQ(Run(server.Port()), 3) << out << err;
    EXPECT_NE(err.find("Neuspjelih naredbi: 1 (ALFA)."), std::string::npos) << err;
}

}  // namespace
