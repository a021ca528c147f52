// The support staff's tool, run as a program: its output, its error lines and exit status.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/CabToolRun.h"
#include "cabinet/CabinetTestSupport.h"
#include "cabinet/RunLock.h"
#include "common/Strings.h"
#include "platform/stdfs/StdFileSystem.h"
#include "support/FolderSnapshot.h"
#include "support/TempFolder.h"

namespace {

using Result = CabToolResult;

// Under the C locale the listing's dates take the fixed Croatian formats, whatever the machine's.
Result RunTool(const std::string& arguments, const TempFolder& temp) {
    return RunCabTool(arguments, temp, "LC_ALL=C ");
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(VelmoraCabTool, CountListXmlExtract) {
    TempFolder temp;
    const std::string cab = Quote(cabtest::Fixture("lzx_uncompressed_blocks.cab"));
    EXPECT_EQ(RunTool("count " + cab, temp).out, "2\n");
    EXPECT_EQ(RunTool("list " + cab, temp).out,
              "\tbig.txt\t29.2.2024. 14:30:00\t70001\nsub\\\tsmall.txt\t29.2.2024. 14:30:00\t19\n");
    EXPECT_EQ(RunTool("list " + cab + " 'SUB\\small.txt'", temp).out,
              "sub\\\tsmall.txt\t29.2.2024. 14:30:00\t19\n");
    const Result xml = RunTool("xml " + cab + " small.txt", temp);
    EXPECT_EQ(xml.out.substr(0, 21), "<?xml version=\"1.0\"?>");
    EXPECT_TRUE(xml.out.ends_with("<PATH>sub\\</PATH></FILE>\r\n</FILES></CABFILE>")) << xml.out;

    const Result extract = RunTool("extract " + cab + " 'sub\\small.txt' " + Quote(temp.str()) + " x.txt", temp);
    EXPECT_EQ(extract.status, 0);
    EXPECT_EQ(extract.out, (temp.path() / "x.txt").string() + "\n");
    EXPECT_EQ(TempFolder::Read(temp.path() / "x.txt"), "after the big one\r\n");
}

TEST(VelmoraCabTool, ControlCharactersInNamesAreShownEscapedAndNeverWritten) {
    TempFolder temp;
    const std::string esc = Quote(cabtest::Fixture("control_esc.cab"));
    EXPECT_EQ(RunTool("list " + esc, temp).out,
              "\tok.txt\t29.2.2024. 14:30:00\t29\n\tred\\x1B[31m.txt\t29.2.2024. 14:30:00\t23\n");
    const Result crlf = RunTool("list " + Quote(cabtest::Fixture("control_crlf.cab")), temp);
    EXPECT_NE(crlf.out.find("\tforged\\r\\nline.txt\t"), std::string::npos) << crlf.out;
    const Result c1 = RunTool("list " + Quote(cabtest::Fixture("control_c1_utf8.cab")), temp);
    EXPECT_NE(c1.out.find("\tcsi\\u009B2J.txt\t"), std::string::npos) << c1.out;

    // The XML keeps its own CR LF after each FILE element, and only those.
    const std::string xml = RunTool("xml " + Quote(cabtest::Fixture("control_crlf.cab")), temp).out;
    EXPECT_NE(xml.find("<FULLNAME>forged\\r\\nline.txt</FULLNAME>"), std::string::npos) << xml;
    EXPECT_EQ(ReplaceAll(xml, "</FILE>\r\n", "").find_first_of("\r\n"), std::string::npos) << xml;
    EXPECT_EQ(RunTool("xml " + esc, temp).out.find('\x1b'), std::string::npos);

    const Result extract = RunTool("extract " + esc + " '' " + Quote(temp.str() + "/out"), temp);
    EXPECT_EQ(extract.status, 1);
    EXPECT_EQ(extract.out, temp.str() + "/out/ok.txt\n");
    EXPECT_EQ(extract.err, "Greška kod raspakiravanja skinute datoteke !!\n"
                           "123/The filename, directory name, or volume label syntax is incorrect.\n");
    for (const auto& e : std::filesystem::recursive_directory_iterator(temp.path()))
        EXPECT_FALSE(HasControlCharacters(e.path().filename().string())) << e.path();
}

// Support staff unpack one file into a program folder while the upgrade installs there (this
// test's process holds the folder as a run does): the tool fails as a second run would and
// writes nothing; once the run is over the same command works.
TEST(VelmoraCabTool, ExtractIntoAFolderARunHoldsWritesNothing) {
    TempFolder temp;
    const std::filesystem::path prog = temp.path() / "Prog";
    temp.Write("Prog/Tarvik.exe", "MZ program");
    const std::string cab = Quote(cabtest::Fixture("lzx_uncompressed_blocks.cab"));
    const std::string command = "extract " + cab + " 'sub\\small.txt' " + Quote(prog.string());
    StdFileSystem files;
    auto run = RunLock::Take(files, prog.string());
    ASSERT_NE(run, nullptr);
    const auto before = FolderSnapshot(prog);

    const Result held = RunTool(command, temp);
    EXPECT_EQ(held.status, 1);
    EXPECT_EQ(held.out, "");
    EXPECT_EQ(held.err,
              "install: another run of the upgrade holds this program folder; nothing changed\n"
              "Greška kod raspakiravanja skinute datoteke !!\n"
              "32/The process cannot access the file because it is being used by another process.\n");
    EXPECT_EQ(FolderSnapshot(prog), before);

    run.reset();
    const Result after = RunTool(command, temp);
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(after.out, (prog / "sub/small.txt").string() + "\n");
    EXPECT_EQ(TempFolder::Read(prog / "sub/small.txt"), "after the big one\r\n");
}

TEST(VelmoraCabTool, ErrorsAsNumberSlashDescription) {
    TempFolder temp;
    const Result missing = RunTool("count " + Quote(temp.str() + "/none.cab"), temp);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "2/The system cannot find the file specified.\n");

    const Result damaged = RunTool("extract " + Quote(cabtest::Fixture("damaged_mszip_bad_checksum.cab")) +
                                   " '' " + Quote(temp.str()),
                               temp);
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.err,
              "Greška kod raspakiravanja skinute datoteke !!\n23/Data error (cyclic redundancy check).\n");

    const Result usage = RunTool("frobnicate x", temp);
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage: velmora-cab"), std::string::npos);
}

}  // namespace
