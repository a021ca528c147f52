#include "database/DatabasePhase.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <set>

#include "common/Paths.h"
#include "common/Strings.h"
#include "database/BatchSplitter.h"
#include "database/DatabaseTexts.h"
#include "database/Konekcija.h"
#include "database/TargetDiscovery.h"
#include "database/UpgradeDatabase.h"
#include "run/ExitStatus.h"
#include "run/RunTexts.h"
#include "pefile/ProgramVersion.h"
#include "upgradefile/SectionReader.h"

namespace {

std::string NumberSlashText(const AppError& e) { return std::to_string(e.number()) + "/" + e.description(); }

class DatabasePhase {
public:
    DatabasePhase(UpgradeContext& context, const DatabasePhaseDeps& deps)
        : ctx_(context),
          session_{context.view, context.log, deps.database, deps.settings, context.settingsName,
                   deps.commandTimeoutSeconds, nullptr, {}} {}

    // The whole phase; returns the exit status instead of ending the program, so that the end
    // happens on the thread that owns the window.
    int Run();

private:
    bool ConnectionStage();
    int ExecutionStage();
    void LogScript(const SplitScript& split);
    // False after the box that names every database not ready to be changed.
    bool PreFlight(const Discovery& found);
    RunResult RunAllDatabases(const Discovery& found, const SplitScript& script);
    // Logs each target's collation; those whose code page loses Croatian letters are recorded.
    void CheckCollations(const Discovery& found, RunResult& result);
    int Finish(const RunResult& result);
    void ConnectionStageReport(const AppError& e);
    void ExecutionReport(const AppError& e);
    void CloseIfOpen();

