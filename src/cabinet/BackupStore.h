#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cabinet/InstallMoves.h"
#include "platform/IFileSystem.h"

// The backups that installations leave in the program folder's backup folder: one folder per
// installation with the files it replaced, and beside it the installation's journal (its
// manifest), which also says which files the installation added.
namespace backup_store {

struct Backup {
    std::string label;       // the folder's name
    std::int64_t sequence = 0;
    InstallJournal manifest;
};

// Every readable backup, oldest first. A manifest that cannot be read, or whose file name is
// not the one plain level of the folder it describes, is skipped.
std::vector<Backup> List(IFileSystem& files, const std::string& programFolder);

// The sequence number for the next installation.
std::int64_t NextSequence(IFileSystem& files, const std::string& programFolder);

// A free folder name for a backup of `label` (the label with "_2", "_3"... when taken), with
// characters that cannot stand in a folder name replaced.
std::string FreeLabel(IFileSystem& files, const std::string& programFolder, std::string label);

// Removes the oldest backups so that at most `keep` stay. Failures are noted, not raised: the
// installation they follow is complete.
void Prune(IFileSystem& files, const std::string& programFolder, std::size_t keep,
           const InstallNote& note);

// A restore of the latest backup: its moves, and the files in place that changed since the
// installation put them there (size or time differ from its manifest).
struct RestorePlan {
    InstallJournal journal;
    std::vector<std::string> changedSince;
};

// The moves that put back the files of the latest backup: the files its installation replaced
// come back, and the files in place (the ones the installation brought, with whatever the
// store changed in them since) are set aside into a backup folder of their own,
// "<label>.before-restore", which no restore and no prune ever removes. Raises AppError when
// there is no backup or a file of it is missing.
RestorePlan PlanRestoreOfLatest(IFileSystem& files, const std::string& programFolder);

}  // namespace backup_store
