// The installation's safety against what a busy store and a hostile cabinet do: a second run
// while one installs, names that reach the tool's own bookkeeping or that Windows reads as
// something else, files that cannot be unpacked, journals and manifests that lead out of the
// program folder, empty cabinets, restores cut short, a program held open. Real cabinets,
// real folders, real processes; what is asserted is what the store would find on disk and see.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cabinet/InstallUnitFixture.h"
#include "cabinet/RestoreBackup.h"
#include "cabinet/StagedInstall.h"
#include "support/FaultyFileSystem.h"
#include "support/FolderSnapshot.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kInvalidNameBox =
    "123/The filename, directory name, or volume label syntax is incorrect.";

// A child process that another process holds at a point of its work: it says when it got
// there, and goes on only when let go.
class HeldChild {
public:
    HeldChild() {
        if (::pipe(ready_) != 0 || ::pipe(go_) != 0) ADD_FAILURE() << "no pipes";
    }
    ~HeldChild() {
        for (int fd : {ready_[0], ready_[1], go_[0], go_[1]}) ::close(fd);
    }
    // In the child: tells the parent, then waits for it (or for its end, should a failed
    // assertion leave it without letting go).
    void HoldHere() {
        ::close(go_[1]);
        go_[1] = -1;
        char byte = 'h';
        if (::write(ready_[1], &byte, 1) != 1) _exit(3);
        if (::read(go_[0], &byte, 1) != 1) _exit(4);
    }
    // In the parent: true once the child is held (within 30 s).
    bool WaitUntilHeld() {
        pollfd p{ready_[0], POLLIN, 0};
        char byte = 0;
        return ::poll(&p, 1, 30000) == 1 && ::read(ready_[0], &byte, 1) == 1;
    }
    void LetGo() {
        const char byte = 'g';
        if (go_[1] < 0) return;
        if (::write(go_[1], &byte, 1) != 1) ADD_FAILURE() << "child not let go";
    }

private:
    int ready_[2]{-1, -1};
    int go_[2]{-1, -1};
};

// The exit status of a child, -1 when it did not exit by itself.
int Wait(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Everything below `root` apart from the entries below `skip/`.
std::map<std::string, std::string> SnapshotWithout(const fs::path& root, const std::string& skip) {
    auto entries = FolderSnapshot(root);
    std::erase_if(entries, [&](const auto& e) { return e.first.rfind(skip + "/", 0) == 0; });
    return entries;
}

class InstallSafetyTest : public InstallUnitFixture {
protected:
    // The program folder after the upgrade cabinet went in, checked file by file.
    void ExpectUpgradeInstalled() {
        EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ new program");
        EXPECT_EQ(TempFolder::Read(prog / "Izvjestaji/racun.rpt"), "new report");
        EXPECT_EQ(TempFolder::Read(prog / "Slike/logo.bmp"), std::string(60000, 'L'));
        EXPECT_EQ(TempFolder::Read(prog / "baza.ini"), "not in the cabinet");
        EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.5/Tarvik.exe"), "MZ old program");
        EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.5/Izvjestaji/racun.rpt"), "old report");
        EXPECT_FALSE(fs::exists(prog / ".Tarvik_Upg.stage"));
    }
};

// A store user starts the upgrade a second time while the first installs (held here before
// each of its moves in turn): the second start, whatever it tries, changes nothing, and the
// first then finishes with every file where it belongs.
TEST_F(InstallSafetyTest, SecondRunWhileOneInstallsChangesNothingAndTheFirstFinishes) {
    for (int heldAt : {1, 3, 5, 6}) {
        SCOPED_TRACE("first run held before rename " + std::to_string(heldAt));
        fs::remove_all(prog);
        temp.Write("Prog/Tarvik.exe", "MZ old program");
        temp.Write("Prog/Izvjestaji/racun.rpt", "old report");
        temp.Write("Prog/baza.ini", "not in the cabinet");
        const std::string cabinet = MakeUpgradeCabinet();
        const std::string other = cabtest::MakeGcabCabinet(
            sources, (prog / "Tn_316_317.cab").string(), {{"Tarvik.exe", "MZ second run"}}, true);
        HeldChild held;
        std::fflush(nullptr);
        const pid_t first = fork();
        if (first == 0) {
            FaultyFileSystem files;
            files.holdAtRename = heldAt;
            files.hold = [&] { held.HoldHere(); };
            _exit(Install(cabinet, files) ? 0 : 1);
        }
        ASSERT_TRUE(held.WaitUntilHeld());
        const auto whileHeld = FolderSnapshot(prog);

        const RecoveryReport report =
            RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
        EXPECT_FALSE(report.movesUndone) << "the live installation is not a crash's leftover";
        EXPECT_EQ(FolderSnapshot(prog), whileHeld) << "recovery at a second start";
        EXPECT_FALSE(Install(other, realFiles)) << "a second installation";
        EXPECT_EQ(FolderSnapshot(prog), whileHeld) << "a second installation";
        EXPECT_ANY_THROW(RestoreLatestBackup(realFiles, prog.string(), [](const std::string&) {}));
        EXPECT_EQ(FolderSnapshot(prog), whileHeld) << "a restore";

        held.LetGo();
        EXPECT_EQ(Wait(first), 0) << "the first run succeeds";
        ExpectUpgradeInstalled();
    }
}

// Names a cabinet may not carry: the tool's own bookkeeping (letter case ignored, 8.3 aliases
// too) and names Windows reads as a device or as another name. The cabinet is refused as one
// with a name that climbs out; nothing of it is written, not even the good file before.
TEST_F(InstallSafetyTest, NamesACabinetMayNotCarryAreRefusedAndNothingIsWritten) {
    for (const char* name :
         {"backup_program", "backup_manifest", "staging_journal", "lock_file", "short_backup",
          "device_con", "device_com_superscript", "device_conin", "trailing_dot",
          "trailing_blank", "less", "greater", "colon", "quote", "bar", "question", "star"}) {
        SCOPED_TRACE(name);
        view.messages.clear();
        const std::string cabinet = PlaceFixture(std::string("name_") + name + ".cab");
        const auto before = FolderSnapshot(prog);
        EXPECT_FALSE(Install(cabinet, realFiles));
        EXPECT_EQ(FolderSnapshot(prog), before);
        EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, kInvalidNameBox}));
    }
}

