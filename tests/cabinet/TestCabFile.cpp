// The cabinet object over the real libmspack iterator, on cabinets made by gcab and on the
// committed fixtures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/CabDate.h"
#include "cabinet/CabFile.h"
#include "cabinet/CabinetTestSupport.h"
#include "cabinet/Callback.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"
#include "platform/stdfs/StdFileSystem.h"

namespace fs = std::filesystem;
using cabtest::Fixture;

namespace {

// The installation's file system, handed in as the programs' wiring hands in theirs.
StdFileSystem realFiles;

constexpr const char* kBox = "Greška kod raspakiravanja skinute datoteke !!";
constexpr const char* kNameNotSet =
    "You must set the CabName property before taking any action on the CabFile object.";

// Counts the files announced to the object, to show where a pass stopped.
class CountingIterator : public ICabinetIterator {
public:
    bool Iterate(const std::string& path, cabinet_api::CabinetCallback callback,
                 std::uintptr_t context) override {
        callback_ = callback;
        context_ = context;
        announced = 0;
        return inner.Iterate(path, &Forward, reinterpret_cast<std::uintptr_t>(this));
    }
    std::uint32_t LastError() const override { return inner.LastError(); }

    MspackCabinetIterator inner;
    int announced = 0;

private:
    static std::uint32_t Forward(std::uintptr_t self, std::uint32_t n, std::uintptr_t p1,
                                 std::uintptr_t p2) noexcept {
        auto& me = *reinterpret_cast<CountingIterator*>(self);
        if (n == cabinet_api::SPFILENOTIFY_FILEINCABINET) ++me.announced;
        return me.callback_(me.context_, n, p1, p2);
    }
    cabinet_api::CabinetCallback callback_ = nullptr;
    std::uintptr_t context_ = 0;
};

struct Found {
    std::string name;
    double date;
    std::int32_t size;
    std::string path;
    bool operator==(const Found&) const = default;
};

class CabFileTest : public ::testing::Test {
protected:
    void SetUp() override { cabtest::UseFixedDateLocale(); }

    // u.cab in <temp>/Prog holding a.txt and sub\b.txt, made by gcab (MSZIP).
    std::string MakeProgCabinet() {
        fs::create_directories(temp.path() / "Prog");
        return cabtest::MakeGcabCabinet(sources, (temp.path() / "Prog" / "u.cab").string(),
                                        {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}}, true);
    }

    void Listen(CabFile& cab) {
        cab.FileFound = [this](const std::string& n, CabDateTime d, std::int32_t s,
                               const std::string& p) { events.push_back({n, d.value, s, p}); };
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& m : view.messages) texts.push_back(m.text);
        return texts;
    }

    TempFolder temp;
    TempFolder sources;
    ScriptedView view;
    CountingIterator iterator;
    std::vector<Found> events;
};

TEST_F(CabFileTest, CountsTheSameTwiceOnOneObject) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    ASSERT_FALSE(cab.CabName().empty()) << "gcab made the cabinet";
    EXPECT_EQ(cab.FileCount(), 2);
    EXPECT_EQ(cab.FileCount(), 2);
    cab.SetCabName(Fixture("empty_no_files.cab"));
    EXPECT_EQ(cab.FileCount(), 0);
}

TEST_F(CabFileTest, CabNameNotSetFromEachOperation) {
    CabFile cab(view, iterator, realFiles);
    const auto expectRaise = [](auto&& call, const char* source) {
        try {
            call();
            ADD_FAILURE() << source << " did not raise";
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), -2147219548);
            EXPECT_EQ(e.source(), source);
            EXPECT_EQ(e.description(), kNameNotSet);
        }
    };
    expectRaise([&] { cab.FileCount(); }, "CabFile");
    expectRaise([&] { cab.GetInfo(""); }, "CabFile.GetInfo");
    expectRaise([&] { cab.GetXML(""); }, "CabFile.GetXML");
    EXPECT_FALSE(cab.Extract("", "", ""));
    ASSERT_EQ(view.messages.size(), 2u);
    EXPECT_EQ(view.messages[0].text, kBox);
    EXPECT_EQ(view.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(view.messages[1].text, std::string("-2147219548/") + kNameNotSet);
    EXPECT_EQ(view.messages[1].icon, MsgIcon::Warning);
    EXPECT_FALSE(view.messages[1].title.has_value());
}

