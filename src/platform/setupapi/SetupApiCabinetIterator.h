#pragma once

#include <cstdint>
#include <string>

#include "platform/ICabinetIterator.h"

// The cabinet iterator over the Windows setup library (SetupIterateCabinetW), behaving as the
// libmspack iterator does on Linux. The callback sees UTF-8 paths and the stored name bytes.
//
// Where it goes beyond the bare library, and why:
// - Stored names and attributes come from the cabinet's own file records (CabinetDirectory):
//   the library decodes 8-bit names with the machine's code page, while this program's
//   cabinets store them in Windows-1250 (or UTF-8, flagged).
// - Cabinet and target paths with letters outside the machine's ANSI code page (a "č" on a
//   Western European Windows) reach the library in their short form, or through the system's
//   temporary folder (AnsiPaths): under its wide-character call the library works on ANSI
//   paths.
// - An answer of FILEOP_ABORT ends the pass as completed. Wine's library takes it for a skip
//   and goes on, so once the answer is given no further file reaches the callback.
// - A file is written under a temporary name in its target folder and renamed
//   (MoveFileExW, replacing) when it is whole, so a damaged cabinet or a full disk never
//   leaves half a file under the real name. A target folder that does not exist is an error
//   (3); the library is never relied on to create one.
// - A written file whose size differs from its record is damaged (Wine reports such a file as
//   written and fails the pass only afterwards), and fails with 23 when a data block of its
//   folder has a wrong checksum, else 13.
// - The stored date and time, as local time, become the written file's time (Wine's library
//   sets none).
// - Error numbers are those of the Linux iterator: cabinet missing 2, not a cabinet or cut
//   short 13, checksum failure 23 (the library reports some of these with no number at all).
class SetupApiCabinetIterator : public ICabinetIterator {
public:
    SetupApiCabinetIterator() = default;

    bool Iterate(const std::string& cabinetPath, cabinet_api::CabinetCallback callback,
                 std::uintptr_t context) override;
    std::uint32_t LastError() const override { return lastError_; }

private:
    std::uint32_t lastError_ = 0;
    unsigned tempCounter_ = 0;
};
