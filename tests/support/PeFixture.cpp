#include "support/PeFixture.h"

#include <cstdlib>

bool MakePeExe(const std::string& path, const std::string& version) {
    const std::string command = std::string("/usr/bin/python3 '") + TEST_SUPPORT_DIR +
                                "/../../scripts/make-pe-exe' '" + path + "' --version " + version;
    return std::system(command.c_str()) == 0;
}