// "Tarvik.exe" and ".\Tarvik.exe", "a\b" and "a\\b" are one file: it is installed once, the
// later copy wins as unpacking over it would, and the backup keeps the old file.
TEST_F(InstallSafetyTest, OneFileSpeltTwiceIsInstalledOnceAndItsBackupKept) {
    struct Case {
        const char* fixture;
        const char* file;
        const char* old;
    };
    for (const Case& c : {Case{"twice_dot_level.cab", "Tarvik.exe", "MZ old program"},
                          Case{"twice_empty_level.cab", "Izvjestaji/racun.rpt", "old report"}}) {
        SCOPED_TRACE(c.fixture);
        fs::remove_all(prog / "Tarvik_Upg.bak");
        ASSERT_TRUE(Install(PlaceFixture(c.fixture), realFiles)) << ::testing::PrintToString(Boxes());
        EXPECT_EQ(TempFolder::Read(prog / c.file), "copy 1\r\n");
        EXPECT_EQ(TempFolder::Read(prog / "Tarvik_Upg.bak/3.1.5" / c.file), c.old);
    }
}

// A file whose folder cannot be made (here a file of the cabinet stands where the folder
// should be) is not skipped: the installation fails as a whole and the program folder stays as
// it was.
TEST_F(InstallSafetyTest, AFileThatCannotBeUnpackedFailsTheWholeInstallation) {
    const std::string cabinet = PlaceFixture("unpack_file_where_folder.cab");
    const auto before = FolderSnapshot(prog);
    EXPECT_FALSE(Install(cabinet, realFiles));
    EXPECT_EQ(FolderSnapshot(prog), before);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "82/The directory or file cannot be created."}));
}

