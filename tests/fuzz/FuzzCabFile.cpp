// The cabinet object over the libmspack iterator with any cabinet: the file list, the XML
// listing and the extraction of everything into a folder of the fuzzer's own, as the online
// update does with a downloaded cabinet. Nothing may be written outside that folder.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "cabinet/CabFile.h"
#include "common/AppError.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTempFolder.h"
#include "fuzz/FuzzView.h"
#include "platform/mspack/MspackCabinetIterator.h"
#include "platform/stdfs/StdFileSystem.h"

namespace {

// The installation's file system, handed in as the programs' wiring hands in theirs.
StdFileSystem realFiles;

namespace fs = std::filesystem;

// Only the cabinet and the extraction folder may stand in the fuzzer's folder after a run.
bool NothingBesides(const fs::path& folder, const fs::path& cabinet, const fs::path& output) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path() != cabinet && entry.path() != output) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzTempFolder& temp = FuzzTempFolder::Instance();
    const fs::path cabinet = temp.Write(
        "Tarvik.cab", std::string_view(reinterpret_cast<const char*>(data), size));
    const fs::path output = temp.Path() / "out";
    fs::create_directory(output);

    FuzzView view;
    MspackCabinetIterator iterator;
    CabFile cab(view, iterator, realFiles);
    cab.SetCabName(cabinet.string());
    cab.FileFound = [](const std::string&, CabDateTime, std::int32_t, const std::string&) {};
    // A damaged cabinet raises AppError, as the callers expect; anything else escapes and is
    // a finding.
    try {
        cab.FileCount();
        cab.GetInfo("");
        cab.GetXML("");
    } catch (const AppError&) {
    }
    cab.Extract("", output.string() + "/", "");

    FUZZ_CHECK(NothingBesides(temp.Path(), cabinet, output));
    fs::remove_all(output);
    return 0;
}
