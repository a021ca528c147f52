#include "app/RunLogPlace.h"

#include "common/Paths.h"
#include "platform/ProgramFolder.h"
#include "app/Wiring.h"
#include "run/RunTexts.h"

std::string RunLogPlace(const std::string& programFolder) {
    const std::string inFolder = JoinPath(programFolder, run_text::kRunLogFileName);
    if (MakeFileSystem()->FolderWritable(programFolder)) return inFolder;
    const std::string own = UserDataFolder();
    // Without such a folder the log goes where it always went, and is lost as before.
    return own.empty() ? inFolder : JoinPath(own, run_text::kRunLogFileName);
}
