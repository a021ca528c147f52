#pragma once

// The statuses the upgrade programs end with, for the scripts and support staff that run them.
namespace exit_status {
inline constexpr int kSuccess = 0;
inline constexpr int kError = 1;
// The online phase failed, found nothing, or was declined or cancelled: the program folder is
// as it was before the run.
inline constexpr int kNothingInstalled = 2;
// The database phase went through every database, but some batches failed or some databases
// were skipped: a script can tell a run to look at from one that stopped.
inline constexpr int kDatabaseIncomplete = 3;
inline constexpr int kUsage = 64;
}  // namespace exit_status
