#include "cabinet/StagedInstall.h"

#include <algorithm>
#include <chrono>

#include "cabinet/BackupStore.h"
#include "cabinet/CabErrors.h"
#include "cabinet/FolderTree.h"
#include "cabinet/InstallLayout.h"
#include "cabinet/NameCompare.h"
#include "common/Paths.h"
#include "common/Strings.h"

namespace il = install_layout;

namespace {

constexpr std::int32_t kInvalidName = 123;
constexpr std::int32_t kInvalidData = 13;
constexpr std::int32_t kNameTooLong = 111;
// Windows paths, without long-path support, hold 259 UTF-16 units and the NUL.
constexpr std::size_t kWindowsPathUnits = 259;

// The journal must be whole on disk before the first file moves: it is all a later run has
// to undo a move cut short.
void WriteText(IFileSystem& files, const std::string& path, const std::string& text) {
    auto writer = files.OpenForWrite(path);
    writer->Write(text.data(), text.size());
    writer->Close();
}

}  // namespace

void RemoveBackup(IFileSystem& files, const std::string& root, const std::string& backup) {
    folder_tree::Remove(files, JoinPath(root, backup));
    const std::string backups = JoinPath(root, il::kBackups);
    // The first installation made the folder of all backups: it goes too when empty.
    if (files.FolderExists(backups) && folder_tree::IsEmpty(files, backups))
        files.RemoveFolder(backups);
}

StagedInstall::StagedInstall(IFileSystem& files, std::string programFolder, std::string label,
                             InstallNote note)
    : files_(files),
      root_(std::move(programFolder)),
      label_(std::move(label)),
      note_(std::move(note)),
      staging_(JoinPath(root_, il::kStaging)) {}

void StagedInstall::Begin() {
    hold_ = RunLock::Hold(files_, root_, "CabFile.Install", note_);
    const RecoveryReport leftover = RecoverInterruptedInstall(files_, root_, note_);
    if (!leftover.notPutBack.empty()) {
        throw InstallFailure(AppError(FileError::kPathFileAccess, "CabFile.Install",
                                      FileError::kPathFileAccessText),
                             leftover.notPutBack.front(), leftover.notPutBack);
    }
    try {
        files_.CreateFolder(staging_);
        files_.SetHidden(staging_);
        files_.CreateFolder(JoinPath(staging_, il::kStagedFiles));
    } catch (const AppError& error) {
        Abandon();
        throw InstallFailure(error, il::kStaging, {});
    }
    note_("unpacking into the staging folder " + std::string(il::kStaging));
}

std::string StagedInstall::StagingPathFor(const std::string& relative) const {
    return JoinPath(JoinPath(staging_, il::kStagedFiles), relative);
}

std::string StagedInstall::Expect(const std::string& relative) {
    // The journal keeps one name per line with a TAB before it: a name with a control
    // character could forge a line. The cabinet object refuses such names before they get
    // here; the journal does not rely on that.
    if (HasControlCharacters(relative))
        throw AppError(kInvalidName, "StagedInstall", WinErrorText(kInvalidName));
    // A name stored twice is unpacked twice to the same place: it moves once. Letter case
    // does not make another file where the cabinets are meant to go.
    for (const std::string& known : expected_)
        if (EqualsIgnoreCase(known, relative)) return known;
    expected_.push_back(relative);
    return relative;
}

std::string StagedInstall::FinalPathFor(const std::string& stagingPath) const {
    const std::string prefix = JoinPath(JoinPath(staging_, il::kStagedFiles), "");
    if (stagingPath.compare(0, prefix.size(), prefix) != 0) return stagingPath;
    return JoinPath(root_, stagingPath.substr(prefix.size()));
}

