#include "cabinet/RestoreBackup.h"
#include "cabinet/StagedInstall.h"
#include "common/AppError.h"
#include "platform/stdfs/StdFileSystem.h"
#include "shell/AppPhases.h"
#include "shell/AppTexts.h"
#include "shell/ExitStatus.h"

namespace {

constexpr const char* kRolledBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka.\r\n"
    "Vraćene su stare datoteke programa; pokrenite dizanje verzije ponovo.";
constexpr const char* kNotPutBack =
    "Prethodno dizanje verzije prekinuto je usred instalacije datoteka,\r\n"
    "a ove stare datoteke programa nisu se mogle vratiti:\r\n";
constexpr const char* kNotPutBackAdvice =
    "Zatvorite programe koji ih koriste i pokrenite dizanje verzije ponovo.";
constexpr const char* kRestored = "Vraćene su datoteke programa od prije zadnje instalacije.";
constexpr const char* kRestoreFailed = "Vraćanje datoteka programa nije uspjelo:\r\n";

InstallNote LogNote(UpgradeContext& context) {
    return [&context](const std::string& line) {
        context.log.Write("install", RunLog::Escape(line));
    };
}

}  // namespace

void RecoverAppInstall(UpgradeContext& context) {
    StdFileSystem files;
    const RecoveryReport report =
        RecoverInterruptedInstall(files, context.programFolder, LogNote(context));
    if (!report.notPutBack.empty()) {
        std::string list;
        for (const std::string& file : report.notPutBack) list += file + "\r\n";
        context.view.ShowMessage(kNotPutBack + list + kNotPutBackAdvice, MsgIcon::Error,
                                 MsgButtons::Ok, texts::kBoxTitle);
        context.view.EndProgram(exit_status::kError);
        return;
    }
    if (report.movesUndone)
        context.view.ShowMessage(kRolledBack, MsgIcon::Information, MsgButtons::Ok,
                                 texts::kBoxTitle);
}

bool RestoreAppBackup(UpgradeContext& context) {
    StdFileSystem files;
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
