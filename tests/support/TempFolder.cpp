#include "support/TempFolder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

#include "common/Paths.h"

TempFolder::TempFolder(std::string_view name) {
    static std::atomic<int> counter{0};
    std::random_device rd;
    const auto unique = std::to_string(rd()) + "-" + std::to_string(counter++);
    path_ = std::filesystem::temp_directory_path() / (std::string(name) + "-" + unique);
    std::filesystem::create_directories(path_);
}

std::string TempFolder::str() const { return Utf8Path(path_); }

TempFolder::~TempFolder() {
    std::error_code ignored;  // a test's leftovers must not turn a pass into a crash
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(std::string_view relative, std::string_view bytes) const {
    const auto file = path_ / FsPath(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string TempFolder::Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