InstallJournal StagedInstall::Plan() {
    InstallJournal journal;
    journal.kind = InstallJournal::Kind::Install;
    journal.label = backup_store::FreeLabel(files_, root_, label_);
    journal.sequence = backup_store::NextSequence(files_, root_);
    journal.incoming = JoinPath(il::kStaging, il::kStagedFiles);
    journal.backup = JoinPath(il::kBackups, journal.label);
    for (const std::string& file : expected_) {
        // Folders the cabinet brings that the program folder lacks, parents first.
        std::string::size_type pos = 0;
        while ((pos = file.find(kPathSeparator, pos)) != std::string::npos) {
            const std::string folder = file.substr(0, pos++);
            if (!files_.FolderExists(JoinPath(root_, folder)) &&
                std::find(journal.newFolders.begin(), journal.newFolders.end(), folder) ==
                    journal.newFolders.end())
                journal.newFolders.push_back(folder);
        }
        const std::string target = JoinPath(root_, file);
        const bool replaces = files_.Exists(target) || files_.IsLink(target);
        journal.moves.push_back(
            {replaces ? InstallJournal::Step::Replace : InstallJournal::Step::Put, file,
             files_.Stamp(StagingPathFor(file))});
    }
    return journal;
}

void StagedInstall::CheckPathLengths(const InstallJournal& journal) const {
    if (kPathSeparator != '\\') return;  // the limit is Windows'
    // Only the paths the program and the till open: the staging folder and the backups, which
    // only this tool opens, lengthen a path past the limit and go in the system's long form.
    for (const InstallJournal::Move& move : journal.moves) {
        const std::string path = JoinPath(root_, move.file);
        if (Utf16Units(path) > kWindowsPathUnits) {
            note_("path too long for Windows (" + std::to_string(Utf16Units(path)) +
                  " characters): " + path + "; nothing moved");
            throw InstallFailure(AppError(kNameTooLong, "StagedInstall",
                                          WinErrorText(kNameTooLong)),
                                 move.file, {});
        }
    }
}

void StagedInstall::WriteJournal(const InstallJournal& journal) {
    WriteText(files_, JoinPath(staging_, il::kJournal), journal.ToText());
}

void StagedInstall::Commit() {
    if (expected_.empty()) {
        Abandon();
        throw AppError(kInvalidData, "CabFile.Install", WinErrorText(kInvalidData));
    }
    InstallJournal journal;
    try {
        journal = Plan();
        WriteJournal(journal);
    } catch (const AppError& error) {
        Abandon();
        throw InstallFailure(error, il::kJournal, {});
    }
    const bool replacesAny =
        std::any_of(journal.moves.begin(), journal.moves.end(), [](const InstallJournal::Move& m) {
            return m.step != InstallJournal::Step::Put;
        });
    note_("all " + std::to_string(journal.moves.size()) +
          " files unpacked; moving them into place" +
          (replacesAny ? ", replaced files into " + journal.backup : ""));

    InstallMoves moves(files_, root_, note_);
    const auto moveStart = std::chrono::steady_clock::now();
    try {
        try {
            CheckPathLengths(journal);
            moves.CheckNotRunning(journal);
        } catch (const InstallFailure&) {
            moves.CloseRecord();
            Abandon();
            throw;
        }
        moves.Apply(journal);
        // The commit point: once the journal is the backup's manifest (or, when nothing was
        // replaced and there is nothing to keep, once it is gone), the installation stands.
        if (replacesAny)
            files_.Rename(JoinPath(staging_, il::kJournal),
                          JoinPath(root_, journal.backup + il::kManifestSuffix));
        else
            files_.Delete(JoinPath(staging_, il::kJournal));
    } catch (const InstallFailure& failure) {
        moves.CloseRecord();
        if (failure.notPutBack().empty()) {
            DropBackup(journal);
            Abandon();
        } else {
            note_("staging folder and journal kept: the next run puts back the rest");
        }
        throw;
    } catch (const AppError& error) {
        // Every file is in place, only the journal could not become the manifest: undone too,
        // since a backup without its manifest could not be restored.
        std::vector<std::string> left = moves.Undo(journal);
        moves.CloseRecord();
        if (left.empty()) {
            DropBackup(journal);
            Abandon();
        }
        throw InstallFailure(error, il::kJournal, std::move(left));
    }
    const auto moveMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - moveStart)
                            .count();
    backupFolder_ = replacesAny ? journal.backup : std::string();
    moves.CloseRecord();
    Tidy("staging folder", staging_);
    if (!replacesAny) {
        note_("installed; no file was replaced, so there is no backup to keep (moves took " +
              std::to_string(moveMs) + " ms)");
        return;
    }
    note_("installed; the replaced files are kept in " + journal.backup + " (moves took " +
          std::to_string(moveMs) + " ms)");
    backup_store::Prune(files_, root_, il::kKeptBackups, note_);
}

