// The pre-flight's judgement of each database, as a table of server states.
#include <gtest/gtest.h>

#include "database/PreFlight.h"

namespace {

using Strings = std::vector<std::string>;

DatabaseState Ready(const std::string& name) { return {name, "ONLINE", false, "MULTI_USER", true}; }

struct Case {
    const char* label;
    DatabaseState state;
    bool target;
    Strings reasons;  // empty: it passes
};

TEST(PreFlight, JudgesEachDatabaseByItsState) {
    const std::vector<Case> cases = {
        {"ready target", Ready("A"), true, {}},
        {"read-only target",
         {"A", "ONLINE", true, "MULTI_USER", true},
         true,
         {"baza je samo za čitanje"}},
        {"single-user target, permissions not asked",
         {"A", "ONLINE", false, "SINGLE_USER", std::nullopt},
         true,
         {"baza nije u višekorisničkom načinu rada (SINGLE_USER)"}},
        {"restricted target",
         {"A", "ONLINE", false, "RESTRICTED_USER", std::nullopt},
         true,
         {"baza nije u višekorisničkom načinu rada (RESTRICTED_USER)"}},
        {"target the login may not change",
         {"A", "ONLINE", false, "MULTI_USER", false},
         true,
         {"prijava nema pravo mijenjati bazu"}},
        {"permissions unanswered",
         {"A", "ONLINE", false, "MULTI_USER", std::nullopt},
         true,
         {"prijava nema pravo mijenjati bazu"}},
        {"offline: nothing else judged",
         {"A", "OFFLINE", true, "SINGLE_USER", std::nullopt},
         false,
         {"baza nije dostupna (stanje: OFFLINE)"}},
        {"suspect, not examined",
         {"A", "SUSPECT", false, "MULTI_USER", std::nullopt},
         false,
         {"baza nije dostupna (stanje: SUSPECT)"}},
        {"read-only other database", {"A", "ONLINE", true, "SINGLE_USER", std::nullopt}, false, {}},
        {"read-only and not writable",
         {"A", "ONLINE", true, "MULTI_USER", false},
         true,
         {"baza je samo za čitanje", "prijava nema pravo mijenjati bazu"}},
    };
    for (const auto& c : cases) {
        const auto failures =
            CheckPreFlight(c.target ? Strings{"A"} : Strings{}, {Ready("0"), c.state});
        if (c.reasons.empty()) {
            EXPECT_TRUE(failures.empty()) << c.label;
            continue;
        }
        ASSERT_EQ(failures.size(), 1u) << c.label;
        EXPECT_EQ(failures[0].database, "A") << c.label;
        EXPECT_EQ(failures[0].reasons, c.reasons) << c.label;
    }
}

TEST(PreFlight, ATargetWithoutAStateRowIsNotChanged) {
    const auto failures = CheckPreFlight({"A", "NOVA"}, {Ready("A")});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].database, "NOVA");
    EXPECT_EQ(failures[0].reasons, Strings{"stanje baze nije poznato"});
}

TEST(PreFlight, ReportListsEveryDatabaseWithItsReasons) {
    EXPECT_EQ(
        PreFlightReport({{"BETA", {"baza je samo za čitanje", "prijava nema pravo mijenjati bazu"}},
                         {"DELTA", {"baza nije dostupna (stanje: OFFLINE)"}}},
                        "/p/Tarvik_Upg.log"),
        "Podizanje verzije nije započeto: neke baze nisu spremne za promjenu.\r\n"
        "\r\nBETA: baza je samo za čitanje, prijava nema pravo mijenjati bazu."
        "\r\nDELTA: baza nije dostupna (stanje: OFFLINE)."
        "\r\n\r\nNijedna baza nije promijenjena.\r\nPojedinosti su zapisane u datoteci "
        "/p/Tarvik_Upg.log");
}

}  // namespace
