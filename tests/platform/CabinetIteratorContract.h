#pragma once

// What every cabinet iterator of the program promises, run against each implementation: the
// records it lends, the answers it obeys, the files it leaves and the Windows numbers it
// reports. An implementation's test file instantiates the suite with its iterator type:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Name, CabinetIteratorContract, ::testing::Types<Iterator>);

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/CabinetTestSupport.h"
#include "common/Paths.h"
#include "platform/ICabinetIterator.h"
#include "support/TempFolder.h"

namespace cabinet_contract {

namespace fs = std::filesystem;

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
    std::function<std::uint32_t(const File&, cabinet_api::FILE_IN_CABINET_INFO&)> answer =
        [](const File&, cabinet_api::FILE_IN_CABINET_INFO&) { return cabinet_api::FILEOP_SKIP; };
    std::function<std::uint32_t(std::uint32_t)> extractedReply = [](std::uint32_t e) { return e; };
};

inline std::uint32_t Record(std::uintptr_t context, std::uint32_t notification,
                            std::uintptr_t param1, std::uintptr_t) noexcept {
    using namespace cabinet_api;
    auto& r = *reinterpret_cast<Recorder*>(context);
    r.notifications.push_back(notification);
    if (notification == SPFILENOTIFY_FILEINCABINET) {
        auto& info = *reinterpret_cast<FILE_IN_CABINET_INFO*>(param1);
        r.files.push_back(
            {info.NameInCabinet, info.FileSize, info.DosDate, info.DosTime, info.DosAttribs});
        return r.answer(r.files.back(), info);
    }
    if (notification == SPFILENOTIFY_FILEEXTRACTED) {
        auto& paths = *reinterpret_cast<FILEPATHS*>(param1);
        r.extracted.emplace_back(paths.Target, paths.Win32Error);
        return r.extractedReply(paths.Win32Error);
    }
    return 0;
}

inline bool Iterate(ICabinetIterator& it, const std::string& cab, Recorder& r) {
    return it.Iterate(cab, &Record, reinterpret_cast<std::uintptr_t>(&r));
}

// A native UTF-8 path of a folder below a test's temporary folder.
inline std::string Native(const fs::path& path) { return Utf8Path(path); }

// Answers FILEOP_DOIT with the file's name, flattened to one level ("sub\small.txt" becomes
// "sub_small.txt"), below `folder` (a native UTF-8 path).
inline auto ExtractInto(const std::string& folder) {
    return [folder](const Recorder::File& f, cabinet_api::FILE_IN_CABINET_INFO& info) {
        std::string flat = f.name;
        std::replace(flat.begin(), flat.end(), '\\', '_');
        const std::string target = JoinPath(folder, flat);
        std::strcpy(info.FullTargetName, target.c_str());
        return cabinet_api::FILEOP_DOIT;
    };
}

// The fixture generator's filler text (make_cabinet_fixtures.py, pattern()).
inline std::string Pattern(std::size_t size, std::uint64_t word) {
    std::string out;
    while (out.size() < size) {
        word = (word * 1103515245ull + 12345) & 0x7FFFFFFF;
        out += std::to_string(word % 1000) + " ";
    }
    out.resize(size);
    return out;
}

inline std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) names.push_back(Utf8Path(fs::relative(e.path(), folder)));
    std::sort(names.begin(), names.end());
    return names;
}

// The file's modification time as local calendar fields: year, month, day, hour, minute, second.
inline std::vector<int> LocalModificationTime(const fs::path& file) {
    const auto written = fs::last_write_time(file);
    const std::time_t when = std::chrono::system_clock::to_time_t(
        std::chrono::file_clock::to_sys(written));
    const std::tm local = *std::localtime(&when);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace cabinet_contract

template <class Iterator>
class CabinetIteratorContract : public ::testing::Test {
protected:
    Iterator it;
};

TYPED_TEST_SUITE_P(CabinetIteratorContract);

TYPED_TEST_P(CabinetIteratorContract, AnnouncesStoredNameBytesAndFieldsInStoredOrder) {
    using namespace cabinet_contract;
    Recorder r;
    ASSERT_TRUE(Iterate(this->it, cabtest::Fixture("names_cp1250_and_utf8.cab"), r));
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.notifications.front(), cabinet_api::SPFILENOTIFY_CABINETINFO);
    EXPECT_EQ(r.files[0].name, "\xC8\xE6\x9E\x9A\xF0\\\x8A\xF0.txt")
        << "Windows-1250 bytes as stored, whatever the machine's code page";
    EXPECT_EQ(r.files[0].attribs & cabinet_api::kAttribUtf8Name, 0);
    EXPECT_EQ(r.files[1].name, "Čćžšđ\\Žč.txt");
    EXPECT_EQ(r.files[1].attribs & cabinet_api::kAttribUtf8Name, cabinet_api::kAttribUtf8Name);
    EXPECT_EQ(r.files[0].size, 13);
    EXPECT_EQ(r.files[0].date, ((2024 - 1980) << 9) | (2 << 5) | 29);
    EXPECT_EQ(r.files[0].time, (14 << 11) | (30 << 5));
    EXPECT_EQ(this->it.LastError(), 0u);
}

