#include "cabinet/RestoreBackup.h"

#include "cabinet/BackupStore.h"
#include "cabinet/CabErrors.h"
#include "cabinet/FolderTree.h"
#include "cabinet/InstallLayout.h"
#include "cabinet/RunLock.h"
#include "cabinet/StagedInstall.h"
#include "common/Paths.h"

namespace il = install_layout;

namespace {


void RemoveNoting(IFileSystem& files, const std::string& folder, const InstallNote& note) {
    try {
        folder_tree::Remove(files, folder);
    } catch (const AppError& error) {
        // Leftovers change no program file: a staging folder goes at the next start, a used
        // backup folder without its manifest is never restored again.
        note(folder + " not removed: " + error.description());
    }
}

void DropNoting(IFileSystem& files, const std::string& root, const std::string& backup,
                const InstallNote& note) {
    try {
        RemoveBackup(files, root, backup);
    } catch (const AppError& error) {
        // An empty set-aside folder changes no program file.
        note(backup + " not removed: " + error.description());
    }
}

void WriteJournal(IFileSystem& files, const std::string& staging, const InstallJournal& journal) {
    files.CreateFolder(staging);
    files.SetHidden(staging);
    auto writer = files.OpenForWrite(JoinPath(staging, il::kJournal));
    const std::string text = journal.ToText();
    writer->Write(text.data(), text.size());
    writer->Close();
}

// Tells the log what the restore keeps, and drops the set-aside folder when nothing was set
// aside.
void ReportSetAside(IFileSystem& files, const std::string& root, const InstallJournal& journal,
                    const InstallNote& note) {
    std::size_t kept = 0;
    for (const InstallJournal::Move& move : journal.moves) {
        if (move.step == InstallJournal::Step::Put) continue;
        note("kept in " + journal.backup + ": " + move.file);
        ++kept;
    }
    if (kept == 0) DropNoting(files, root, journal.backup, note);
}

}  // namespace

std::string RestoreLatestBackup(IFileSystem& files, const std::string& root,
                                const InstallNote& note) {
    const std::shared_ptr<RunLock> hold = RunLock::Hold(files, root, "Restore", note);
    const RecoveryReport leftover = RecoverInterruptedInstall(files, root, note);
    if (!leftover.notPutBack.empty())
        throw InstallFailure(AppError(FileError::kPathFileAccess, "Restore",
                                      FileError::kPathFileAccessText),
                             leftover.notPutBack.front(), leftover.notPutBack);
    const backup_store::RestorePlan plan = backup_store::PlanRestoreOfLatest(files, root);
    const InstallJournal& journal = plan.journal;
    const std::string backupFolder = journal.incoming;
    const std::string staging = JoinPath(root, il::kStaging);
    note("restoring " + std::to_string(journal.moves.size()) + " files from " + backupFolder +
         "; the files in place are kept in " + journal.backup);
    for (const std::string& file : plan.changedSince)
        note("changed since the installation: " + file + " (kept in " + journal.backup + ")");
    try {
        WriteJournal(files, staging, journal);
    } catch (const AppError& error) {
        RemoveNoting(files, staging, note);
        throw InstallFailure(error, il::kJournal, {});
    }

    InstallMoves moves(files, root, note);
    try {
        moves.Apply(journal);
    } catch (const InstallFailure& failure) {
        moves.CloseRecord();
        if (failure.notPutBack().empty()) {
            DropNoting(files, root, journal.backup, note);
            RemoveNoting(files, staging, note);
        }
        throw;
    }
    // The commit point: once the backup's manifest is gone, the restore stands. A run cut
    // short before it is undone by the next start; after it, the next start finishes it.
    try {
        files.Delete(JoinPath(root, backupFolder + il::kManifestSuffix));
    } catch (const AppError& error) {
        std::vector<std::string> left = moves.Undo(journal);
        moves.CloseRecord();
        if (left.empty()) {
            DropNoting(files, root, journal.backup, note);
            RemoveNoting(files, staging, note);
        }
        throw InstallFailure(error, il::kJournal, std::move(left));
    }
    try {
        RemoveBackup(files, root, backupFolder);
    } catch (const AppError& error) {
        note(backupFolder + " not removed: " + error.description());
    }
    moves.CloseRecord();
    RemoveNoting(files, staging, note);
    ReportSetAside(files, root, journal, note);
    note("restored the files of " + backupFolder);
    return backupFolder;
}