TEST_F(CabFileTest, MissingCabinetFromEachOperation) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName((temp.path() / "none.cab").string());
    try {
        cab.GetXML("");
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), 2);
        EXPECT_EQ(e.source(), "CabFile.GetXML");
        EXPECT_EQ(e.description(), "The system cannot find the file specified.");
    }
    EXPECT_FALSE(cab.Extract("", "", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "2/The system cannot find the file specified."}));
    EXPECT_EQ(view.messages[0].buttons, MsgButtons::Ok);
}

TEST_F(CabFileTest, GetInfoReportsEveryFileInStoredOrder) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("dates_fixed.cab"));
    Listen(cab);
    EXPECT_TRUE(cab.GetInfo(""));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].name, "afternoon.txt");
    EXPECT_EQ(events[0].path, "");
    EXPECT_EQ(events[0].size, 1);
    EXPECT_EQ(DateToCalendar({events[0].date}), (CabCalendar{2024, 2, 29, 14, 30, 0}))
        << "the stored wall-clock time, whatever the time zone";
    EXPECT_EQ(events[3].name, "invalid_date.txt");
    EXPECT_EQ(iterator.announced, 4);

    // The same stored time under zones on both sides of UTC.
    const char* savedZone = std::getenv("TZ");
    const std::string saved = savedZone != nullptr ? savedZone : "";
    for (const char* zone : {"XYZ-05:30", "ABC+11", "UTC0"}) {
        setenv("TZ", zone, 1);
        tzset();
        events.clear();
        EXPECT_TRUE(cab.GetInfo("afternoon.txt"));
        ASSERT_EQ(events.size(), 1u) << zone;
        EXPECT_EQ(DateToCalendar({events[0].date}), (CabCalendar{2024, 2, 29, 14, 30, 0})) << zone;
        EXPECT_NE(cab.GetXML("afternoon.txt").find("<DATE>29.2.2024. 14:30:00</DATE>"),
                  std::string::npos)
            << zone;
    }
    if (savedZone != nullptr) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST_F(CabFileTest, GetInfoMatchesTheWholeStoredNameInAnyCaseAndStopsThere) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(cabtest::MakeGcabCabinet(
        sources, (temp.path() / "m.cab").string(),
        {{"one.txt", "1"}, {"two.txt", "22"}, {"data/X.txt", "333"}, {"data/x.txt.bak", "4444"}},
        false));
    Listen(cab);
    EXPECT_TRUE(cab.GetInfo("DATA\\x.TXT"));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (Found{"X.txt", events[0].date, 3, "data\\"}));
    EXPECT_EQ(iterator.announced, 3) << "the pass ends after the match";

    events.clear();
    EXPECT_TRUE(cab.GetInfo("x.txt"));
    EXPECT_TRUE(events.empty()) << "the name part alone does not match in GetInfo";
    EXPECT_EQ(iterator.announced, 4);
}

TEST_F(CabFileTest, GetXmlMatchesTheNamePartOnly) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("lzx_uncompressed_blocks.cab"));
    const std::string none = cab.GetXML("sub\\small.txt");
    EXPECT_EQ(none, "<?xml version=\"1.0\"?><CABFILE CABFILENAME = '" + cab.CabName() +
                        "'><FILES></FILES></CABFILE>");
    const std::string one = cab.GetXML("SMALL.TXT");
    EXPECT_EQ(one, "<?xml version=\"1.0\"?><CABFILE CABFILENAME = '" + cab.CabName() +
                       "'><FILES><FILE><FULLNAME>sub\\small.txt</FULLNAME><NAME>small.txt</NAME>"
                       "<DATE>29.2.2024. 14:30:00</DATE><SIZE>19</SIZE><PATH>sub\\</PATH></FILE>\r\n"
                       "</FILES></CABFILE>");

    cab.SetCabName(Fixture("dates_fixed.cab"));
    const std::string second = cab.GetXML("MIDNIGHT.TXT");
    EXPECT_NE(second.find("<NAME>midnight.txt</NAME>"), std::string::npos);
    EXPECT_EQ(iterator.announced, 2) << "the pass ends after the match";
}