// Leftovers of a run that lead out of the program folder, damaged, edited by hand or planted:
// the next start removes the staging folder and leaves the folders beside the program's as
// they were, byte for byte.
TEST_F(InstallSafetyTest, RecoveryNeverReachesOutOfTheProgramFolder) {
    const std::string head =
        "velmora-install-journal\t1\nkind\tinstall\nlabel\t3.1.5\nsequence\t1\n";
    struct Case {
        const char* label;
        const char* journal;  // "" when the case is a link
        const char* link;     // below the program folder, to ../Arhiva
    };
    const Case cases[] = {
        {"journal puts ../Podaci", "incoming\t.Tarvik_Upg.stage/files\nbackup\tTarvik_Upg.bak/3.1.5\n"
                                   "put\t../Podaci\nend\n", ""},
        {"journal replaces ../Blagajna.ini", "incoming\t.Tarvik_Upg.stage/files\n"
                                             "backup\tTarvik_Upg.bak/3.1.5\nreplace\t../Blagajna.ini\nend\n", ""},
        {"journal's backup is ../Arhiva", "incoming\t.Tarvik_Upg.stage/files\n"
                                          "backup\tTarvik_Upg.bak/../../Arhiva\nreplace\tTarvik.exe\nend\n", ""},
        {"journal's incoming is ../Podaci", "incoming\t../Podaci\nbackup\tTarvik_Upg.bak/3.1.5\n"
                                            "put\tstanje.dbf\nend\n", ""},
        {"staging folder is a link", "", ".Tarvik_Upg.stage"},
        {"staged files are a link", "", ".Tarvik_Upg.stage/files"},
    };
    temp.Write("Podaci/stanje.dbf", "the store's stock");
    temp.Write("Podaci/Arhiva/2025.dbf", "last year");
    temp.Write("Blagajna.ini", "[Blagajna]\r\nBroj=3\r\n");
    temp.Write("Arhiva/2024.dbf", "the year before");
    temp.Write("Arhiva/Tarvik.exe", "MZ archived");
    const auto outside = SnapshotWithout(temp.path(), "Prog");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(prog / ".Tarvik_Upg.stage");
        if (*c.journal) {
            temp.Write("Prog/.Tarvik_Upg.stage/journal.txt", head + c.journal);
            temp.Write("Prog/.Tarvik_Upg.stage/done.txt", "done 0\ndone 1\n");
        } else {
            fs::create_directories((prog / c.link).parent_path());
            fs::create_directory_symlink(fs::relative(temp.path() / "Arhiva", (prog / c.link).parent_path()),
                                         prog / c.link);
        }
        RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
        EXPECT_EQ(SnapshotWithout(temp.path(), "Prog"), outside);
        EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ old program");
        EXPECT_FALSE(fs::exists(fs::symlink_status(prog / ".Tarvik_Upg.stage")));
    }
}

// A manifest planted beside the backups (by a cabinet of old, or by hand) that names a folder
// outside: neither the prune of later installations nor a restore acts on it.
TEST_F(InstallSafetyTest, PlantedManifestIsNeitherPrunedNorRestored) {
    temp.Write("Podaci/stanje.dbf", "the store's stock");
    temp.Write("Prog/Tarvik_Upg.bak/0.lst",
               "velmora-install-journal\t1\nkind\tinstall\nlabel\t0\nsequence\t0\n"
               "incoming\t.Tarvik_Upg.stage/files\nbackup\tTarvik_Upg.bak/../../Podaci\n"
               "replace\tstanje.dbf\nend\n");
    const auto outside = SnapshotWithout(temp.path(), "Prog");
    for (const char* version : {"3.1.1", "3.1.2", "3.1.3", "3.1.4"}) {
        const std::string cabinet = cabtest::MakeGcabCabinet(
            sources, (prog / "u.cab").string(), {{"Tarvik.exe", std::string("MZ after ") + version}}, true);
        ASSERT_TRUE(Install(cabinet, realFiles, version));
    }
    EXPECT_EQ(SnapshotWithout(temp.path(), "Prog"), outside) << "after the prunes";
    for (int restore = 0; restore < 4; ++restore) {
        try {
            RestoreLatestBackup(realFiles, prog.string(), [](const std::string&) {});
        } catch (const AppError&) {
            // Nothing left to restore.
        }
    }
    EXPECT_EQ(SnapshotWithout(temp.path(), "Prog"), outside) << "after the restores";
    EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ after 3.1.1") << "three backups back";
}