TYPED_TEST_P(CabinetIteratorContract, AbortEndsThePassEarlyAsCompleted) {
    using namespace cabinet_contract;
    TempFolder out;
    Recorder r;
    const auto extract = ExtractInto(Native(out.path()));
    r.answer = [&](const Recorder::File& f, cabinet_api::FILE_IN_CABINET_INFO& info) {
        return f.name == "second.txt" ? cabinet_api::FILEOP_ABORT : extract(f, info);
    };
    EXPECT_TRUE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(r.files.size(), 2u) << "no file is announced after the abort";
    EXPECT_EQ(this->it.LastError(), 0u);
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"first.txt"});
}

TYPED_TEST_P(CabinetIteratorContract, ExtractsEveryCompressionItCanBeGiven) {
    using namespace cabinet_contract;
    TempFolder out;
    for (const char* cab : {"mszip_three_files.cab", "lzx_uncompressed_blocks.cab",
                            "quantum_literals.cab", "dates_fixed.cab"}) {
        Recorder r;
        const fs::path folder = out.path() / cab;
        fs::create_directories(folder);
        r.answer = ExtractInto(Native(folder));
        EXPECT_TRUE(Iterate(this->it, cabtest::Fixture(cab), r))
            << cab << " error " << this->it.LastError();
        for (const auto& [target, error] : r.extracted) EXPECT_EQ(error, 0u) << target;
    }
    const fs::path lzx = out.path() / "lzx_uncompressed_blocks.cab";
    EXPECT_EQ(fs::file_size(lzx / "big.txt"), 70001u);
    EXPECT_EQ(TempFolder::Read(lzx / "sub_small.txt"), "after the big one\r\n")
        << "LZX frames stay aligned across files";
    EXPECT_TRUE(TempFolder::Read(lzx / "big.txt") == Pattern(70001, 7))
        << "every byte, across the 32 KiB frame boundaries";
    const fs::path quantum = out.path() / "quantum_literals.cab";
    EXPECT_TRUE(TempFolder::Read(quantum / "big.txt") == Pattern(40001, 7))
        << "Quantum, across a frame boundary";
    EXPECT_EQ(TempFolder::Read(quantum / "sub_small.txt"), "after the big one\r\n");

    // The stored time, as local time, becomes the file's time; an impossible date is not set.
    const fs::path dates = out.path() / "dates_fixed.cab";
    EXPECT_EQ(LocalModificationTime(dates / "afternoon.txt"),
              std::vector<int>({2024, 2, 29, 14, 30, 0}));
    EXPECT_EQ(LocalModificationTime(dates / "midnight.txt"), std::vector<int>({2001, 12, 31, 0, 0, 0}));
    EXPECT_NE(LocalModificationTime(dates / "invalid_date.txt")[0], 2020);
}

TYPED_TEST_P(CabinetIteratorContract, CroatianLettersInTheTargetPath) {
    using namespace cabinet_contract;
    TempFolder out;
    const std::string folder = JoinPath(Native(out.path()), "Računi žđ");
    fs::create_directories(FsPath(folder));
    Recorder r;
    r.answer = ExtractInto(folder);
    ASSERT_TRUE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r))
        << this->it.LastError();
    ASSERT_EQ(r.extracted.size(), 3u);
    EXPECT_EQ(r.extracted[2].first, JoinPath(folder, "third.txt")) << "the UTF-8 path handed back";
    EXPECT_EQ(TempFolder::Read(FsPath(JoinPath(folder, "third.txt"))), "never reached\r\n");
}

TYPED_TEST_P(CabinetIteratorContract, DamagedCabinetsFailCleanly) {
    using namespace cabinet_contract;
    struct Row {
        const char* label;
        const char* fixture;
        std::uint32_t error;
        std::vector<std::string> left;  // files on disk afterwards
    };
    const Row rows[] = {
        {"missing cabinet", "no_such.cab", 2, {}},
        {"bad signature", "bad_signature.cab", 13, {}},
        {"header cut short", "truncated_header.cab", 13, {}},
        {"data cut short", "truncated_mszip_in_third_block.cab", 13, {"first.txt"}},
        {"deflate stream broken", "damaged_mszip_bad_deflate.cab", 13, {"first.txt"}},
        {"checksum does not match", "damaged_mszip_bad_checksum.cab", 23, {"first.txt"}},
        {"checksum, past reserved areas", "reserve_and_next_cabinet_bad_checksum.cab", 23,
         {"first.txt"}},
    };
    for (const Row& row : rows) {
        TempFolder out;
        Recorder r;
        r.answer = ExtractInto(Native(out.path()));
        EXPECT_FALSE(Iterate(this->it, cabtest::Fixture(row.fixture), r)) << row.label;
        EXPECT_EQ(this->it.LastError(), row.error) << row.label;
        EXPECT_EQ(FilesIn(out.path()), row.left)
            << row.label << ": no half-written file, no temporary";
    }
}

