#include "support/PeFixture.h"

#include <cstdlib>

#ifdef _WIN32
#include <filesystem>
#include <system_error>

#include "common/Paths.h"

// Under Wine the Linux-side builder cannot be started: the build made one executable per
// version (PE_FIXTURE_DIR), and a version without one fails here, naming itself.
bool MakePeExe(const std::string& path, const std::string& version) {
    std::error_code error;
    std::filesystem::copy_file(
        std::filesystem::path(PE_FIXTURE_DIR) / ("Tarvik-" + version + ".exe"), FsPath(path),
        std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}
#else
bool MakePeExe(const std::string& path, const std::string& version) {
    const std::string command = std::string("/usr/bin/python3 '") + TEST_SUPPORT_DIR +
                                "/../../scripts/make-pe-exe' '" + path + "' --version " + version;
    return std::system(command.c_str()) == 0;
}
#endif
