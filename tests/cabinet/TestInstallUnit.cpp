// Installation as one unit: the cabinet object unpacking into its own folder over real
// cabinets and folders, with faults made by the file-system seam and a crash by a process that
// ends in the middle of the move.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/InstallUnitFixture.h"
#include "cabinet/RestoreBackup.h"
#include "cabinet/StagedInstall.h"
#include "support/FaultyFileSystem.h"
#include "support/FolderSnapshot.h"

namespace fs = std::filesystem;

namespace {

class InstallUnitTest : public InstallUnitFixture {};

TEST_F(InstallUnitTest, InstallReplacesAddsAndKeepsTheReplacedFiles) {
    const std::string cabinet = MakeUpgradeCabinet();
    std::vector<std::string> after;
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(cabinet);
    cab.SetBackupLabel("3.1.5");
    cab.InstallStep = [this](const std::string& line) { notes.push_back(line); };
    cab.AfterExtract = [&](const std::string& path) { after.push_back(path); };
    ASSERT_TRUE(cab.Extract("", "", ""));

    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ new program");
    EXPECT_EQ(TempFolder::Read(prog / "Izvjestaji/racun.rpt"), "new report");
    EXPECT_EQ(TempFolder::Read(prog / "Slike/logo.bmp"), std::string(60000, 'L'));
    EXPECT_EQ(TempFolder::Read(prog / "baza.ini"), "not in the cabinet");
    EXPECT_EQ(after, (std::vector<std::string>{(prog / "Tarvik.exe").string(),
                                               (prog / "Izvjestaji/racun.rpt").string(),
                                               (prog / "Slike/logo.bmp").string()}))
        << "the owner hears the places in the program folder";
    const fs::path backup = prog / "Tarvik_Upg.bak" / "3.1.5";
    EXPECT_EQ(TempFolder::Read(backup / "Tarvik.exe"), "MZ old program");
    EXPECT_EQ(TempFolder::Read(backup / "Izvjestaji/racun.rpt"), "old report");
    EXPECT_FALSE(fs::exists(backup / "Slike")) << "an added file has nothing to keep";
    EXPECT_FALSE(fs::exists(prog / ".Tarvik_Upg.stage"));
    EXPECT_TRUE(Noted("Tarvik_Upg.bak/3.1.5")) << "the run log names the backup";
    EXPECT_TRUE(Noted("replaced Tarvik.exe"));
}

// Each fault leaves the program folder as it was, byte for byte (the cabinet itself included),
// and shows the two boxes of a failed unpacking; a locked file also gets the hint naming it.
struct FaultCase {
    const char* label;
    bool damageLastFile;
    int failRenameAt;  // of the moves: 1 is Tarvik.exe into the backup
    FaultyFileSystem::Fault fault;
    bool failCreateFolder;
    bool failOpenForWrite;
    const char* secondBox;
    const char* hintPart;  // "" when no third box
};

const FaultCase kFaults[] = {
    {"cabinet damaged in its last file", true, 0, {}, false, false, "", ""},
    {"Tarvik.exe held open by the running program", false, 1,
     {FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText}, false, false,
     "32/The process cannot access the file because it is being used by another process.",
     "Datoteku Tarvik.exe koristi drugi program"},
    {"access refused at the last move", false, 5,
     {FileError::kPermissionDenied, FileError::kPermissionDeniedText}, false, false,
     "5/Access is denied.", ""},
    {"disk full in the middle of the move", false, 3,
     {FileError::kDiskFull, FileError::kDiskFullText}, false, false,
     "112/There is not enough space on the disk.", ""},
    {"staging folder cannot be made", false, 0, {}, true, false, "5/Access is denied.", ""},
    {"journal cannot be written", false, 0, {}, false, true,
     "112/There is not enough space on the disk.", ""},
};

TEST_F(InstallUnitTest, EveryFaultLeavesTheProgramFolderAsItWas) {
    for (const FaultCase& c : kFaults) {
        SCOPED_TRACE(c.label);
        view.messages.clear();
        std::string cabinet = MakeUpgradeCabinet();
        if (c.damageLastFile) {
            std::string bytes = TempFolder::Read(cabinet);
            for (std::size_t i = bytes.size() - 40; i < bytes.size(); ++i) bytes[i] = static_cast<char>(~bytes[i]);
            temp.Write("Prog/Tn_315_316.cab", bytes);
        }
        const auto before = FolderSnapshot(prog);
        FaultyFileSystem files;
        files.failRenameAt = c.failRenameAt;
        files.fault = c.fault;
        files.failCreateFolder = c.failCreateFolder;
        files.failOpenForWrite = c.failOpenForWrite;

        EXPECT_FALSE(Install(cabinet, files));
        EXPECT_EQ(FolderSnapshot(prog), before);
        const auto boxes = Boxes();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[0], kBox);
        EXPECT_EQ(view.messages[1].icon, MsgIcon::Warning);
        if (*c.secondBox) {
            EXPECT_EQ(boxes[1], c.secondBox);
        }
        if (*c.hintPart) {
            ASSERT_EQ(boxes.size(), 3u);
            EXPECT_NE(boxes[2].find(c.hintPart), std::string::npos) << boxes[2];
        } else {
            EXPECT_EQ(boxes.size(), 2u);
        }
    }
}