    UpgradeContext& ctx_;
    DatabaseSession session_;
};

int DatabasePhase::Run() {
    ctx_.log.Write("phase", "database upgrade");
    ctx_.state.programVersion =
        GetProgramVersion(ctx_.view, JoinPath(ctx_.programFolder, run_text::kProgramFileName));
    if (ctx_.state.programVersion == "Err") return exit_status::kError;
    try {
        if (!ConnectionStage()) return exit_status::kError;
    } catch (const AppError& e) {
        ConnectionStageReport(e);
        return exit_status::kError;
    }
    try {
        return ExecutionStage();
    } catch (const AppError& e) {
        ExecutionReport(e);
        return exit_status::kError;
    }
}

bool DatabasePhase::ConnectionStage() {
    IView& view = ctx_.view;
    view.SetCursor(Cursor::Wait);
    view.SetEnabled(Control::CmdAkcija0, false);
    view.SetEnabled(Control::CmdAkcija1, false);
    view.SetText(Control::LblPozor, database_text::kConnecting);
    view.Refresh(Control::LblPozor);
    if (!OpenConnection(session_, "master")) {
        view.ShowMessage(database_text::kCannotContinue, MsgIcon::Error, MsgButtons::Ok,
                         std::nullopt);
        return false;
    }
    view.Refresh(Control::FrmGlavna);
    view.SetText(Control::LblPozor, database_text::kPreparing);
    view.Refresh(Control::LblPozor);
    return true;
}

int DatabasePhase::ExecutionStage() {
    IView& view = ctx_.view;
    const Discovery found = FindTargetDatabases(session_);
    const std::vector<std::string>& targets = found.targets;
    ctx_.log.Write("database", std::to_string(targets.size()) + " target database(s)");
    const std::string script = ReadSection(view, ctx_.programFolder, "[Akcija]");
    if (script == "Err") {
        ctx_.log.Write("script", "[Akcija] cannot be used: " +
                                     SectionFault(ctx_.programFolder, "[Akcija]") + "; nothing changed");
        return exit_status::kError;
    }
    const SplitScript split = SplitBatches(script);
    LogScript(split);
    view.SetText(Control::LblPozor, database_text::kUpgrading);
    view.SetText(Control::LblTablica, "");
    view.Refresh(Control::LblTablica);
    if (!PreFlight(found)) return exit_status::kError;
    // The last index of an empty list does not exist.
    if (targets.empty()) {
        throw AppError(RuntimeError::kSubscriptOutOfRange, "Upgrade",
                       RuntimeError::kSubscriptOutOfRangeText);
    }
    const RunResult result = RunAllDatabases(found, split);
    if (session_.dbConnection) session_.dbConnection->Close();
    session_.dbConnection.reset();
    return Finish(result);
}

void DatabasePhase::LogScript(const SplitScript& split) {
    ctx_.log.Write("database", "script of " + std::to_string(split.batches.size()) + " batch(es)");
    std::vector<std::string> empty;
    for (std::size_t i = 0; i < split.batches.size(); ++i) {
        if (split.batches[i].empty()) empty.push_back(std::to_string(i + 1));
    }
    if (!empty.empty()) {
        ctx_.log.Write("script",
                       "empty batch(es) " + Join(empty, ", ") + ": counted as run, never sent");
    }
    if (HoldsStatement(split.remainder)) {
        ctx_.log.Write("script", "text after the last -GO- is never sent: " +
                                     RunLog::Escape(FirstLineOf(split.remainder)));
    }
}

bool DatabasePhase::PreFlight(const Discovery& found) {
    const auto failures = CheckPreFlight(found.targets, found.states, found.unenterable);
    if (failures.empty()) {
        for (const auto& t : found.targets)
            ctx_.log.Write("pre-flight", t + ": online, read-write, multi-user, writable by the login");
        return true;
    }
    for (const auto& f : failures) {
        ctx_.log.Write("pre-flight", f.database + " failed: " + Join(f.reasons, ", "));
    }
    ctx_.log.Write("pre-flight", "run stopped before any change");
    CloseIfOpen();
    session_.dbConnection.reset();
    ctx_.view.SetCursor(Cursor::Default);
    ctx_.view.ShowMessage(PreFlightReport(failures, ctx_.log.path()), MsgIcon::Error,
                          MsgButtons::Ok, std::string(run_text::kBoxTitle));
    return false;
}

void DatabasePhase::CheckCollations(const Discovery& found, RunResult& result) {
    for (const auto& state : found.states) {
        if (std::find(found.targets.begin(), found.targets.end(), state.name) == found.targets.end())
            continue;
        const std::string page = state.codePage ? std::to_string(*state.codePage) : "unknown";
        ctx_.log.Write("database", state.name + ": collation " + state.collation + " (code page " + page + ")");
        if (KeepsCroatianLetters(state)) continue;
        ctx_.log.Write("collation", state.name + ": code page " + page + " is not 1250: Č, Ć, Đ and other " +
                                        "Croatian letters in text written without N are lost");
        result.otherCodePages.push_back({state.name, state.collation, *state.codePage});
    }
}

RunResult DatabasePhase::RunAllDatabases(const Discovery& found, const SplitScript& script) {
    const std::vector<std::string>& targets = found.targets;
    RunResult result;
    CheckCollations(found, result);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (i == 0) {
            // The window updates of the first database lie before the lenient part of the run.
            ShowDatabaseStarted(session_, targets[i]);
        } else {
            ShowDatabaseStartedLeniently(session_, targets[i]);
        }
        const auto table = found.verzijaTables.find(targets[i]);
        UpgradeDatabase(session_, targets[i], script, ctx_.state.programVersion, result,
                        table == found.verzijaTables.end() ? "Verzija" : table->second);
    }
    return result;
}

// One line naming the batches that `pick` chooses, as "ALFA (naredba 2)"; empty when none.
template <typename Pick>
std::string BatchList(const RunResult& result, const char* lead, Pick pick) {
    std::vector<std::string> where;
    for (const auto& f : result.failedBatches) {
        if (pick(f))
            where.push_back(f.database + " (" + database_text::kBatchWord +
                            std::to_string(f.batchNumber) + ")");
    }
    return where.empty() ? "" : "\r\n" + std::string(lead) + Join(where, ", ") + ".";
}

