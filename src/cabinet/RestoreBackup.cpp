#include "cabinet/RestoreBackup.h"

#include "cabinet/BackupStore.h"
#include "cabinet/FolderTree.h"
#include "cabinet/InstallLayout.h"
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

}  // namespace

std::string RestoreLatestBackup(IFileSystem& files, const std::string& root,
                                const InstallNote& note) {
    const RecoveryReport leftover = RecoverInterruptedInstall(files, root, note);
    if (!leftover.notPutBack.empty())
        throw InstallFailure(AppError(FileError::kPathFileAccess, "Restore",
                                      FileError::kPathFileAccessText),
                             leftover.notPutBack.front(), leftover.notPutBack);
    const InstallJournal journal = backup_store::PlanRestoreOfLatest(files, root);
    const std::string backupFolder = journal.incoming;
    const std::string staging = JoinPath(root, il::kStaging);
    note("restoring " + std::to_string(journal.moves.size()) + " files from " + backupFolder);
    try {
        files.CreateFolder(staging);
        files.SetHidden(staging);
        auto writer = files.OpenForWrite(JoinPath(staging, il::kJournal));
        const std::string text = journal.ToText();
        writer->Write(text.data(), text.size());
        writer->Close();
    } catch (const AppError& error) {
        RemoveNoting(files, staging, note);
        throw InstallFailure(error, il::kJournal, {});
    }

    InstallMoves moves(files, root, note);
    try {
        moves.Apply(journal);
    } catch (const InstallFailure& failure) {
        if (failure.notPutBack().empty()) RemoveNoting(files, staging, note);
        throw;
    }
    // The commit point: without the journal nothing is put back any more.
    try {
        files.Delete(JoinPath(staging, il::kJournal));
    } catch (const AppError& error) {
        std::vector<std::string> left = moves.Undo(journal);
        if (left.empty()) RemoveNoting(files, staging, note);
        throw InstallFailure(error, il::kJournal, std::move(left));
    }
    try {
        files.Delete(JoinPath(JoinPath(root, il::kBackups), journal.label + il::kManifestSuffix));
    } catch (const AppError& error) {
        // The files are back; a manifest left over would offer the used backup once more,
        // and that restore stops at its first missing file without changing anything.
        note("manifest of " + backupFolder + " not removed: " + error.description());
    }
    try {
        RemoveBackup(files, root, backupFolder);
    } catch (const AppError& error) {
        note(backupFolder + " not removed: " + error.description());
    }
    RemoveNoting(files, staging, note);  // with it the files the installation had brought
    note("restored the files of " + backupFolder);
    return backupFolder;
}