TEST_F(InstallUnitTest, RunLogNamesTheFileAndTheReasonOfAFailedMove) {
    FaultyFileSystem files;
    files.failRenamesOf = "racun.rpt";
    files.fault = {FileError::kPermissionDenied, FileError::kPermissionDeniedText};
    EXPECT_FALSE(Install(MakeUpgradeCabinet(), files));
    EXPECT_TRUE(Noted("move of Izvjestaji/racun.rpt failed: 70/Permission denied"));
    EXPECT_TRUE(Noted("put back Tarvik.exe"));
}

TEST_F(InstallUnitTest, RealReadOnlyFolderRefusesTheMoveAndNothingChanges) {
    if (geteuid() == 0) GTEST_SKIP() << "as root a read-only folder takes writes all the same";
    const std::string cabinet = MakeUpgradeCabinet();
    const auto before = FolderSnapshot(prog);
    fs::permissions(prog / "Izvjestaji", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Install(cabinet, realFiles));
    fs::permissions(prog / "Izvjestaji", fs::perms::owner_all);
    EXPECT_EQ(FolderSnapshot(prog), before);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "5/Access is denied."}));
}

TEST_F(InstallUnitTest, FilesThatCannotBePutBackAreNamedAndTheNextRunFinishesTheJob) {
    const std::string cabinet = MakeUpgradeCabinet();
    const auto before = FolderSnapshot(prog);
    FaultyFileSystem files;
    files.failRenameAt = 4;  // the new report into place; then putting it back fails as well
    files.failRenamesAfterFirstFault = 1;
    files.fault = {FileError::kFileAlreadyOpen, FileError::kFileAlreadyOpenText};
    EXPECT_FALSE(Install(cabinet, files));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_NE(boxes[2].find("Nisu vraćene sve stare datoteke programa"), std::string::npos);
    EXPECT_TRUE(fs::exists(prog / ".Tarvik_Upg.stage/journal.txt")) << "kept for the next run";

    const RecoveryReport report = RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
    EXPECT_TRUE(report.movesUndone);
    EXPECT_TRUE(report.notPutBack.empty());
    EXPECT_EQ(FolderSnapshot(prog), before);
}

// A process that ends in the middle of the move, as a crash or a power cut ends it: the next
// run's start finds the journal and puts every file back by itself.
TEST_F(InstallUnitTest, CrashInTheMiddleOfTheMoveIsUndoneByTheNextRun) {
    const std::string cabinet = MakeUpgradeCabinet();
    for (int crashAt : {1, 2, 3, 4, 5, 6}) {
        SCOPED_TRACE("crash at rename " + std::to_string(crashAt));
        const auto before = FolderSnapshot(prog);
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            FaultyFileSystem files;
            files.crashAtRename = crashAt;
            Install(cabinet, files);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 9) << "the child ended in the middle of the move";
        EXPECT_TRUE(fs::exists(prog / ".Tarvik_Upg.stage" / "journal.txt"));

        const RecoveryReport report =
            RecoverInterruptedInstall(realFiles, prog.string(), [this](const std::string& l) { notes.push_back(l); });
        EXPECT_TRUE(report.found);
        EXPECT_TRUE(report.movesUndone);
        EXPECT_TRUE(report.notPutBack.empty());
        EXPECT_EQ(FolderSnapshot(prog), before);
        EXPECT_TRUE(Noted("cut short while its files moved"));
    }
    // And the installation then goes through.
    EXPECT_TRUE(Install(cabinet, realFiles));
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ new program");
}

