// velmora-cab for the maker: sign, verify and the release check, run as a program on real
// cabinets (gcab), real executables and keys made with the openssl tool.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/CabToolRun.h"
#include "cabinet/CabinetTestSupport.h"
#include "support/PeFixture.h"
#include "support/TempFolder.h"
#include "support/TestKeys.h"

namespace {

using Result = CabToolResult;

Result RunTool(const std::string& arguments, const TempFolder& temp) {
    return RunCabTool(arguments, temp);
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

const char* kGoodScript =
    "[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n[Akcija]\r\nCREATE TABLE A (a int)\r\n-GO-\r\n"
    "UPDATE A SET a = 1\r\n-GO-\r\n*\r\n";

class ReleaseTool : public ::testing::Test {
protected:
    ReleaseTool() {
        maker_ = MakeTestKeyPair(keys_, "maker");
        EXPECT_TRUE(MakePeExe((keys_.path() / "new.exe").string(), "3.0.0.3"));
        EXPECT_TRUE(MakePeExe((keys_.path() / "old.exe").string(), "3.0.0.2"));
    }

    std::string Release(const std::string& name, const std::string& exe, const std::string& script,
                        bool third = true) {
        const std::string path = (folder_.path() / name).string();
        std::filesystem::remove(path);
        const std::string program = TempFolder::Read(keys_.path() / exe);
        const std::string made =
            third ? cabtest::MakeGcabCabinet(sources_, path,
                                             {{"Tarvik.exe", program},
                                              {"Tarvik_Upg.Upg", script},
                                              {"Izvjestaji/r.rpt", "report"}},
                                             true)
                  : cabtest::MakeGcabCabinet(
                        sources_, path, {{"Tarvik.exe", program}, {"Tarvik_Upg.Upg", script}}, true);
        EXPECT_EQ(made, path);
        return path;
    }

    Result Check(const std::string& path) {
        return RunTool("check " + Quote(path) + " --key " + Quote(maker_.publicPem), folder_);
    }

    TempFolder folder_{"velmora-release"};
    TempFolder sources_{"velmora-release-src"};
    TempFolder keys_{"velmora-release-keys"};
    TestKeyPair maker_;
};

TEST_F(ReleaseTool, SignThenVerifyAndAChangedCabinetIsNotValid) {
    const std::string cab = Release("Tn_302_303.cab", "new.exe", kGoodScript);
    const Result sign = RunTool("sign " + Quote(maker_.privatePem) + " " + Quote(cab), folder_);
    EXPECT_EQ(sign.status, 0) << sign.err;
    EXPECT_EQ(sign.out, "signed: " + cab + ".sig\n");
    const std::string withKey = " --key " + Quote(maker_.publicPem);
    const Result valid = RunTool("verify " + Quote(cab) + withKey, folder_);
    EXPECT_EQ(valid.status, 0);
    EXPECT_EQ(valid.out.substr(0, 21), "valid: signed by key ");

    // This tool carries no key of its own: without --key there is nothing to check with.
    const Result noKey = RunTool("verify " + Quote(cab), folder_);
    EXPECT_EQ(noKey.status, 1);
    EXPECT_NE(noKey.out.find("no key to check with"), std::string::npos);

    std::string bytes = TempFolder::Read(cab);
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 1);
    folder_.Write("Tn_302_303.cab", bytes);
    const Result changed = RunTool("verify " + Quote(cab) + withKey, folder_);
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out.substr(0, 60), "not valid: the file was changed after it was signed (its SHA");

    std::filesystem::remove(cab + ".sig");
    EXPECT_EQ(RunTool("verify " + Quote(cab) + withKey, folder_).out,
              "not valid: no signature file " + cab + ".sig\n");
    EXPECT_EQ(RunTool("sign " + Quote(maker_.publicPem) + " " + Quote(cab), folder_).status, 1);
    EXPECT_EQ(RunTool("verify", folder_).status, 2);
}

