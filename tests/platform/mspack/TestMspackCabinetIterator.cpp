// The libmspack iterator: the contract every cabinet iterator keeps, and the faults only its
// file-system seam can inject (a read, a write or a close that fails at a chosen moment).

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/CabinetIteratorContract.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "support/TempFolder.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Mspack, CabinetIteratorContract,
                               ::testing::Types<MspackCabinetIterator>);

using namespace cabinet_api;
using namespace cabinet_contract;

namespace {

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

}  // namespace
