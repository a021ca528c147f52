// The program folder's file operations on Linux where a store's folder may hold what a careless
// or hostile hand put there.
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/stdfs/StdFileSystem.h"
#include "support/FolderSnapshot.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

// Root writes everywhere; without these capabilities a folder's mode binds it as it binds a
// user at the till.
bool DropFileCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[0].effective &= ~(1u << capability);
    return ::syscall(SYS_capset, &header, data) == 0;
}

// FolderWritable's answer for `folder` in a child process without those capabilities: 1 for
// writable, 0 for not, -1 when the child could not ask.
int WritableToAUser(const std::string& folder) {
    const pid_t child = fork();
    if (child == 0) {
        if (!DropFileCapabilities()) _exit(3);
        StdFileSystem files;
        _exit(files.FolderWritable(folder) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? WEXITSTATUS(status) : -1;
}

// Links planted under the names the probe of a folder's writability may take (the one earlier
// versions used, and this process's), one to a file outside the folder, one to a file not
// there yet, and a leftover probe: none is followed, truncated or removed, and the folder still
// counts as writable.
TEST(StdFileSystem, TheWritabilityProbeFollowsNoLinkAndKeepsWhatIsThere) {
    TempFolder temp;
    const fs::path prog = temp.path() / "Prog";
    const fs::path outside = temp.path() / "outside";
    temp.Write("outside/baza.ini", "the store's settings");
    temp.Write("Prog/Tarvik.exe", "MZ program");
    const std::string own = ".Tarvik_Upg." + std::to_string(::getpid()) + ".";
    fs::create_symlink(outside / "baza.ini", prog / ".Tarvik_Upg.probe");
    fs::create_symlink(outside / "baza.ini", prog / (own + "0.probe"));
    fs::create_symlink(outside / "new.ini", prog / (own + "1.probe"));
    temp.Write("Prog/" + own + "2.probe", "a leftover");
    const auto before = FolderSnapshot(temp.path());

    StdFileSystem files;
    EXPECT_TRUE(files.FolderWritable(prog.string()));
    EXPECT_EQ(FolderSnapshot(temp.path()), before);
    EXPECT_EQ(TempFolder::Read(outside / "baza.ini"), "the store's settings");
    EXPECT_FALSE(fs::exists(outside / "new.ini"));
    for (const std::string& link :
         {std::string(".Tarvik_Upg.probe"), own + "0.probe", own + "1.probe"})
        EXPECT_TRUE(fs::is_symlink(prog / link)) << link;
    EXPECT_EQ(TempFolder::Read(prog / (own + "2.probe")), "a leftover");
}

TEST(StdFileSystem, AFolderIsWritableUnlessItsModeRefusesTheUser) {
    TempFolder temp;
    temp.Write("Open/Tarvik.exe", "MZ program");
    temp.Write("Shut/Tarvik.exe", "MZ program");
    ASSERT_EQ(::chmod((temp.path() / "Shut").c_str(), 0555), 0);
    const auto before = FolderSnapshot(temp.path());

    EXPECT_EQ(WritableToAUser((temp.path() / "Open").string()), 1);
    EXPECT_EQ(WritableToAUser((temp.path() / "Shut").string()), 0);
    EXPECT_EQ(FolderSnapshot(temp.path()), before) << "the probe leaves nothing behind";
    ::chmod((temp.path() / "Shut").c_str(), 0755);
}

}  // namespace
