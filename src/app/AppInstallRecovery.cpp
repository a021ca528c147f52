#include "app/AppPhases.h"
#include "app/AppTexts.h"
#include "app/Wiring.h"
#include "cabinet/RestoreBackup.h"
#include "cabinet/RunLock.h"
#include "cabinet/StagedInstall.h"
#include "common/AppError.h"
#include "run/ExitStatus.h"
#include "run/RunTexts.h"

namespace {

InstallNote LogNote(UpgradeContext& context) {
    return [&context](const std::string& line) {
        context.log.Write("install", RunLog::Escape(line));
    };
}

// The folder's lock for the whole run, or the end of the program: a box saying why, and
// status 1, with nothing changed.
std::shared_ptr<RunLock> HoldFolder(UpgradeContext& context, IFileSystem& files) {
    std::shared_ptr<RunLock> hold;
    try {
        if (files.FolderWritable(context.programFolder))
            hold = RunLock::Take(files, context.programFolder);
        else
            throw AppError(FileError::kPermissionDenied, "Start", FileError::kPermissionDeniedText);
    } catch (const AppError& error) {
        context.log.Write("start", RunLog::Escape("program folder not writable (" +
                                                  std::to_string(error.number()) + "/" +
                                                  error.description() + "); nothing changed"));
        context.view.ShowMessage(
            app_text::kNotWritable + context.programFolder + app_text::kNotWritableAdvice,
            MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
    }
    if (!hold) {
        context.log.Write("start", RunLog::Escape("another run of the upgrade holds " +
                                                  RunLock::PathIn(context.programFolder) +
                                                  "; nothing changed"));
        context.view.ShowMessage(
            app_text::kAlreadyRunning + context.programFolder + app_text::kAlreadyRunningAdvice,
            MsgIcon::Warning, MsgButtons::Ok, run_text::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
    }
    return hold;
}

}  // namespace

std::shared_ptr<RunLock> RecoverAppInstall(UpgradeContext& context) {
    const auto fileSystem = MakeFileSystem();
    IFileSystem& files = *fileSystem;
    std::shared_ptr<RunLock> hold = HoldFolder(context, files);
    const RecoveryReport report =
        RecoverInterruptedInstall(files, context.programFolder, LogNote(context));
    if (!report.notPutBack.empty()) {
        std::string list;
        for (const std::string& file : report.notPutBack) list += file + "\r\n";
        context.view.ShowMessage(app_text::kNotPutBack + list + app_text::kNotPutBackAdvice,
                                 MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
    }
    if (report.movesUndone)
        context.view.ShowMessage(app_text::kRolledBack, MsgIcon::Information, MsgButtons::Ok,
                                 run_text::kBoxTitle);
    return hold;
}

bool RestoreAppBackup(UpgradeContext& context) {
    const auto fileSystem = MakeFileSystem();
    IFileSystem& files = *fileSystem;
    const std::shared_ptr<RunLock> hold = HoldFolder(context, files);
    try {
        const std::string backup = RestoreLatestBackup(files, context.programFolder, LogNote(context));
        context.view.ShowMessage(std::string(app_text::kRestored) + "\r\n(" + backup + ")",
                                 MsgIcon::Information, MsgButtons::Ok, run_text::kBoxTitle);
        return true;
    } catch (const AppError& error) {
        context.log.Write("install", RunLog::Escape("restore failed: " +
                                                    std::to_string(error.number()) + "/" +
                                                    error.description()));
        context.view.ShowMessage(
            app_text::kRestoreFailed + std::to_string(error.number()) + "/" + error.description(),
            MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
        return false;
    }
}
