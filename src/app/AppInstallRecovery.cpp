#include "cabinet/RestoreBackup.h"
#include "cabinet/RunLock.h"
#include "cabinet/StagedInstall.h"
#include "common/AppError.h"
#include "app/Wiring.h"
#include "app/AppPhases.h"
#include "run/RunTexts.h"
#include "run/ExitStatus.h"

namespace {

constexpr const char* kRolledBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka.\r\n"
    "Vraćene su stare datoteke programa; pokrenite dizanje verzije ponovo.";
constexpr const char* kNotPutBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka,\r\n"
    "a ove stare datoteke programa nisu se mogle vratiti:\r\n";
constexpr const char* kNotPutBackAdvice =
    "Zatvorite programe koji ih koriste i pokrenite dizanje verzije ponovo.";
constexpr const char* kAlreadyRunning = "Dizanje verzije već je pokrenuto u ovoj mapi:\r\n";
constexpr const char* kAlreadyRunningAdvice =
    "\r\nPričekajte da završi i zatvorite ga; ovo pokretanje ništa nije mijenjalo.";
constexpr const char* kNotWritable = "Mapa programa nije dostupna za pisanje:\r\n";
constexpr const char* kNotWritableAdvice =
    "\r\nPokrenite dizanje verzije kao administrator (desni klik, \"Pokreni kao administrator\").";
constexpr const char* kRestored = "Vraćene su datoteke programa od prije zadnje instalacije.";
constexpr const char* kRestoreFailed = "Vraćanje datoteka programa nije uspjelo:\r\n";

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
        context.view.ShowMessage(kNotWritable + context.programFolder + kNotWritableAdvice,
                                 MsgIcon::Error, MsgButtons::Ok, texts::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
    }
    if (!hold) {
        context.log.Write("start", RunLog::Escape("another run of the upgrade holds " +
                                                  RunLock::PathIn(context.programFolder) +
                                                  "; nothing changed"));
        context.view.ShowMessage(kAlreadyRunning + context.programFolder + kAlreadyRunningAdvice,
                                 MsgIcon::Warning, MsgButtons::Ok, texts::kBoxTitle);
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
        context.view.ShowMessage(kNotPutBack + list + kNotPutBackAdvice, MsgIcon::Error,
                                 MsgButtons::Ok, texts::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
    }
    if (report.movesUndone)
        context.view.ShowMessage(kRolledBack, MsgIcon::Information, MsgButtons::Ok,
                                 texts::kBoxTitle);
    return hold;
}

bool RestoreAppBackup(UpgradeContext& context) {
    const auto fileSystem = MakeFileSystem();
    IFileSystem& files = *fileSystem;
    const std::shared_ptr<RunLock> hold = HoldFolder(context, files);
    try {
        const std::string backup = RestoreLatestBackup(files, context.programFolder, LogNote(context));
        context.view.ShowMessage(std::string(kRestored) + "\r\n(" + backup + ")",
                                 MsgIcon::Information, MsgButtons::Ok, texts::kBoxTitle);
        return true;
    } catch (const AppError& error) {
        context.log.Write("install", RunLog::Escape("restore failed: " +
                                                    std::to_string(error.number()) + "/" +
                                                    error.description()));
        context.view.ShowMessage(kRestoreFailed + std::to_string(error.number()) + "/" +
                                     error.description(),
                                 MsgIcon::Error, MsgButtons::Ok, texts::kBoxTitle);
        return false;
    }
}
