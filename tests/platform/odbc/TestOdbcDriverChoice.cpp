#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/odbc/OdbcConnectionString.h"
#include "platform/odbc/OdbcDriverChoice.h"

namespace {

struct DriverCase {
    const char* label;
    std::vector<std::string> installed;
    std::string chosen;
};

TEST(OdbcDriverChoice, TheNewestSqlServerDriverInstalled) {
    const std::vector<DriverCase> cases = {
        {"nothing listed", {}, "SQL Server"},
        {"only the old one", {"SQL Server"}, "SQL Server"},
        {"all four, any order",
         {"SQL Server", "ODBC Driver 17 for SQL Server", "ODBC Driver 18 for SQL Server",
          "SQL Server Native Client 11.0"},
         "ODBC Driver 18 for SQL Server"},
        {"17 over Native Client", {"SQL Server Native Client 11.0", "ODBC Driver 17 for SQL Server"},
         "ODBC Driver 17 for SQL Server"},
        {"Native Client over the old one", {"SQL Server", "SQL Server Native Client 11.0"},
         "SQL Server Native Client 11.0"},
        {"letter case ignored", {"odbc driver 17 for sql server"}, "ODBC Driver 17 for SQL Server"},
        {"other drivers passed over", {"Microsoft Access Driver (*.mdb)", "FreeTDS"}, "SQL Server"},
        {"an unknown version is not taken", {"ODBC Driver 19 for SQL Server"}, "SQL Server"},
    };
    for (const auto& c : cases) EXPECT_EQ(BestSqlServerDriver(c.installed), c.chosen) << c.label;
}

struct KeywordCase {
    const char* driver;
    std::string tail;  // what follows the language
};

// What each driver is given beyond the common keywords. Driver 18 would encrypt and verify the
// certificate by default, which a store's server with its self-made certificate fails.
TEST(OdbcDriverChoice, EachDriverGetsTheKeywordsItNeeds) {
    const std::vector<KeywordCase> cases = {
        {"ODBC Driver 18 for SQL Server", "Encrypt=no;TrustServerCertificate=yes;"},
        {"ODBC Driver 17 for SQL Server", "Encrypt=no;TrustServerCertificate=yes;"},
        {"SQL Server Native Client 11.0", "Encrypt=no;TrustServerCertificate=yes;"},
        {"SQL Server", ""},
        {"FreeTDS", "TDS_Version=7.4;ClientCharset=UTF-8;"},
    };
    ConnectionSpec spec;
    spec.server = "KASA\\SQLEXPRESS";
    spec.database = "master";
    spec.user = "sa";
    spec.language = "Hrvatski";
    for (const auto& c : cases) {
        EXPECT_EQ(BuildOdbcConnectionString(spec, c.driver),
                  "Driver={" + std::string(c.driver) +
                      "};Server=KASA\\SQLEXPRESS;Database=master;UID=sa;PWD=;Language=Hrvatski;" +
                      c.tail)
            << c.driver;
    }
}

}  // namespace