TEST_F(ReleaseTool, AGoodSignedReleasePassesWithItsBatchesCounted) {
    const std::string cab = Release("Tn_302_303.cab", "new.exe", kGoodScript);
    ASSERT_EQ(RunTool("sign " + Quote(maker_.privatePem) + " " + Quote(cab), folder_).status, 0);
    const Result r = Check(cab);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("error:"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("warning:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("note: Tarvik.exe has version 3.0.3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("note: Tarvik_Upg.Upg: [Akcija] splits into 2 batches\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("note: signature valid: signed by key "), std::string::npos) << r.out;
}

TEST_F(ReleaseTool, BrokenReleasesAreReportedOneLineEach) {
    const struct {
        const char* what;
        std::string name;
        const char* exe;
        std::string script;
        bool third;
        int status;
        const char* line;
    } cases[] = {
        {"wrong version inside", "Tn_302_303.cab", "old.exe", kGoodScript, true, 1,
         "error: Tarvik.exe has version 3.0.2 (302), but the name upgrades to 303\n"},
        {"label not matching the name", "Tn_302_303.cab", "new.exe",
         "[Verzija]\r\n3.0.1 / 3.0.2\r\n*\r\n[Akcija]\r\nSELECT 1\r\n-GO-\r\n*\r\n", true, 1,
         "error: the label \"3.0.1 / 3.0.2\" says 301 to 302, the name 302 to 303\n"},
        {"a short label", "Tn_302_303.cab", "new.exe",
         "[Verzija]\r\n302 / 303\r\n*\r\n[Akcija]\r\nSELECT 1\r\n-GO-\r\n*\r\n", true, 1,
         "error: the label \"302 / 303\" is shorter than 13 characters\n"},
        {"NUL in the script", "Tn_302_303.cab", "new.exe",
         std::string("[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n[Akcija]\r\nSELECT 1\r\nDROP\0 TABLE\r\n-GO-\r\n*\r\n",
                     68),
         true, 1, "error: Tarvik_Upg.Upg: [Akcija] cannot be read: a NUL byte in line"},
        {"an empty script", "Tn_302_303.cab", "new.exe",
         "[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n[Akcija]\r\n*\r\n", true, 0,
         "warning: Tarvik_Upg.Upg: [Akcija] is empty: no database is changed\n"},
        {"a statement after the last -GO-", "Tn_302_303.cab", "new.exe",
         "[Verzija]\r\n3.0.2 / 3.0.3\r\n*\r\n[Akcija]\r\nSELECT 1\r\n-GO-\r\nSELECT 2\r\n*\r\n", true,
         1, "error: Tarvik_Upg.Upg: [Akcija] has statements after its last -GO-"},
        {"two files only", "Tn_302_303.cab", "new.exe", kGoodScript, false, 0,
         "warning: the cabinet holds fewer than 3 files: after it the store's program ends"},
        {"a name off the scheme", "Tn_3a2_303.cab", "new.exe", kGoodScript, true, 1,
         "error: name Tn_3a2_303.cab does not follow Tn_FFF_TTT.cab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string cab = Release(c.name, c.exe, c.script, c.third);
        ASSERT_EQ(RunTool("sign " + Quote(maker_.privatePem) + " " + Quote(cab), folder_).status, 0);
        const Result r = Check(cab);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        std::filesystem::remove(cab);
        std::filesystem::remove(cab + ".sig");
    }
}

TEST_F(ReleaseTool, HostileStoredNamesAndAMissingSignatureAreFound) {
    const std::string cab = (folder_.path() / "Tn_302_303.cab").string();
    std::filesystem::copy_file(cabtest::Fixture("traversal_dotdot.cab"), cab);
    const Result r = Check(cab);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("error: stored name ..\\"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("is one a store's program refuses to write"), std::string::npos);
    EXPECT_NE(r.out.find("error: no Tarvik.exe in the cabinet"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("warning: no signature Tn_302_303.cab.sig"), std::string::npos) << r.out;
}

}  // namespace
