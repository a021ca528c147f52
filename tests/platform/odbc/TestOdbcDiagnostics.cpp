#include <gtest/gtest.h>

#include "platform/IDatabase.h"
#include "platform/odbc/OdbcDiagnostics.h"
#include "common/Utf16.h"

namespace {

struct DiagCase {
    const char* label;
    std::vector<OdbcDiagRecord> records;
    std::int32_t number;
    std::string description;
};

TEST(OdbcDiagnostics, ServerNumbersWhereTheServerGivesOne) {
    const std::vector<DiagCase> cases = {
        {"refused login",
         {{"42000", 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'."},
          {"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"}},
         18456, "Login failed for user 'sa'."},
        {"unknown database first",
         {{"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"},
          {"42000", 4060, "[FreeTDS][SQL Server]Cannot open database \"x\""}},
         4060, "Cannot open database \"x\""},
        {"time-out", {{"HYT00", 0, "[FreeTDS][SQL Server]Query timeout expired"}},
         DatabaseError::kTimeout, "Query timeout expired"},
        {"time-out with a client number", {{"HYT00", 20003, "[FreeTDS]Timeout expired"}},
         DatabaseError::kTimeout, "Timeout expired"},
        {"lost connection", {{"08S01", 20004, "[FreeTDS][SQL Server]Read from the server failed"}},
         DatabaseError::kDriverFailure, "Read from the server failed"},
        {"nobody listening",
         {{"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"},
          {"08S01", 20009, "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable"}},
         DatabaseError::kDriverFailure, "Unable to connect to data source"},
        {"warning passed over",
         {{"01000", 5701, "[FreeTDS][SQL Server]Changed database context to 'x'."},
          {"42S02", 208, "[FreeTDS][SQL Server]Invalid object name 'y'."}},
         208, "Invalid object name 'y'."},
        {"connection lost mid-statement: only a warning-class record",
         {{"01000", 20017, "[FreeTDS][SQL Server]Unexpected EOF from the server"}},
         DatabaseError::kDriverFailure, "Unexpected EOF from the server"},
        {"no records", {}, DatabaseError::kDriverFailure, "Unspecified error"},
        // FreeTDS puts the server's 911 under 08004: the number is the server's.
        {"database does not exist under a connection state",
         {{"08004", 911, "[FreeTDS][SQL Server]Database 'ALFA' does not exist."}},
         911, "Database 'ALFA' does not exist."},
        {"Microsoft's driver: socket error under 08S01",
         {{"08S01", 10054, "[Microsoft][ODBC Driver 18 for SQL Server]TCP Provider: An existing "
                           "connection was forcibly closed by the remote host."}},
         DatabaseError::kDriverFailure,
         "TCP Provider: An existing connection was forcibly closed by the remote host."},
    };
    for (const auto& c : cases) {
        const AppError e = ClassifyOdbcError(c.records, "ODBC FreeTDS");
        EXPECT_EQ(e.number(), c.number) << c.label;
        EXPECT_EQ(e.description(), c.description) << c.label;
        EXPECT_EQ(e.source(), "ODBC FreeTDS") << c.label;
    }
}

// SQL_SUCCESS_WITH_INFO: info messages pass, a server error among them fails the batch.
TEST(OdbcDiagnostics, ErrorsAmongInfoRecordsFailTheBatch) {
    const std::vector<OdbcDiagRecord> info = {
        {"01000", 5701, "[Microsoft][SQL Server]Changed database context to 'ALFA'."},
        {"01000", 0, "[Microsoft][SQL Server]ispis"}};
    EXPECT_FALSE(ErrorAmongInfo(info, "ODBC"));
    auto failed = info;
    failed.push_back({"23000", 2627, "[Microsoft][SQL Server]Violation of PRIMARY KEY constraint 'PK'."});
    const auto e = ErrorAmongInfo(failed, "ODBC");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), 2627);
    EXPECT_EQ(e->description(), "Violation of PRIMARY KEY constraint 'PK'.");
    // A warning of the driver's own (01S02 option changed) with no server error is no failure.
    EXPECT_FALSE(ErrorAmongInfo({{"01S02", 0, "[Microsoft]Option value changed"}}, "ODBC"));
}

TEST(WideText, CroatianLettersAndOtherPlanesSurviveTheRoundTrip) {
    const std::string text = "čćžšđ ČĆŽŠĐ € 😀 abc";
    const std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide.substr(0, 5), u"čćžšđ");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
