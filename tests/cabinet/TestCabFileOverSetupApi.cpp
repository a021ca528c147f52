// The cabinet object over the SetupAPI iterator: what a user of the Windows program sees when a
// downloaded cabinet is unpacked, listed or refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/CabFile.h"
#include "cabinet/CabinetTestSupport.h"
#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/setupapi/SetupApiCabinetIterator.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"
#include "platform/stdfs/StdFileSystem.h"

namespace fs = std::filesystem;
using cabtest::Fixture;

namespace {

// The installation's file system, handed in as the programs' wiring hands in theirs.
StdFileSystem realFiles;

constexpr const char* kBox = "Greška kod raspakiravanja skinute datoteke !!";

// Counts the files announced to the object, to show where a pass stopped.
class CountingIterator : public ICabinetIterator {
public:
    bool Iterate(const std::string& path, cabinet_api::CabinetCallback callback,
                 std::uintptr_t context) override {
        callback_ = callback;
        context_ = context;
        announced = 0;
        return inner.Iterate(path, &Forward, reinterpret_cast<std::uintptr_t>(this));
    }
    std::uint32_t LastError() const override { return inner.LastError(); }

    SetupApiCabinetIterator inner;
    int announced = 0;

private:
    static std::uint32_t Forward(std::uintptr_t self, std::uint32_t n, std::uintptr_t p1,
                                 std::uintptr_t p2) noexcept {
        auto& me = *reinterpret_cast<CountingIterator*>(self);
        if (n == cabinet_api::SPFILENOTIFY_FILEINCABINET) ++me.announced;
        return me.callback_(me.context_, n, p1, p2);
    }
    cabinet_api::CabinetCallback callback_ = nullptr;
    std::uintptr_t context_ = 0;
};

class CabFileOverSetupApi : public ::testing::Test {
protected:
    void SetUp() override { cabtest::UseFixedDateLocale(); }

    // The fixture copied into a program folder whose own name has Croatian letters.
    std::string ProgramCabinet(const char* fixture) {
        const fs::path folder = temp.path() / FsPath("Tarvik čćžšđ");
        fs::create_directories(folder);
        fs::copy_file(Fixture(fixture), folder / "u.cab");
        return Utf8Path(folder / "u.cab");
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& m : view.messages) texts.push_back(m.text);
        return texts;
    }

    TempFolder temp;
    ScriptedView view;
    CountingIterator iterator;
};

TEST_F(CabFileOverSetupApi, ExtractsWindows1250AndUtf8NamesIntoTheirFolders) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(ProgramCabinet("names_cp1250_and_utf8.cab"));
    std::vector<std::string> before, after;
    cab.BeforeExtract = [&](const std::string& n, bool&) { before.push_back(n); };
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_TRUE(cab.Extract("", "", ""));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(before, (std::vector<std::string>{"Čćžšđ\\Šđ.txt", "Čćžšđ\\Žč.txt"}));
    const std::string folder = JoinPath(Utf8Path(temp.path()), "Tarvik čćžšđ\\Čćžšđ");
    EXPECT_EQ(after, (std::vector<std::string>{folder + "\\Šđ.txt", folder + "\\Žč.txt"}));
    EXPECT_EQ(TempFolder::Read(FsPath(folder + "\\Šđ.txt")), "cp1250 name\r\n");
    EXPECT_EQ(TempFolder::Read(FsPath(folder + "\\Žč.txt")), "utf-8 name\r\n");
}

TEST_F(CabFileOverSetupApi, ExtractsOneFileIntoMissingFoldersUnderAnotherName) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(ProgramCabinet("lzx_uncompressed_blocks.cab"));
    const std::string out = JoinPath(Utf8Path(temp.path()), "Izlaz\\duboko\\još");
    EXPECT_TRUE(cab.Extract("SUB\\SMALL.TXT", out, ""));
    EXPECT_EQ(TempFolder::Read(FsPath(out + "\\sub\\small.txt")), "after the big one\r\n");
    EXPECT_TRUE(cab.Extract("big.txt", out, "veliki.txt"));
    EXPECT_EQ(fs::file_size(FsPath(out + "\\veliki.txt")), 70001u);
    EXPECT_FALSE(fs::exists(FsPath(out + "\\big.txt")));
}

TEST_F(CabFileOverSetupApi, NamesThatClimbOutAreRefused) {
    for (const char* fixture : {"traversal_dotdot.cab", "traversal_nested_dotdot.cab",
                                "traversal_absolute.cab", "traversal_drive.cab",
                                "traversal_forward_slash_dotdot.cab"}) {
        TempFolder area;
        const fs::path out = area.path() / "a" / "b" / "out";
        fs::create_directories(out);
        ScriptedView boxes;
        CabFile cab(boxes, iterator, realFiles);
        cab.SetCabName(Fixture(fixture));
        EXPECT_FALSE(cab.Extract("", Utf8Path(out), "")) << fixture;
        ASSERT_EQ(boxes.messages.size(), 2u) << fixture;
        EXPECT_EQ(boxes.messages[1].text,
                  "123/The filename, directory name, or volume label syntax is incorrect.")
            << fixture;
        EXPECT_TRUE(fs::exists(out / "ok.txt")) << fixture << ": the file before it stays";
        for (const auto& e : fs::recursive_directory_iterator(area.path()))
            EXPECT_NE(e.path().filename(), "evil.txt") << fixture << ": " << e.path();
    }
}

TEST_F(CabFileOverSetupApi, AFoundFileEndsThePass) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("mszip_three_files.cab"));
    std::vector<std::string> found;
    cab.FileFound = [&](const std::string& n, CabDateTime, std::int32_t, const std::string&) {
        found.push_back(n);
    };
    EXPECT_TRUE(cab.GetInfo("SECOND.txt"));
    EXPECT_EQ(found, std::vector<std::string>{"second.txt"});
    EXPECT_EQ(iterator.announced, 2) << "the third file is never announced";
    EXPECT_EQ(cab.FileCount(), 3);
}

TEST_F(CabFileOverSetupApi, DamagedCabinetKeepsFinishedFilesOnly) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("damaged_mszip_bad_checksum.cab"));
    EXPECT_FALSE(cab.Extract("", Utf8Path(temp.path()), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "23/Data error (cyclic redundancy check)."}));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(temp.path()))
        left.push_back(Utf8Path(e.path().filename()));
    EXPECT_EQ(left, std::vector<std::string>{"first.txt"});
}

TEST_F(CabFileOverSetupApi, MissingCabinet) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Utf8Path(temp.path() / "nema.cab"));
    try {
        cab.FileCount();
        FAIL() << "no error raised";
    } catch (const AppError& error) {
        EXPECT_EQ(error.number(), 2);
        EXPECT_EQ(error.source(), "CabFile");
        EXPECT_EQ(error.description(), "The system cannot find the file specified.");
    }
}

}  // namespace