// What a restore sets aside is the store's: a settings file the cabinet added and the store
// edited since is kept, and the run log says it changed.
TEST_F(InstallSafetyTest, RestoreKeepsTheStoresChangesAndNamesThem) {
    const std::string cabinet = cabtest::MakeGcabCabinet(
        sources, (prog / "Tn_315_316.cab").string(),
        {{"Tarvik.exe", "MZ new program"}, {"Postavke.ini", "[Kasa]\r\nBroj=1\r\n"}}, true);
    ASSERT_TRUE(Install(cabinet, realFiles));
    temp.Write("Prog/Postavke.ini", "[Kasa]\r\nBroj=7\r\nPisac=EPSON\r\n");
    notes.clear();
    RestoreLatestBackup(realFiles, prog.string(), [this](const std::string& l) { notes.push_back(l); });

    EXPECT_EQ(TempFolder::Read(prog / "Tarvik.exe"), "MZ old program");
    EXPECT_FALSE(fs::exists(prog / "Postavke.ini"));
    const fs::path kept = prog / "Tarvik_Upg.bak/3.1.5.before-restore";
    EXPECT_EQ(TempFolder::Read(kept / "Postavke.ini"), "[Kasa]\r\nBroj=7\r\nPisac=EPSON\r\n");
    EXPECT_EQ(TempFolder::Read(kept / "Tarvik.exe"), "MZ new program");
    EXPECT_TRUE(Noted("changed since the installation: Postavke.ini"));
    EXPECT_TRUE(Noted("kept in Tarvik_Upg.bak/3.1.5.before-restore: Postavke.ini"));
}

