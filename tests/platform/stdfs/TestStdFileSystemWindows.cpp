// The program folder's file operations on Windows, where the installation's safety rests on the
// system's own answers: the folder's lock, a program's image that cannot be written, the errors
// worth waiting out, and paths the staging folder makes longer than 260 characters.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "common/AppError.h"
#include "common/Paths.h"
#include "platform/stdfs/StdFileSystem.h"
#include "common/Utf16.h"
#include "support/TempFolder.h"

namespace {

using std::chrono::milliseconds;

class StdFileSystemWindows : public ::testing::Test {
protected:
    std::string In(const std::string& name) const { return JoinPath(temp.str(), name); }
    void Make(const std::string& path, const std::string& bytes = "x") {
        auto writer = files.OpenForWrite(path);
        writer->Write(bytes.data(), bytes.size());
        writer->Close();
    }
    static HANDLE Open(const std::string& path, DWORD share) {
        return CreateFileW(LongPathForm(WideFromUtf8(path)).c_str(), GENERIC_READ, share, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    TempFolder temp{"velmora-fs-win"};
    StdFileSystem files;
};

TEST_F(StdFileSystemWindows, TheLockIsRefusedWhileHeldAndGoesWithItsFile) {
    const std::string lock = In(".Tarvik_Upg.lock");
    auto first = files.TryLock(lock);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(files.TryLock(lock), nullptr) << "a second open of the lock file must be refused";
    first.reset();
    EXPECT_FALSE(files.Exists(lock)) << "the lock file goes when its handle closes";
    EXPECT_NE(files.TryLock(lock), nullptr);
}

TEST_F(StdFileSystemWindows, ARunningImageAndAFileKeptWithoutSharingAreHeldElsewhere) {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    EXPECT_TRUE(files.HeldOpenElsewhere(Utf8FromWide(self))) << "this test's own image";

    const std::string tarvik = In("Tarvik.exe");
    Make(tarvik);
    EXPECT_FALSE(files.HeldOpenElsewhere(tarvik));
    const HANDLE shared = Open(tarvik, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(files.HeldOpenElsewhere(tarvik)) << "a reader that shares everything is no bar";
    CloseHandle(shared);
    const HANDLE kept = Open(tarvik, 0);
    ASSERT_NE(kept, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(files.HeldOpenElsewhere(tarvik));
    CloseHandle(kept);
    EXPECT_FALSE(files.HeldOpenElsewhere(tarvik));
}

TEST_F(StdFileSystemWindows, AFileHeldAsAScannerHoldsItIsWaitedForAndANameTakenIsNot) {
    const std::string held = In("Tarvik_Upg.Upg");
    Make(held);
    const HANDLE scanner = Open(held, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    try {
        files.Rename(held, In("moved"));
        ADD_FAILURE() << "a file open without shared deleting cannot be renamed";
    } catch (const AppError& error) {
        EXPECT_EQ(error.number(), FileError::kFileAlreadyOpen);
        EXPECT_EQ(files.PatienceFor(error), milliseconds(30000));
    }
    CloseHandle(scanner);

    Make(In("taken"));
    try {
        files.Rename(held, In("taken"));
        ADD_FAILURE() << "a rename must never replace a file";
    } catch (const AppError& error) {
        EXPECT_EQ(error.number(), FileError::kFileAlreadyExists);
        EXPECT_EQ(files.PatienceFor(error), milliseconds(0));
    }
}

TEST_F(StdFileSystemWindows, PathsPastTheOrdinaryLimitWork) {
    // Folders with Croatian letters, 60 characters each, to past 300 characters.
    std::string folder = temp.str();
    std::wstring level;
    for (int i = 0; i < 12; ++i) level += L"Čćžšđ";
    while (WideFromUtf8(folder).size() < 300) {
        folder = JoinPath(folder, Utf8FromWide(level));
        files.CreateFolder(folder);
        ASSERT_TRUE(files.FolderExists(folder)) << WideFromUtf8(folder).size() << " characters";
    }
    const std::string file = JoinPath(folder, "račun.rpt");
    Make(file, "report");
    EXPECT_TRUE(files.Exists(file));
    EXPECT_EQ(files.ReadAll(file), "report");
    EXPECT_EQ(files.Stamp(file).size, 6);
    const std::string moved = JoinPath(folder, "račun.bak");
    files.Rename(file, moved);
    std::vector<std::string> names;
    for (const FolderEntry& entry : files.ListFolder(folder)) names.push_back(entry.name);
    EXPECT_EQ(names, std::vector<std::string>{"račun.bak"});
    files.SetHidden(moved);
    files.Delete(moved);
    files.RemoveFolder(folder);
    EXPECT_FALSE(files.FolderExists(folder));
}

// Files left under the names the writability probe of this process takes (a crash's, or a
// hand's): neither truncated nor removed, and the folder still counts as writable.
TEST_F(StdFileSystemWindows, TheWritabilityProbeKeepsWhatIsUnderItsNames) {
    const std::string own = ".Tarvik_Upg." + std::to_string(GetCurrentProcessId()) + ".";
    Make(In(".Tarvik_Upg.probe"), "an earlier probe");
    Make(In(own + "0.probe"), "a leftover");
    Make(In(own + "1.probe"), "another leftover");
    EXPECT_TRUE(files.FolderWritable(temp.str()));
    EXPECT_EQ(files.ReadAll(In(".Tarvik_Upg.probe")), "an earlier probe");
    EXPECT_EQ(files.ReadAll(In(own + "0.probe")), "a leftover");
    EXPECT_EQ(files.ReadAll(In(own + "1.probe")), "another leftover");
    EXPECT_FALSE(files.Exists(In(own + "2.probe"))) << "the probe goes with its handle";
}

}  // namespace
