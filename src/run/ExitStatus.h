#pragma once

// The statuses the upgrade programs end with, for the scripts and support staff that run them.
namespace exit_status {
inline constexpr int kSuccess = 0;
inline constexpr int kError = 1;
// The online phase failed, found nothing, or was declined or cancelled: the program folder is
// as it was before the run.
inline constexpr int kNothingInstalled = 2;
inline constexpr int kUsage = 64;
}  // namespace exit_status