TEST_F(CabFileTest, GetXmlExactDocument) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("dates_fixed.cab"));
    const std::string head = "<?xml version=\"1.0\"?><CABFILE CABFILENAME = '" + cab.CabName() + "'><FILES>";
    const auto file = [](const std::string& n, const std::string& d) {
        return "<FILE><FULLNAME>" + n + "</FULLNAME><NAME>" + n + "</NAME><DATE>" + d +
               "</DATE><SIZE>1</SIZE><PATH></PATH></FILE>\r\n";
    };
    EXPECT_EQ(cab.GetXML(""), head + file("afternoon.txt", "29.2.2024. 14:30:00") +
                                  file("midnight.txt", "31.12.2001.") +
                                  file("last_second.txt", "31.12.2107. 23:59:58") +
                                  file("invalid_date.txt", "1.1.1601.") + "</FILES></CABFILE>");
    cab.SetCabName(Fixture("empty_no_files.cab"));
    EXPECT_EQ(cab.GetXML(""), "<?xml version=\"1.0\"?><CABFILE CABFILENAME = '" + cab.CabName() +
                                  "'><FILES></FILES></CABFILE>");
}

TEST_F(CabFileTest, GetXmlCopiesAmpersandsApostrophesAndCroatianLetters) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(cabtest::MakeGcabCabinet(sources, (temp.path() / "it's.cab").string(),
                                            {{"R&D/it's šž.txt", "x"}, {"empty.txt", ""}}, true));
    const std::string xml = cab.GetXML("");
    EXPECT_NE(xml.find("CABFILENAME = '" + (temp.path() / "it's.cab").string() + "'>"), std::string::npos);
    EXPECT_NE(xml.find("<FULLNAME>R&D\\it's šž.txt</FULLNAME><NAME>it's šž.txt</NAME>"), std::string::npos);
    EXPECT_NE(xml.find("<SIZE>0</SIZE><PATH></PATH></FILE>\r\n</FILES>"), std::string::npos)
        << "zero-length file, last CR LF before the closing tag";
}

TEST_F(CabFileTest, Windows1250AndUtf8NamesBothReachTheUserAsText) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("names_cp1250_and_utf8.cab"));
    Listen(cab);
    EXPECT_TRUE(cab.GetInfo(""));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].path + events[0].name, "Čćžšđ\\Šđ.txt");
    EXPECT_EQ(events[1].path + events[1].name, "Čćžšđ\\Žč.txt");
    EXPECT_TRUE(cab.Extract("čćžšđ\\šđ.txt", temp.str(), ""));
    EXPECT_EQ(TempFolder::Read(temp.path() / "Čćžšđ" / "Šđ.txt"), "cp1250 name\r\n");
}

TEST_F(CabFileTest, ExtractIntoTheCabinetsFolderWithItsEvents) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    std::vector<std::string> before, after;
    cab.BeforeExtract = [&](const std::string& n, bool& cancel) {
        EXPECT_FALSE(cancel);
        before.push_back(n);
    };
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_TRUE(cab.Extract("", "", ""));
    const fs::path prog = temp.path() / "Prog";
    EXPECT_EQ(before, (std::vector<std::string>{"a.txt", "sub\\b.txt"}));
    EXPECT_EQ(after, (std::vector<std::string>{(prog / "a.txt").string(), (prog / "sub" / "b.txt").string()}));
    EXPECT_EQ(TempFolder::Read(prog / "a.txt"), "alpha");
    EXPECT_EQ(TempFolder::Read(prog / "sub" / "b.txt"), "beta");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(Callback::CurrentCabFile(), &cab) << "the object that ran the latest pass";
}

TEST_F(CabFileTest, ExtractIntoAGivenFolderAndName) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    const fs::path out = temp.path() / "Out" / "deep" / "er";  // missing, several levels
    EXPECT_TRUE(cab.Extract("SUB\\B.TXT", out.string(), ""));
    EXPECT_EQ(TempFolder::Read(out / "sub" / "b.txt"), "beta");
    EXPECT_FALSE(fs::exists(out / "a.txt"));

    EXPECT_TRUE(cab.Extract("a.txt", out.string() + "/", "renamed.txt"));
    EXPECT_EQ(TempFolder::Read(out / "renamed.txt"), "alpha");

    std::vector<std::string> after;
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_TRUE(cab.Extract("", out.string(), "same.txt"));
    EXPECT_EQ(after.size(), 2u) << "every file written to the one name, one after the other";
    EXPECT_EQ(TempFolder::Read(out / "same.txt"), "beta");
}

