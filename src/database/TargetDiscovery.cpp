#include "database/TargetDiscovery.h"

#include <optional>

#include "database/DatabaseTexts.h"
#include "database/SqlTexts.h"

namespace {

// ASCII is enough: the marker's name is ASCII, and no other letter upper-cases into it.
std::string ToUpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

IConnection& Connection(DatabaseSession& s) {
    if (!s.dbConnection)
        throw AppError(DatabaseError::kConnectionClosed, "Upgrade", DatabaseError::kConnectionClosedText);
    return *s.dbConnection;
}

struct Tables {
    bool marker = false;
    std::string verzija;  // the version table as the database spells it; empty: none
};

// The whole list is read: on a case-sensitive database the version table must be named as it
// is spelled there, and it may come after the marker.
Tables ReadTables(IConnection& connection, const std::string& database) {
    auto tables = connection.OpenRecordset(TableListQuery(database));
    const std::int16_t count = Count16(tables->RecordCount());
    Tables found;
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string name = tables->Field("Name");
        const std::string upper = ToUpperAscii(name);
        if (upper == database_text::kMarkerTable) found.marker = true;
        // The exact spelling wins over another letter case of the same name.
        if (upper == "VERZIJA" && (found.verzija.empty() || name == "Verzija")) found.verzija = name;
        tables->MoveNext();
    }
    tables->Close();
    return found;
}

// The tables of one database, or none when another session holds its single user: it cannot be
// entered to tell whether it is one of the program's, so the pre-flight names it instead of the
// run ending here with 924.
std::optional<Tables> TryReadTables(DatabaseSession& s, IConnection& connection,
                                    const std::string& name, Discovery& found) {
    try {
        return ReadTables(connection, name);
    } catch (const AppError& e) {
        if (e.number() != kDatabaseInUse) throw;
        s.log.Write("database", "not examined (held by another session): " + name + ": " +
                                    std::to_string(e.number()) + " / " + e.description());
        found.unenterable.push_back(name);
        return std::nullopt;
    }
}

// A database the state query did not list is examined: its own query then tells.
bool Examinable(const std::vector<DatabaseState>& states, const std::string& name) {
    for (const auto& state : states) {
        if (state.name == name) return CanBeExamined(state);
    }
    return true;
}

}  // namespace

std::int16_t Count16(std::int64_t count) {
    if (count > 32767) {
        throw AppError(RuntimeError::kOverflow, "Upgrade", RuntimeError::kOverflowText);
    }
    return static_cast<std::int16_t>(count);
}

Discovery FindTargetDatabases(DatabaseSession& s) {
    IConnection& connection = Connection(s);
    Discovery found;
    std::vector<std::string>& targets = found.targets;
    auto databases = connection.OpenRecordset(DatabaseListQuery());
    s.view.SetText(Control::LblPozor, "");
    const std::int16_t count = Count16(databases->RecordCount());
    found.states = ReadDatabaseStates(s);
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string name = databases->Field("Name");
        if (!Examinable(found.states, name)) {
            // Reading its tables would only fail (942 for an offline one) and end the run with a
            // bare error number; the pre-flight names it instead.
            s.log.Write("database", "not examined (not online): " + name);
            databases->MoveNext();
            continue;
        }
        const auto tables = TryReadTables(s, connection, name, found);
        if (!tables) {
            databases->MoveNext();
            continue;
        }
        if (tables->marker) {
            targets.push_back(name);
            if (!tables->verzija.empty()) found.verzijaTables[name] = tables->verzija;
            s.log.Write("database", "target found: " + name);
            s.view.SetText(Control::LblPozor, s.view.Text(Control::LblPozor) + " " + name + ",  ");
            s.view.SetCaretToEnd(Control::LblPozor);
            s.view.Refresh(Control::LblPozor);
        }
        databases->MoveNext();
    }
    databases->Close();
    return found;
}