std::string FailureSummary(const RunResult& result, const std::string& logPath) {
    std::string text = std::string(database_text::kFinishedWithErrors) + "\r\n";
    if (!result.failedBatches.empty()) {
        std::set<std::string> seen;
        std::string where;
        for (const auto& f : result.failedBatches) {
            if (seen.insert(f.database).second) where += (where.empty() ? "" : ", ") + f.database;
        }
        text += "\r\n" + std::string(database_text::kFailedBatches) +
                std::to_string(result.failedBatches.size()) + " (" + where + ").";
    }
    text += BatchList(result, database_text::kTimedOut,
                      [](const FailedBatch& f) { return f.timedOut; });
    text += BatchList(result, database_text::kCutShort,
                      [](const FailedBatch& f) { return f.cutShort && !f.timedOut; });
    if (!result.rolledBack.empty()) {
        std::vector<std::string> where;
        for (const auto& r : result.rolledBack)
            where.push_back(r.database + " (" +
                            (r.batchNumber == 0
                                 ? std::string(database_text::kScriptEnd)
                                 : database_text::kBatchWord + std::to_string(r.batchNumber)) +
                            ")");
        text += "\r\n" + std::string(database_text::kRolledBack) + Join(where, ", ") + ".";
    }
    if (!result.skippedDatabases.empty()) {
        text += "\r\n" + std::string(database_text::kSkippedDatabases) +
                Join(result.skippedDatabases, ", ") + ".";
    }
    if (!result.unstampedDatabases.empty()) {
        text += "\r\n" + std::string(database_text::kNotStamped) +
                Join(result.unstampedDatabases, ", ") + ".";
    }
    if (!result.otherCodePages.empty()) {
        std::vector<std::string> where;
        for (const auto& c : result.otherCodePages) where.push_back(c.database + " (" + c.collation + ")");
        text += "\r\n" + std::string(database_text::kOtherCodePage) + Join(where, ", ") + ".";
    }
    return text + "\r\n\r\n" + database_text::kSeeLog + logPath;
}

int DatabasePhase::Finish(const RunResult& result) {
    IView& view = ctx_.view;
    view.SetText(Control::LblPozor, database_text::kFinished);
    view.Refresh(Control::LblPozor);
    view.SetCursor(Cursor::Default);
    ctx_.log.Write("database", "finished: " + std::to_string(result.failedBatches.size()) +
                                   " failed batch(es), " + std::to_string(result.skippedDatabases.size()) +
                                   " skipped database(s), " +
                                   std::to_string(result.unstampedDatabases.size()) +
                                   " failed stamp(s), " + std::to_string(result.rolledBack.size()) +
                                   " rolled-back database(s), " + std::to_string(result.withoutVerzija) +
                                   " database(s) without Verzija");
    if (result.Clean()) {
        view.ShowMessage(database_text::kSuccess, MsgIcon::Information, MsgButtons::Ok,
                         std::string(run_text::kBoxTitle));
        return exit_status::kSuccess;
    }
    view.ShowMessage(FailureSummary(result, ctx_.log.path()), MsgIcon::Warning, MsgButtons::Ok,
                     std::string(run_text::kBoxTitle));
    return exit_status::kDatabaseIncomplete;
}

void DatabasePhase::CloseIfOpen() {
    try {
        if (session_.dbConnection && session_.dbConnection->IsOpen()) session_.dbConnection->Close();
    } catch (const AppError& e) {
        // The report that follows is about the first error; a second one while closing adds
        // nothing the user can act on, so it goes to the run log only.
        ctx_.log.Write("database", "closing after an error failed: " + NumberSlashText(e));
    }
}

void DatabasePhase::ConnectionStageReport(const AppError& e) {
    CloseIfOpen();
    session_.dbConnection.reset();
    const std::optional<std::string> title = std::string(run_text::kBoxTitle);
    ctx_.view.ShowMessage(database_text::kServerOpenFailed, MsgIcon::Error, MsgButtons::Ok, title);
    ctx_.view.ShowMessage(NumberSlashText(e), MsgIcon::Error, MsgButtons::Ok, title);
}

void DatabasePhase::ExecutionReport(const AppError& e) {
    CloseIfOpen();
    const std::optional<std::string> title = std::string(run_text::kBoxTitle);
    ctx_.view.ShowMessage(database_text::kExecutionFailed, MsgIcon::Error, MsgButtons::Ok, title);
    ctx_.view.ShowMessage(NumberSlashText(e), MsgIcon::Error, MsgButtons::Ok, title);
}

}  // namespace

void RunDatabaseUpgrade(UpgradeContext& context, const DatabasePhaseDeps& deps) {
    int exitCode = exit_status::kError;
    context.view.RunOffUiThread([&] {
        try {
            exitCode = DatabasePhase(context, deps).Run();
        } catch (const std::exception& e) {
            // Nothing may leave the worker: the program still has to end on its own thread.
            context.log.Write("database", std::string("internal failure: ") + e.what());
            exitCode = exit_status::kError;
        }
    });
    context.view.EndProgram(exitCode);
    // EndProgram never returns; this only tells the compiler so.
    std::abort();
}
