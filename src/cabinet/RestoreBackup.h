#pragma once

#include <string>

#include "cabinet/InstallMoves.h"
#include "platform/IFileSystem.h"

// For support staff: puts back the program files of the latest backup as one unit, undoing the
// latest installation, under the program folder's lock (AppError 32 while another run holds
// it). The files in place (those the installation brought, with the store's changes since)
// are kept in a backup folder of their own, "<label>.before-restore"; the backup is used up,
// so a second restore goes one installation further back. Returns the backup's folder, relative
// to the program folder. Raises AppError when there is nothing to restore, InstallFailure when
// a move fails (every file then put back as it was).
std::string RestoreLatestBackup(IFileSystem& files, const std::string& programFolder,
                                const InstallNote& note);
