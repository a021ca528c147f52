// The libmspack iterator on its own: the notifications and records it lends, the answers it
// obeys, and the Windows numbers it leaves after a failure, with faults injected through its
// file-system seam.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/CabinetTestSupport.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "support/TempFolder.h"

using namespace cabinet_api;
namespace fs = std::filesystem;

namespace {

// Records every notification; decides the answer for each announced file.
struct Recorder {
    struct File {
        std::string name;
        std::int32_t size;
        std::uint16_t date, time, attribs;
    };
    std::vector<std::uint32_t> notifications;
    std::vector<File> files;
    std::vector<std::pair<std::string, std::uint32_t>> extracted;
    std::function<std::uint32_t(const File&, FILE_IN_CABINET_INFO&)> answer =
        [](const File&, FILE_IN_CABINET_INFO&) { return FILEOP_SKIP; };
    std::function<std::uint32_t(std::uint32_t)> extractedReply = [](std::uint32_t e) { return e; };
};

std::uint32_t Record(std::uintptr_t context, std::uint32_t notification, std::uintptr_t param1,
                     std::uintptr_t) noexcept {
    auto& r = *reinterpret_cast<Recorder*>(context);
    r.notifications.push_back(notification);
    if (notification == SPFILENOTIFY_FILEINCABINET) {
        auto& info = *reinterpret_cast<FILE_IN_CABINET_INFO*>(param1);
        r.files.push_back({info.NameInCabinet, info.FileSize, info.DosDate, info.DosTime, info.DosAttribs});
        return r.answer(r.files.back(), info);
    }
    if (notification == SPFILENOTIFY_FILEEXTRACTED) {
        auto& paths = *reinterpret_cast<FILEPATHS*>(param1);
        r.extracted.emplace_back(paths.Target, paths.Win32Error);
        return r.extractedReply(paths.Win32Error);
    }
    return 0;
}

bool Iterate(MspackCabinetIterator& it, const std::string& cab, Recorder& r) {
    return it.Iterate(cab, &Record, reinterpret_cast<std::uintptr_t>(&r));
}

// Answers FILEOP_DOIT with the file's name below `folder`.
auto ExtractInto(const std::string& folder) {
    return [folder](const Recorder::File& f, FILE_IN_CABINET_INFO& info) {
        std::string flat = f.name;  // one level: "sub\\small.txt" becomes "sub_small.txt"
        std::replace(flat.begin(), flat.end(), '\\', '_');
        const std::string target = folder + "/" + flat;
        std::strcpy(info.FullTargetName, target.c_str());
        return FILEOP_DOIT;
    };
}

// The fixture generator's filler text (make_cabinet_fixtures.py, pattern()).
std::string Pattern(std::size_t size, std::uint64_t word) {
    std::string out;
    while (out.size() < size) {
        word = (word * 1103515245ull + 12345) & 0x7FFFFFFF;
        out += std::to_string(word % 1000) + " ";
    }
    out.resize(size);
    return out;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) names.push_back(fs::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(MspackCabinetIterator, AnnouncesStoredNamesBytesAndFieldsInStoredOrder) {
    MspackCabinetIterator it;
    Recorder r;
    ASSERT_TRUE(Iterate(it, cabtest::Fixture("names_cp1250_and_utf8.cab"), r));
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.notifications.front(), SPFILENOTIFY_CABINETINFO);
    EXPECT_EQ(r.files[0].name, "\xC8\xE6\x9E\x9A\xF0\\\x8A\xF0.txt") << "Windows-1250 bytes as stored";
    EXPECT_EQ(r.files[0].attribs & kAttribUtf8Name, 0);
    EXPECT_EQ(r.files[1].name, "Čćžšđ\\Žč.txt");
    EXPECT_EQ(r.files[1].attribs & kAttribUtf8Name, kAttribUtf8Name);
    EXPECT_EQ(r.files[0].size, 13);
    EXPECT_EQ(r.files[0].date, ((2024 - 1980) << 9) | (2 << 5) | 29);
    EXPECT_EQ(r.files[0].time, (14 << 11) | (30 << 5));
    EXPECT_EQ(it.LastError(), 0u);
}

TEST(MspackCabinetIterator, AbortEndsThePassEarlyAsCompleted) {
    MspackCabinetIterator it;
    Recorder r;
    r.answer = [](const Recorder::File& f, FILE_IN_CABINET_INFO&) {
        return f.name == "second.txt" ? FILEOP_ABORT : FILEOP_SKIP;
    };
    EXPECT_TRUE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(r.files.size(), 2u);
}

TEST(MspackCabinetIterator, ExtractsEveryCompressionItCanBeGiven) {
    TempFolder out;
    MspackCabinetIterator it;
    for (const char* cab : {"mszip_three_files.cab", "lzx_uncompressed_blocks.cab",
                            "quantum_literals.cab", "dates_fixed.cab"}) {
        Recorder r;
        const fs::path folder = out.path() / cab;
        fs::create_directories(folder);
        r.answer = ExtractInto(folder.string());
        EXPECT_TRUE(Iterate(it, cabtest::Fixture(cab), r)) << cab << " error " << it.LastError();
        for (const auto& [target, error] : r.extracted) EXPECT_EQ(error, 0u) << target;
    }
    EXPECT_EQ(fs::file_size(out.path() / "lzx_uncompressed_blocks.cab" / "big.txt"), 70001u);
    const std::string small = TempFolder::Read(out.path() / "lzx_uncompressed_blocks.cab" / "sub_small.txt");
    EXPECT_EQ(small, "after the big one\r\n") << "LZX frames stay aligned across files";
    const std::string big = TempFolder::Read(out.path() / "lzx_uncompressed_blocks.cab" / "big.txt");
    EXPECT_TRUE(big == Pattern(70001, 7)) << "every byte, across the 32 KiB frame boundaries";
    EXPECT_TRUE(TempFolder::Read(out.path() / "quantum_literals.cab" / "big.txt") == Pattern(40001, 7))
        << "Quantum, across a frame boundary";
    EXPECT_EQ(TempFolder::Read(out.path() / "quantum_literals.cab" / "sub_small.txt"),
              "after the big one\r\n");

    // The stored time, as local time, becomes the file's time; an impossible date is not set.
    struct stat st {};
    ASSERT_EQ(::stat((out.path() / "dates_fixed.cab" / "afternoon.txt").c_str(), &st), 0);
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    EXPECT_EQ(std::vector<int>({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec}),
              std::vector<int>({2024, 2, 29, 14, 30, 0}));
    ASSERT_EQ(::stat((out.path() / "dates_fixed.cab" / "invalid_date.txt").c_str(), &st), 0);
    localtime_r(&st.st_mtime, &local);
    EXPECT_NE(local.tm_year + 1900, 2020);
}

struct FailureRow {
    const char* label;
    const char* fixture;
    std::uint32_t error;
    std::vector<std::string> left;  // files on disk afterwards
};

TEST(MspackCabinetIterator, DamagedCabinetsFailCleanly) {
    const FailureRow rows[] = {
        {"missing cabinet", "no_such.cab", 2, {}},
        {"bad signature", "bad_signature.cab", 13, {}},
        {"header cut short", "truncated_header.cab", 13, {}},
        {"data cut short", "truncated_mszip_in_third_block.cab", 13, {"first.txt"}},
        {"deflate stream broken", "damaged_mszip_bad_deflate.cab", 13, {"first.txt"}},
        {"checksum does not match", "damaged_mszip_bad_checksum.cab", 23, {"first.txt"}},
    };
    for (const FailureRow& row : rows) {
        TempFolder out;
        MspackCabinetIterator it;
        Recorder r;
        r.answer = ExtractInto(out.str());
        EXPECT_FALSE(Iterate(it, cabtest::Fixture(row.fixture), r)) << row.label;
        EXPECT_EQ(it.LastError(), row.error) << row.label;
        EXPECT_EQ(FilesIn(out.path()), row.left) << row.label << ": no half-written file, no temporary";
    }
}

TEST(MspackCabinetIterator, EmptyCabinetIsAPassWithoutFiles) {
    MspackCabinetIterator it;
    Recorder r;
    EXPECT_TRUE(Iterate(it, cabtest::Fixture("empty_no_files.cab"), r));
    EXPECT_TRUE(r.files.empty());
}

TEST(MspackCabinetIterator, InjectedFaultsMapToWindowsNumbers) {
    struct Row {
        const char* label;
        int failRead, readErrno, failWrite, writeErrno;
        std::uint32_t error;
    };
    const Row rows[] = {
        {"disk full on the second file", 0, 0, 2, ENOSPC, 112},
        {"write fault", 0, 0, 2, EIO, 29},
        {"device read fault while reading data", 8, EIO, 0, 0, 30},
        {"device read fault in the header", 1, EIO, 0, 0, 30},
        {"read access refused", 1, EACCES, 0, 0, 5},
    };
    for (const Row& row : rows) {
        TempFolder out;
        MspackCabinetIterator it;
        it.FileSystem().faults = {row.failRead, row.readErrno, row.failWrite, row.writeErrno};
        Recorder r;
        r.answer = ExtractInto(out.str());
        EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r)) << row.label;
        EXPECT_EQ(it.LastError(), row.error) << row.label;
        for (const auto& name : FilesIn(out.path()))
            EXPECT_EQ(name, "first.txt") << row.label << ": only a finished file may stay";
        if (!r.extracted.empty() && row.failWrite != 0) {
            EXPECT_EQ(r.extracted.back().second, row.error) << row.label << ": FILEPATHS outcome";
        }
    }
}