TEST_F(CabFileTest, BeforeExtractCancelsOneFileOnly) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    std::vector<std::string> after;
    cab.BeforeExtract = [](const std::string& n, bool& cancel) { cancel = n == "a.txt"; };
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_TRUE(cab.Extract("", "", ""));
    EXPECT_FALSE(fs::exists(temp.path() / "Prog" / "a.txt"));
    EXPECT_TRUE(fs::exists(temp.path() / "Prog" / "sub" / "b.txt"));
    EXPECT_EQ(after.size(), 1u);
}

TEST_F(CabFileTest, FolderThatCannotBeCreatedSkipsTheFileSilently) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    temp.Write("blocker", "a file where a folder level should be");
    std::vector<std::string> after;
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_TRUE(cab.Extract("", (temp.path() / "blocker" / "out").string(), ""));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(after.empty());
}

TEST_F(CabFileTest, FileInPlaceOfAFolderFailsTheWrite) {
    // Unpacked into a given folder, creating the folder reports "exists" as the platform does
    // for a file, so the write is tried and fails; the files before it stay.
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    temp.Write("Out/sub", "a file where the folder should be");
    EXPECT_FALSE(cab.Extract("", (temp.path() / "Out").string(), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "3/The system cannot find the path specified."}));
    EXPECT_EQ(TempFolder::Read(temp.path() / "Out" / "a.txt"), "alpha");
    EXPECT_EQ(TempFolder::Read(temp.path() / "Out" / "sub"), "a file where the folder should be");
}

TEST_F(CabFileTest, FileInPlaceOfAFolderFailsTheInstallationAndChangesNothing) {
    // Installed into the cabinet's folder, the folder is made when the files move into place.
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    temp.Write("Prog/sub", "a file where the folder should be");
    EXPECT_FALSE(cab.Extract("", "", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "82/The directory or file cannot be created."}));
    EXPECT_FALSE(fs::exists(temp.path() / "Prog" / "a.txt"));
    EXPECT_EQ(TempFolder::Read(temp.path() / "Prog" / "sub"), "a file where the folder should be");
}

TEST_F(CabFileTest, UnwritableTargetFailsWithBothBoxes) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    fs::create_directories(temp.path() / "Prog" / "sub" / "b.txt");
    std::vector<std::string> after;
    cab.AfterExtract = [&](const std::string& p) { after.push_back(p); };
    EXPECT_FALSE(cab.Extract("", "", ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "5/Access is denied."}));
    EXPECT_EQ(after.size(), 2u) << "both were unpacked; the second could not take its place";
    EXPECT_FALSE(fs::exists(temp.path() / "Prog" / "a.txt")) << "the first one was put back";
    EXPECT_TRUE(fs::is_directory(temp.path() / "Prog" / "sub" / "b.txt"));
}

TEST_F(CabFileTest, TargetPathLimitOf260Bytes) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(MakeProgCabinet());
    // Target = folder + "/" + "a.txt": pad the folder so that the target is 259, then 260 bytes.
    const std::string base = temp.str() + "/";
    const auto folderFor = [&](std::size_t targetLength) {
        std::string folder = base;
        const std::size_t padding = targetLength - base.size() - std::string("/a.txt").size();
        for (std::size_t done = 0; done < padding; done += 100) {
            if (done > 0) folder += "/";
            const std::size_t n = std::min<std::size_t>(padding - done, 100) - (done > 0 ? 1 : 0);
            folder += std::string(n, 'p');
        }
        return folder;
    };
    const std::string fits = folderFor(259);
    ASSERT_EQ(fits.size() + 6, 259u);
    EXPECT_TRUE(cab.Extract("a.txt", fits, ""));
    EXPECT_EQ(TempFolder::Read(fits + "/a.txt"), "alpha");

    const std::string tooLong = folderFor(260);
    ASSERT_EQ(tooLong.size() + 6, 260u);
    EXPECT_FALSE(cab.Extract("a.txt", tooLong, ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "9/Subscript out of range"}));
    EXPECT_FALSE(fs::exists(tooLong + "/a.txt"));
}