void StagedInstall::DropBackup(const InstallJournal& journal) noexcept {
    try {
        RemoveBackup(files_, root_, journal.backup);
    } catch (const std::exception& error) {
        try {
            note_(std::string("backup folder not removed: ") + error.what());
        } catch (...) {
            // A note that fails has nowhere else to go.
        }
    }
}

void StagedInstall::Abandon() noexcept {
    Tidy("staging folder", staging_);
}

void StagedInstall::Tidy(const std::string& what, const std::string& folder) noexcept {
    try {
        folder_tree::Remove(files_, folder);
    } catch (const std::exception& error) {
        // Left over, it changes no program file; the next run's start removes a staging folder.
        try {
            note_(what + " not removed: " + error.what());
        } catch (...) {
            // A note that fails has nowhere else to go.
        }
    }
}

namespace {

bool ManifestExists(IFileSystem& files, const std::string& root, const std::string& backup) {
    return files.Exists(JoinPath(root, backup + il::kManifestSuffix));
}

// A restore whose commit point was passed (its backup's manifest is gone): the files of the
// backup are in place, and what the restore set aside is kept; only its own leftovers go.
void FinishRestore(IFileSystem& files, const std::string& root, const InstallJournal& journal,
                   const InstallNote& note) {
    note("an earlier restore was cut short after it had put the files back; finishing it");
    try {
        RemoveBackup(files, root, journal.incoming);
    } catch (const AppError& error) {
        note(journal.incoming + " not removed: " + error.description());
    }
}

// Puts back what the journal's moves did. True when everything is back.
bool UndoJournal(IFileSystem& files, const std::string& root, const InstallJournal& journal,
                 const InstallNote& note, RecoveryReport& report) {
    note("an earlier " +
         std::string(journal.kind == InstallJournal::Kind::Install ? "installation" : "restore") +
         " was cut short while its files moved; putting them back");
    InstallMoves moves(files, root, note);
    report.notPutBack = moves.Undo(journal);
    report.movesUndone = true;
    if (!report.notPutBack.empty()) return false;  // the journal stays for next time
    // The folder that received the files moved out of place was made by that run; one with a
    // manifest of its own is a backup that stands, and stays.
    if (!ManifestExists(files, root, journal.backup) &&
        journal.backup.rfind(il::kBackups, 0) == 0) {
        try {
            RemoveBackup(files, root, journal.backup);
        } catch (const AppError& error) {
            note("backup folder " + journal.backup + " not removed: " + error.description());
        }
    }
    return true;
}

}  // namespace

RecoveryReport RecoverInterruptedInstall(IFileSystem& files, const std::string& programFolder,
                                         const InstallNote& note) {
    RecoveryReport report;
    const std::shared_ptr<RunLock> hold = RunLock::Take(files, programFolder);
    if (!hold) {
        report.busy = true;
        return report;
    }
    const std::string staging = JoinPath(programFolder, il::kStaging);
    if (files.IsLink(staging)) {
        // Not one this tool makes: whatever it leads to is left alone, only the link goes.
        report.found = true;
        note("the staging folder is a link; removing the link only");
        try {
            files.Delete(staging);
        } catch (const AppError& error) {
            note("link not removed: " + error.description());
        }
        return report;
    }
    if (!files.FolderExists(staging)) return report;
    report.found = true;
    const std::string journalPath = JoinPath(staging, il::kJournal);
    if (files.Exists(journalPath)) {
        InstallJournal journal;
        bool readable = true;
        try {
            journal = InstallJournal::FromText(files.ReadAll(journalPath));
        } catch (const AppError&) {
            // Cut short while it was written (no file had begun to move), or a journal that
            // is not one this tool wrote: nothing it says is acted on.
            readable = false;
            note("the journal of an earlier run is incomplete or damaged; not acted on");
        }
        if (readable) {
            const bool restoreCommitted = journal.kind == InstallJournal::Kind::Restore &&
                                          !ManifestExists(files, programFolder, journal.incoming);
            if (restoreCommitted)
                FinishRestore(files, programFolder, journal, note);
            else if (!UndoJournal(files, programFolder, journal, note, report))
                return report;
        }
    }
    note("removing the staging folder of an earlier run");
    try {
        folder_tree::Remove(files, staging);
    } catch (const AppError& error) {
        note("staging folder not removed: " + error.description());
    }
    return report;
}
