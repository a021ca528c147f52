#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/IDatabase.h"
#include "platform/ISettingsStore.h"

// The three settings of the main program that say where its databases are. Each is read from the
// section of its own name, under the key of the same name.
struct ConnectionSettings {
    std::string databasePath;  // "PutBaza": only whether it is empty matters
    std::string serverName;    // "ImeServera", "(local)" when absent or stored empty
    std::int16_t serverType = -1;  // "TipServera": 1 selects the fixed "sa" password
};

inline constexpr const char* kLocalServer = "(local)";
inline constexpr const char* kLoginName = "sa";
inline constexpr const char* kServerLanguage = "Hrvatski";
inline constexpr int kCommandTimeoutSeconds = 60;

// Raises AppError 13 (a "TipServera" that is no number) or 6 (one outside -32768..32767).
ConnectionSettings ReadConnectionSettings(const ISettingsStore& store, const std::string& app);

// A text converted to a 16-bit integer as the platform's integer conversion does: blanks around
// it, a sign and a decimal fraction are accepted, the fraction rounded half to even ("2.5" -> 2).
// Raises AppError 13 "Type mismatch" for anything else (the empty text too) and 6 "Overflow".
std::int16_t ToInteger16(std::string_view text);

// The fixed password of the "sa" login for server kind 1, the empty one for every other kind.
std::string PasswordFor(std::int16_t serverType);

ConnectionSpec MakeConnectionSpec(const ConnectionSettings& settings, const std::string& database,
                                  int commandTimeoutSeconds);

// The connection for the run log: server, database and login, the password only as
// "fixed" or "empty".
std::string DescribeConnection(const ConnectionSpec& spec);
