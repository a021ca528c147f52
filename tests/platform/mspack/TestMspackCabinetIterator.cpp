// The libmspack iterator: the contract every cabinet iterator keeps, and the faults only its
// file-system seam can inject (a read, a write or a close that fails at a chosen moment).

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
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

// Fails the Nth read, write or close of a written file of one pass (counted from 1; 0 = never)
// with the reason given, standing between libmspack and the iterator's file-system seam: how a
// cabinet is damaged or a disk filled at a chosen moment.
class FaultySeam {
public:
    struct Faults {
        int failRead = 0;
        int readErrno = EIO;
        int failWrite = 0;
        int writeErrno = ENOSPC;
        int failWriteClose = 0;
        int writeCloseErrno = EIO;
    };

    FaultySeam(MspackFileSystem& seam, Faults faults)
        : seam_(seam), faults_(faults), real_(*seam.System()) {
        active_ = this;
        seam.System()->open = &Open;
        seam.System()->read = &Read;
        seam.System()->write = &Write;
        seam.System()->close = &Close;
    }
    ~FaultySeam() {
        *seam_.System() = real_;
        active_ = nullptr;
    }

private:
    static mspack_file* Open(mspack_system* self, const char* name, int mode) {
        mspack_file* file = active_->real_.open(self, name, mode);
        if (file != nullptr && mode != MSPACK_SYS_OPEN_READ) active_->written_.insert(file);
        return file;
    }
    static int Read(mspack_file* file, void* buffer, int bytes) {
        FaultySeam& s = *active_;
        if (++s.reads_ == s.faults_.failRead) return s.Fail(s.faults_.readErrno);
        return s.real_.read(file, buffer, bytes);
    }
    static int Write(mspack_file* file, void* buffer, int bytes) {
        FaultySeam& s = *active_;
        if (++s.writes_ == s.faults_.failWrite) return s.Fail(s.faults_.writeErrno);
        return s.real_.write(file, buffer, bytes);
    }
    static void Close(mspack_file* file) {
        FaultySeam& s = *active_;
        const bool written = s.written_.erase(file) > 0;
        s.real_.close(file);
        if (written && ++s.closes_ == s.faults_.failWriteClose)
            s.seam_.writeCloseErrno = s.seam_.lastErrno = s.faults_.writeCloseErrno;
    }
    int Fail(int error) {
        seam_.lastErrno = error;
        return -1;
    }

    static inline FaultySeam* active_ = nullptr;
    MspackFileSystem& seam_;
    Faults faults_;
    mspack_system real_;
    std::set<mspack_file*> written_;
    int reads_ = 0, writes_ = 0, closes_ = 0;
};

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
        FaultySeam seam(it.FileSystem(), {row.failRead, row.readErrno, row.failWrite, row.writeErrno});
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
        FaultySeam seam(it.FileSystem(), {.failWriteClose = 2, .writeCloseErrno = closeErrno});
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