TEST_F(CabFileTest, NamesThatClimbOutAreNotWrittenAndFailThePass) {
    for (const char* fixture : {"traversal_dotdot.cab", "traversal_nested_dotdot.cab",
                                "traversal_absolute.cab", "traversal_drive.cab",
                                "traversal_forward_slash_dotdot.cab"}) {
        TempFolder area;
        const fs::path out = area.path() / "a" / "b" / "out";
        fs::create_directories(out);
        ScriptedView boxes;
        CabFile cab(boxes, iterator, realFiles);
        cab.SetCabName(Fixture(fixture));
        EXPECT_FALSE(cab.Extract("", out.string(), "")) << fixture;
        ASSERT_EQ(boxes.messages.size(), 2u) << fixture;
        EXPECT_EQ(boxes.messages[1].text,
                  "123/The filename, directory name, or volume label syntax is incorrect.")
            << fixture;
        EXPECT_TRUE(fs::exists(out / "ok.txt")) << fixture << ": the file before it stays";
        for (const auto& e : fs::recursive_directory_iterator(area.path()))
            EXPECT_NE(e.path().filename(), "evil.txt") << fixture << ": " << e.path();
        EXPECT_FALSE(fs::exists("/evil.txt"));
    }
}

TEST_F(CabFileTest, NamesWithControlCharactersAreNotWrittenAndFailThePass) {
    for (const char* fixture : {"control_esc.cab", "control_crlf.cab",
                                "control_bell_in_folder.cab", "control_c1_utf8.cab"}) {
        TempFolder area;
        ScriptedView boxes;
        CabFile cab(boxes, iterator, realFiles);
        cab.SetCabName(Fixture(fixture));
        EXPECT_EQ(cab.FileCount(), 2) << fixture << ": listed all the same";
        EXPECT_FALSE(cab.Extract("", area.str(), "")) << fixture;
        ASSERT_EQ(boxes.messages.size(), 2u) << fixture;
        EXPECT_EQ(boxes.messages[1].text,
                  "123/The filename, directory name, or volume label syntax is incorrect.")
            << fixture;
        // Only the good file before it; not even the bad name's folder.
        std::vector<std::string> written;
        for (const auto& e : fs::recursive_directory_iterator(area.path()))
            written.push_back(fs::relative(e.path(), area.path()).string());
        EXPECT_EQ(written, std::vector<std::string>{"ok.txt"}) << fixture;
    }
}

TEST_F(CabFileTest, DamagedCabinetKeepsFinishedFilesOnly) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("damaged_mszip_bad_checksum.cab"));
    EXPECT_FALSE(cab.Extract("", temp.str(), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "23/Data error (cyclic redundancy check)."}));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(temp.path())) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"first.txt"});
}

TEST_F(CabFileTest, HandlerErrorsComeOutWithTheOperationsSource) {
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(Fixture("dates_fixed.cab"));
    cab.FileFound = [](const std::string&, CabDateTime, std::int32_t, const std::string&) {
        throw AppError(7, "Owner", "Out of memory");
    };
    try {
        cab.GetInfo("");
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), 7);
        EXPECT_EQ(e.source(), "CabFile.GetInfo");
        EXPECT_EQ(e.description(), "Out of memory");
    }
    EXPECT_EQ(iterator.announced, 1) << "the error ends the pass";

    cab.BeforeExtract = [](const std::string&, bool&) { throw AppError(11, "Owner", "Division by zero"); };
    EXPECT_FALSE(cab.Extract("", temp.str(), ""));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kBox, "11/Division by zero"}));
}

TEST_F(CabFileTest, DestroyedObjectIsNoLongerCurrent) {
    {
        CabFile cab(view, iterator, realFiles);
        cab.SetCabName(Fixture("dates_fixed.cab"));
        cab.FileCount();
        EXPECT_EQ(Callback::CurrentCabFile(), &cab);
    }
    EXPECT_EQ(Callback::CurrentCabFile(), nullptr);
    cabinet_api::FILE_IN_CABINET_INFO info;
    EXPECT_EQ(Callback::CabinetCallback(0, cabinet_api::SPFILENOTIFY_FILEINCABINET,
                                        reinterpret_cast<std::uintptr_t>(&info), 0),
              0u);
}

}  // namespace
