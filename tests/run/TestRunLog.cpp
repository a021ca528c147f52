#include <gtest/gtest.h>

#include <regex>

#include "run/LoggingView.h"
#include "run/RunLog.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

namespace {

TEST(RunLog, EscapesLineBreaksTabsBackslashesAndOtherControls) {
    struct Row {
        std::string in, out;
    } rows[] = {
        {"a\\b", "a\\\\b"}, {"\r\n", "\\r\\n"}, {"x\ty", "x\\ty"}, {"Šđ", "Šđ"}, {"", ""},
        {"red\x1B[31m.txt", "red\\x1B[31m.txt"}, {"a\\x1B", "a\\\\x1B"},
        {"csi\xC2\x9B" "2J", "csi\\u009B2J"},
    };
    for (const auto& row : rows) EXPECT_EQ(RunLog::Escape(row.in), row.out) << row.in;
}

TEST(RunLog, AppendsOneLinePerEvent) {
    TempFolder folder;
    const auto path = folder.path() / "Tarvik_Upg.log";
    folder.Write("Tarvik_Upg.log", "earlier run\n");
    RunLog log(path.string());
    log.Write("phase", "online update started");
    const std::string text = TempFolder::Read(path);
    EXPECT_TRUE(std::regex_match(
        text, std::regex("earlier run\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\tphase\tonline update started\n")))
        << text;
}

TEST(RunLog, LineBreaksInDetailsKeepTheEventOnOneLine) {
    TempFolder folder;
    const auto path = folder.path() / "Tarvik_Upg.log";
    RunLog log(path.string());
    // An error text of a server may carry line breaks of either kind.
    log.Write("database", "connection failed: 17 / first line\r\nsecond line\nthird\rend");
    const std::string text = TempFolder::Read(path);
    EXPECT_TRUE(std::regex_match(
        text, std::regex("[^\n]*\tdatabase\tconnection failed: 17 / first line\\\\r\\\\nsecond "
                         "line\\\\nthird\\\\rend\n")))
        << text;
}

TEST(RunLog, AnUnwritableLogIsIgnored) {
    TempFolder folder;
    RunLog log((folder.path() / "no-such-folder" / "Tarvik_Upg.log").string());
    EXPECT_NO_THROW(log.Write("phase", "x"));
}

TEST(LoggingView, WritesEveryBoxAndEveryAnswer) {
    TempFolder folder;
    const auto path = folder.path() / "run.log";
    RunLog log(path.string());
    ScriptedView inner;
    inner.answers = {MsgAnswer::Yes};
    LoggingView view(inner, log);
    view.ShowMessage("Trenutno nema novije verzije !!\r\n\r\nŽelite li?", MsgIcon::Question,
                     MsgButtons::YesNo, "IZBOR");
    view.ShowMessage("10001/Ne mogu se spojiti na internet !!", MsgIcon::Warning, MsgButtons::Ok,
                     std::nullopt);
    const std::string text = TempFolder::Read(path);
    EXPECT_NE(text.find("\tmessage\tquestion\tIZBOR\tTrenutno nema novije verzije !!\\r\\n\\r\\nŽelite li?\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\tanswer\tyes\n"), std::string::npos);
    EXPECT_NE(text.find("\tmessage\twarning\t\t10001/Ne mogu"), std::string::npos);
    EXPECT_EQ(inner.messages.size(), 2u);
}

}  // namespace