TEST_F(InstallUnitTest, CrashWhileUnpackingLeavesOnlyTheStagingFolderToRemove) {
    const auto before = FolderSnapshot(prog);
    temp.Write("Prog/.Tarvik_Upg.stage/files/Tarvik.exe", "MZ half");
    const RecoveryReport report = RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
    EXPECT_TRUE(report.found);
    EXPECT_FALSE(report.movesUndone);
    EXPECT_EQ(FolderSnapshot(prog), before);
}

TEST_F(InstallUnitTest, RestorePutsBackTheOldFilesByteForByte) {
    const std::string first = MakeUpgradeCabinet();
    const auto original = FolderSnapshot(prog);
    ASSERT_TRUE(Install(first, realFiles, "3.1.5"));
    const auto afterFirst = FolderSnapshot(prog);
    const std::string second = cabtest::MakeGcabCabinet(
        sources, (prog / "Tn_316_317.cab").string(), {{"Tarvik.exe", "MZ newest"}}, true);
    ASSERT_TRUE(Install(second, realFiles, "3.1.6"));
    fs::remove(prog / "Tn_316_317.cab");

    notes.clear();
    const auto note = [this](const std::string& l) { notes.push_back(l); };
    // What a restore sets aside is kept beside the backups, never deleted.
    EXPECT_EQ(RestoreLatestBackup(realFiles, prog.string(), note), "Tarvik_Upg.bak/3.1.6");
    EXPECT_EQ(WithoutSetAside(FolderSnapshot(prog)), afterFirst) << "one installation back";
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.6.before-restore/Tarvik.exe"), "MZ newest");
    EXPECT_EQ(RestoreLatestBackup(realFiles, prog.string(), note), "Tarvik_Upg.bak/3.1.5");
    EXPECT_EQ(WithoutSetAside(FolderSnapshot(prog)), original)
        << "added files and folders gone, old ones back";
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.5.before-restore/Tarvik.exe"),
              "MZ new program");
    EXPECT_TRUE(Noted("restored the files of Tarvik_Upg.bak/3.1.5"));
    EXPECT_THROW(RestoreLatestBackup(realFiles, prog.string(), note), AppError) << "nothing left";
}

TEST_F(InstallUnitTest, FailedRestoreChangesNothing) {
    ASSERT_TRUE(Install(MakeUpgradeCabinet(), realFiles));
    const auto installed = FolderSnapshot(prog);
    FaultyFileSystem files;
    files.failRenamesOf = "logo.bmp";  // the added file cannot be set aside
    EXPECT_THROW(RestoreLatestBackup(files, prog.string(), [](const std::string&) {}), InstallFailure);
    EXPECT_EQ(FolderSnapshot(prog), installed);
}

TEST_F(InstallUnitTest, AtMostThreeBackupsAreKept) {
    for (const char* version : {"3.1.1", "3.1.2", "3.1.3", "3.1.4"}) {
        const std::string cabinet = cabtest::MakeGcabCabinet(
            sources, (prog / "u.cab").string(), {{"Tarvik.exe", std::string("MZ after ") + version}}, true);
        ASSERT_TRUE(Install(cabinet, realFiles, version));
    }
    EXPECT_FALSE(fs::exists(prog / "Tarvik_Upg.bak/3.1.1"));
    EXPECT_FALSE(fs::exists(prog / "Tarvik_Upg.bak/3.1.1.lst"));
    for (const char* kept : {"3.1.2", "3.1.3", "3.1.4"})
        EXPECT_TRUE(fs::exists(prog / "Tarvik_Upg.bak" / kept / "Tarvik.exe")) << kept;
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.4/Tarvik.exe"), "MZ after 3.1.3");
}

}  // namespace
