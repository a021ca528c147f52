#include "database/PreFlight.h"

#include <algorithm>
#include <cstdlib>

#include "common/Strings.h"
#include "database/DatabaseTexts.h"
#include "database/SqlTexts.h"

namespace {

constexpr const char* kOnline = "ONLINE";
constexpr const char* kMultiUser = "MULTI_USER";

const DatabaseState* Find(const std::vector<DatabaseState>& states, const std::string& name) {
    const auto it = std::find_if(states.begin(), states.end(),
                                 [&](const DatabaseState& s) { return s.name == name; });
    return it == states.end() ? nullptr : &*it;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> ReasonsAgainst(const DatabaseState& s) {
    std::vector<std::string> reasons;
    if (s.state != kOnline) {
        reasons.push_back(std::string(database_text::kNotOnline) + s.state + ")");
        // Nothing else can be judged of a database that cannot be opened.
        return reasons;
    }
    if (s.readOnly) reasons.emplace_back(database_text::kReadOnly);
    if (s.access != kMultiUser)
        reasons.push_back(std::string(database_text::kNotMultiUser) + s.access + ")");
    // The permissions of a database that is not MULTI_USER were left unasked: its access is the
    // reason. Where they were asked, anything but a clear yes refuses the database.
    if (s.access == kMultiUser && s.writable != true)
        reasons.emplace_back(database_text::kNotWritable);
    return reasons;
}

}  // namespace

std::vector<DatabaseState> ReadDatabaseStates(DatabaseSession& s) {
    if (!s.dbConnection)
        throw AppError(DatabaseError::kConnectionClosed, "Upgrade",
                       DatabaseError::kConnectionClosedText);
    auto rows = s.dbConnection->OpenRecordset(DatabaseStatesQuery());
    std::vector<DatabaseState> states;
    for (std::int64_t i = 0; i < rows->RecordCount(); ++i) {
        DatabaseState state;
        state.name = rows->Field("Name");
        state.state = rows->Field("State");
        state.readOnly = rows->Field("ReadOnly") == "1";
        state.access = rows->Field("Access");
        state.collation = rows->Field("Collation");
        const std::string codePage = rows->Field("CodePage");
        if (!codePage.empty()) state.codePage = std::atoi(codePage.c_str());
        const std::string writable = rows->Field("Writable");
        // A NULL reads as the empty text: the permissions were not asked.
        if (!writable.empty()) state.writable = writable == "1";
        states.push_back(std::move(state));
        rows->MoveNext();
    }
    rows->Close();
    return states;
}

bool CanBeExamined(const DatabaseState& state) { return state.state == kOnline; }

bool KeepsCroatianLetters(const DatabaseState& state) {
    return !state.codePage || *state.codePage == 1250 || *state.codePage == 65001;
}

std::vector<PreFlightFailure> CheckPreFlight(const std::vector<std::string>& targets,
                                             const std::vector<DatabaseState>& states,
                                             const std::vector<std::string>& unenterable) {
    std::vector<PreFlightFailure> failures;
    for (const DatabaseState& s : states) {
        const bool entered = !Contains(unenterable, s.name);
        if (!Contains(targets, s.name) && CanBeExamined(s) && entered) continue;
        auto reasons = ReasonsAgainst(s);
        // Held by another session's single user although the state said otherwise a moment
        // before: the access has changed since, and the database cannot be entered.
        if (!entered && reasons.empty())
            reasons.push_back(std::string(database_text::kNotMultiUser) + "SINGLE_USER)");
        if (!reasons.empty()) failures.push_back({s.name, std::move(reasons)});
    }
    // A target the state query did not list (created or renamed between the two queries) is
    // unknown, and an unknown database is not changed.
    for (const std::string& target : targets) {
        if (!Find(states, target)) failures.push_back({target, {database_text::kStateUnknown}});
    }
    return failures;
}

std::string PreFlightReport(const std::vector<PreFlightFailure>& failures,
                            const std::string& logPath) {
    std::string text = std::string(database_text::kPreFlightFailed) + "\r\n";
    for (const auto& f : failures) text += "\r\n" + f.database + ": " + Join(f.reasons, ", ") + ".";
    return text + "\r\n\r\n" + database_text::kNothingChanged + "\r\n" + database_text::kSeeLog +
           logPath;
}
