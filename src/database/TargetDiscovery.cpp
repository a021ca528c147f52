#include "database/TargetDiscovery.h"

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

bool HoldsMarkerTable(IConnection& connection, const std::string& database) {
    auto tables = connection.OpenRecordset(TableListQuery(database));
    const std::int16_t count = Count16(tables->RecordCount());
    bool found = false;
    for (std::int16_t i = 0; i < count; ++i) {
        if (ToUpperAscii(tables->Field("Name")) == dbtexts::kMarkerTable) {
            found = true;
            break;
        }
        tables->MoveNext();
    }
    tables->Close();
    return found;
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
        } else if (HoldsMarkerTable(connection, name)) {
            targets.push_back(name);
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
