#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cabinet/InstallMoves.h"
#include "cabinet/RunLock.h"
#include "platform/IFileSystem.h"

// The installation of a cabinet into the program folder as one unit: every file is unpacked
// into the staging folder first; only when all of them are there and closed do they move into
// place, each replaced file into the installation's backup folder. A failed move puts every
// file back, so the program folder is either wholly old or wholly new.
class StagedInstall {
public:
    // `label` names the backup: the installed version the installation replaces.
    StagedInstall(IFileSystem& files, std::string programFolder, std::string label,
                  InstallNote note);

    // Takes the program folder's lock (or joins this process's hold), undoes an installation
    // a crash cut short, then makes an empty staging folder. Raises AppError when another run
    // holds the folder (32) or the staging folder cannot be made, and InstallFailure when a
    // cut-short installation cannot be undone.
    void Begin();

    // Adds the file of this normalised relative (native) path to the installation and returns
    // the spelling it goes under: a name met before in another letter case is the same file
    // on Windows, and is unpacked over it. Raises AppError (123) for a name with a control
    // character.
    std::string Expect(const std::string& relative);
    // Where the file of this relative (native) path, as Expect spelt it, is unpacked to.
    std::string StagingPathFor(const std::string& relative) const;
    // The place in the program folder of a file unpacked to `stagingPath`.
    std::string FinalPathFor(const std::string& stagingPath) const;

    // Moves the unpacked files into place, keeps the backup, removes the staging folder and
    // prunes old backups; an installation that replaced nothing keeps no backup and prunes
    // none. Raises AppError (13) when nothing was unpacked: a cabinet without files is a
    // damaged one. Raises InstallFailure when a program to be replaced is running, when a
    // path would be too long for the platform, or when a move fails (after putting back).
    void Commit();

    // The unpacking failed: the staging folder goes, the program folder was never touched.
    void Abandon() noexcept;

    // The backup folder of this installation, relative to the program folder (after Commit).
    const std::string& BackupFolder() const { return backupFolder_; }

private:
    InstallJournal Plan();
    void WriteJournal(const InstallJournal& journal);
    void Tidy(const std::string& what, const std::string& folder) noexcept;
    void DropBackup(const InstallJournal& journal) noexcept;

    void CheckPathLengths(const InstallJournal& journal) const;

    IFileSystem& files_;
    std::shared_ptr<RunLock> hold_;
    std::string root_;
    std::string label_;
    InstallNote note_;
    std::string staging_;  // absolute
    std::vector<std::string> expected_;
    std::string backupFolder_;
};

// Removes a backup folder (relative to the program folder), and the folder of all backups
// when that leaves it empty.
void RemoveBackup(IFileSystem& files, const std::string& programFolder, const std::string& backup);

// What the start of a run found of an installation or restore that a crash cut short.
struct RecoveryReport {
    bool busy = false;            // another run holds the folder: nothing was looked at
    bool found = false;           // a staging folder was there
    bool movesUndone = false;     // files had begun to move and were put back
    std::vector<std::string> notPutBack;
};

// Looks for a staging folder left in the program folder and undoes what it finds: a journal
// says files began to move, and the moves it records as done are put back; without one only
// the staging folder goes. A restore cut short after its commit point is finished instead.
// Only under the program folder's lock (taken or joined here): while another run holds it,
// nothing is touched and the report says busy. Never raises for a file that cannot be put
// back: it is listed, and the journal stays for the next run.
RecoveryReport RecoverInterruptedInstall(IFileSystem& files, const std::string& programFolder,
                                         const InstallNote& note);