// A restore that ends at any step of its work (a crash, a power cut) leaves, once the next
// start has looked at it, either the state before it or the state after it; and the next
// restore then goes on from there.
TEST_F(InstallSafetyTest, RestoreCutShortAtAnyStepLeavesAStateTheNextRestoreWorksFrom) {
    const std::string first = MakeUpgradeCabinet();
    const auto original = FolderSnapshot(prog);
    ASSERT_TRUE(Install(first, realFiles, "3.1.5"));
    const auto afterFirst = FolderSnapshot(prog);
    const std::string second = cabtest::MakeGcabCabinet(
        sources, (prog / "Tn_316_317.cab").string(), {{"Tarvik.exe", "MZ newest"}}, true);
    ASSERT_TRUE(Install(second, realFiles, "3.1.6"));
    fs::remove(prog / "Tn_316_317.cab");
    const auto afterSecond = FolderSnapshot(prog);
    const fs::path pristine = temp.path() / "pristine";
    fs::copy(prog, pristine, fs::copy_options::recursive);

    int step = 1;
    for (;; ++step) {
        SCOPED_TRACE("restore ended at step " + std::to_string(step));
        fs::remove_all(prog);
        fs::copy(pristine, prog, fs::copy_options::recursive);
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            FaultyFileSystem files;
            files.crashAtStep = step;
            try {
                RestoreLatestBackup(files, prog.string(), [](const std::string&) {});
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        const int status = Wait(child);
        if (status == 0) break;  // the restore went through before this step: every step tried
        ASSERT_EQ(status, 9);

        RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
        const auto state = WithoutSetAside(FolderSnapshot(prog));
        const bool undone = state == afterSecond;
        ASSERT_TRUE(undone || state == afterFirst) << "neither the old nor the new state";
        std::string restored;
        ASSERT_NO_THROW(restored = RestoreLatestBackup(realFiles, prog.string(), [](const std::string&) {}));
        EXPECT_EQ(restored, undone ? "Tarvik_Upg.bak/3.1.6" : "Tarvik_Upg.bak/3.1.5");
        EXPECT_EQ(WithoutSetAside(FolderSnapshot(prog)), undone ? afterFirst : original);
    }
    EXPECT_GT(step, 5) << "the restore has steps to end at";
}

// The start that undoes a crashed installation can itself be cut short, at any change it
// makes or in any line it writes: the start after it still puts every file back.
TEST_F(InstallSafetyTest, RecoveryCutShortIsFinishedByTheNextStart) {
    const std::string cabinet = MakeUpgradeCabinet();
    const auto before = FolderSnapshot(prog);
    std::fflush(nullptr);
    const pid_t install = fork();
    if (install == 0) {
        FaultyFileSystem files;
        files.crashAtRename = 5;  // four moves done and recorded
        Install(cabinet, files);
        _exit(0);
    }
    ASSERT_EQ(Wait(install), 9);
    const fs::path crashed = temp.path() / "crashed";
    fs::copy(prog, crashed, fs::copy_options::recursive);

    for (const bool inAWrite : {false, true}) {
        int at = 1;
        for (;; ++at) {
            SCOPED_TRACE(std::string(inAWrite ? "write " : "step ") + std::to_string(at));
            fs::remove_all(prog);
            fs::copy(crashed, prog, fs::copy_options::recursive);
            std::fflush(nullptr);
            const pid_t recovery = fork();
            if (recovery == 0) {
                FaultyFileSystem files;
                (inAWrite ? files.crashAtWrite : files.crashAtStep) = at;
                RecoverInterruptedInstall(files, prog.string(), [](const std::string&) {});
                _exit(0);
            }
            const int status = Wait(recovery);
            RecoverInterruptedInstall(realFiles, prog.string(), [](const std::string&) {});
            EXPECT_EQ(FolderSnapshot(prog), before);
            if (status == 0) break;
            ASSERT_EQ(status, 9);
        }
        EXPECT_GT(at, 2) << "the recovery has steps to end at";
    }
}

// A cabinet without files is a damaged cabinet; an installation that replaced nothing keeps
// no backup. Neither takes the place of a real backup.
TEST_F(InstallSafetyTest, EmptyCabinetIsDamagedAndNoRealBackupIsPruned) {
    for (const char* version : {"3.1.1", "3.1.2", "3.1.3"}) {
        const std::string cabinet = cabtest::MakeGcabCabinet(
            sources, (prog / "u.cab").string(), {{"Tarvik.exe", std::string("MZ after ") + version}}, true);
        ASSERT_TRUE(Install(cabinet, realFiles, version));
    }
    fs::remove(prog / "u.cab");
    const auto backups = FolderSnapshot(prog / "Tarvik_Upg.bak");

    const auto before = FolderSnapshot(prog);
    EXPECT_FALSE(Install(PlaceFixture("empty_no_files.cab"), realFiles, "3.1.4"));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "13/Invalid data."}));
    fs::remove(prog / "Tn_315_316.cab");
    EXPECT_EQ(FolderSnapshot(prog), before);

    const std::string adding = cabtest::MakeGcabCabinet(
        sources, (prog / "Tn_dodatak.cab").string(), {{"Dodatak/upute.txt", "read me"}}, true);
    ASSERT_TRUE(Install(adding, realFiles, "3.1.4"));
    EXPECT_EQ(TempFolder::Read(prog / "Dodatak/upute.txt"), "read me");
    EXPECT_EQ(FolderSnapshot(prog / "Tarvik_Upg.bak"), backups) << "no backup taken, none pruned";
}

// Tarvik.exe open in another process (the program at the till): nothing moves, and the box
// names it; once it is closed the installation goes through.
TEST_F(InstallSafetyTest, TarvikExeHeldOpenByAnotherProcessIsNotReplaced) {
    const std::string cabinet = MakeUpgradeCabinet();
    const auto before = FolderSnapshot(prog);
    HeldChild held;
    std::fflush(nullptr);
    const pid_t till = fork();
    if (till == 0) {
        const int fd = ::open((prog / "Tarvik.exe").c_str(), O_RDONLY);
        if (fd < 0) _exit(2);
        held.HoldHere();
        _exit(0);
    }
    ASSERT_TRUE(held.WaitUntilHeld());
    EXPECT_FALSE(Install(cabinet, realFiles));
    EXPECT_EQ(FolderSnapshot(prog), before);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u) << ::testing::PrintToString(boxes);
    EXPECT_EQ(boxes[1], "32/The process cannot access the file because it is being used by another process.");
    EXPECT_NE(boxes[2].find("Datoteku Tarvik.exe koristi drugi program"), std::string::npos) << boxes[2];
    EXPECT_TRUE(Noted("Tarvik.exe is held open by a running program"));
    held.LetGo();
    EXPECT_EQ(Wait(till), 0);

    EXPECT_TRUE(Install(cabinet, realFiles));
    ExpectUpgradeInstalled();
}

}  // namespace