TYPED_TEST_P(CabinetIteratorContract, ReservedAreasAndSetNamesAreSteppedOver) {
    using namespace cabinet_contract;
    TempFolder out;
    Recorder r;
    r.answer = ExtractInto(Native(out.path()));
    ASSERT_TRUE(Iterate(this->it, cabtest::Fixture("reserve_and_next_cabinet.cab"), r))
        << this->it.LastError();
    ASSERT_EQ(r.files.size(), 3u);
    EXPECT_EQ(r.files[1].name, "second.txt");
    EXPECT_EQ(r.files[1].size, 40000);
    EXPECT_TRUE(TempFolder::Read(out.path() / "second.txt") == Pattern(40000, 2));
    EXPECT_EQ(TempFolder::Read(out.path() / "third.txt"), "never reached\r\n");
}

TYPED_TEST_P(CabinetIteratorContract, EmptyCabinetIsAPassWithoutFiles) {
    using namespace cabinet_contract;
    Recorder r;
    EXPECT_TRUE(Iterate(this->it, cabtest::Fixture("empty_no_files.cab"), r));
    EXPECT_TRUE(r.files.empty());
}

TYPED_TEST_P(CabinetIteratorContract, TheCallbacksReplyToAnExtractedFileDecides) {
    using namespace cabinet_contract;
    TempFolder out;
    Recorder r;
    r.answer = ExtractInto(Native(out.path()));
    r.extractedReply = [](std::uint32_t) { return 82u; };
    EXPECT_FALSE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(this->it.LastError(), 82u);
    EXPECT_EQ(r.extracted.size(), 1u) << "the pass stops at the first non-zero reply";
    EXPECT_EQ(r.files.size(), 1u);
}

TYPED_TEST_P(CabinetIteratorContract, TargetThatCannotBeWritten) {
    using namespace cabinet_contract;
    TempFolder out;
    fs::create_directories(out.path() / "first.txt");  // a folder where the file should go
    Recorder r;
    r.answer = ExtractInto(Native(out.path()));
    EXPECT_FALSE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(this->it.LastError(), 5u);
    ASSERT_EQ(r.extracted.size(), 1u);
    EXPECT_EQ(r.extracted[0].second, 5u);
    EXPECT_TRUE(fs::is_directory(out.path() / "first.txt"));
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{}) << "the temporary is gone";
}

TYPED_TEST_P(CabinetIteratorContract, ReplacesAnExistingFile) {
    using namespace cabinet_contract;
    TempFolder out;
    out.Write("first.txt", "an older version, longer than the new one and then some more");
    Recorder r;
    r.answer = ExtractInto(Native(out.path()));
    ASSERT_TRUE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_TRUE(TempFolder::Read(out.path() / "first.txt") == Pattern(32768, 1));
}

TYPED_TEST_P(CabinetIteratorContract, MissingTargetFolderAndNamesWithoutNul) {
    using namespace cabinet_contract;
    TempFolder out;
    Recorder r;
    r.answer = ExtractInto(JoinPath(JoinPath(Native(out.path()), "not"), "there"));
    EXPECT_FALSE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), r));
    EXPECT_EQ(this->it.LastError(), 3u) << "the iterator creates no folder";
    EXPECT_FALSE(fs::exists(out.path() / "not"));

    Recorder full;
    full.answer = [](const Recorder::File&, cabinet_api::FILE_IN_CABINET_INFO& info) {
        std::memset(info.FullTargetName, 'a', sizeof info.FullTargetName);
        return cabinet_api::FILEOP_DOIT;
    };
    EXPECT_FALSE(Iterate(this->it, cabtest::Fixture("mszip_three_files.cab"), full));
    EXPECT_EQ(this->it.LastError(), 111u);
}

REGISTER_TYPED_TEST_SUITE_P(CabinetIteratorContract, AnnouncesStoredNameBytesAndFieldsInStoredOrder,
                            AbortEndsThePassEarlyAsCompleted, ExtractsEveryCompressionItCanBeGiven,
                            CroatianLettersInTheTargetPath, DamagedCabinetsFailCleanly,
                            ReservedAreasAndSetNamesAreSteppedOver, EmptyCabinetIsAPassWithoutFiles,
                            TheCallbacksReplyToAnExtractedFileDecides, TargetThatCannotBeWritten,
                            ReplacesAnExistingFile, MissingTargetFolderAndNamesWithoutNul);