TEST(MspackCabinetIterator, FailedCloseOfAWrittenFileFailsThatFile) {
    const std::pair<int, std::uint32_t> rows[] = {{EIO, 29}, {ENOSPC, 112}, {EDQUOT, 112}};
    for (const auto& [closeErrno, error] : rows) {
        TempFolder out;
        MspackCabinetIterator it;
        it.FileSystem().faults.failWriteCloseNumber = 2;
        it.FileSystem().faults.writeCloseErrno = closeErrno;
        Recorder r;
        r.answer = ExtractInto(out.str());
        EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r)) << closeErrno;
        EXPECT_EQ(it.LastError(), error) << closeErrno;
        ASSERT_EQ(r.extracted.size(), 2u) << closeErrno;
        EXPECT_EQ(r.extracted[1].second, error) << closeErrno << ": FILEPATHS outcome";
        EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"first.txt"}) << closeErrno;
    }
}

TEST(MspackCabinetIterator, TheCallbacksReplyToAnExtractedFileDecides) {
    TempFolder out;
    MspackCabinetIterator it;
    Recorder r;
    r.answer = ExtractInto(out.str());
    r.extractedReply = [](std::uint32_t) { return 82u; };
    EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(it.LastError(), 82u);
    EXPECT_EQ(r.extracted.size(), 1u) << "the pass stops at the first non-zero reply";
}

TEST(MspackCabinetIterator, TargetThatCannotBeWritten) {
    TempFolder out;
    fs::create_directories(out.path() / "first.txt");  // a folder where the file should go
    MspackCabinetIterator it;
    Recorder r;
    r.answer = ExtractInto(out.str());
    EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(it.LastError(), 5u);
    ASSERT_EQ(r.extracted.size(), 1u);
    EXPECT_EQ(r.extracted[0].second, 5u);
    EXPECT_TRUE(fs::is_directory(out.path() / "first.txt"));
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{}) << "the temporary is gone";
}

TEST(MspackCabinetIterator, MissingTargetFolderAndNamesWithoutNul) {
    TempFolder out;
    MspackCabinetIterator it;
    Recorder r;
    r.answer = ExtractInto(out.str() + "/not/there");
    EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(it.LastError(), 3u);

    Recorder full;
    full.answer = [](const Recorder::File&, FILE_IN_CABINET_INFO& info) {
        std::memset(info.FullTargetName, 'a', MAX_PATH);
        return FILEOP_DOIT;
    };
    EXPECT_FALSE(Iterate(it, cabtest::Fixture("mszip_three_files.cab"), full));
    EXPECT_EQ(it.LastError(), 111u);
}

}  // namespace
