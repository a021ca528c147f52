// How long reading the program's file version takes on a large executable, against its peer,
// reading that file whole once (what a reader that loads the file would pay at the least).
// The reader reads only headers and a few small ranges, so its time must not grow with the file.
//
// The large image is the PE32 fixture with a 512 MiB hole before its resource section (a sparse
// file: nothing is written to disk, and the peer reads zero pages at memory speed, which favours
// the peer).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pefile/PeVersionReader.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kHole = 512ull << 20;

std::uint32_t U32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

void PutU32(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// The fixture with its .text section's raw data grown by kHole and .rsrc moved behind it.
std::string MakeLargeImage(const std::string& fixture, const std::filesystem::path& out) {
    std::ifstream in(fixture, std::ios::binary);
    std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::uint32_t lfanew = U32(image, 0x3C);
    const std::uint32_t sectionCount = U32(image, lfanew + 6) & 0xFFFF;
    const std::uint32_t table = lfanew + 24 + (U32(image, lfanew + 20) & 0xFFFF);
    std::uint32_t rsrcRaw = 0;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::size_t h = table + i * 40;
        if (image.compare(h, 5, ".text") == 0) PutU32(image, h + 16, U32(image, h + 16) + kHole);
        if (image.compare(h, 5, ".rsrc") == 0) {
            rsrcRaw = U32(image, h + 20);
            PutU32(image, h + 20, static_cast<std::uint32_t>(rsrcRaw + kHole));
        }
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(image.data(), rsrcRaw);
    file.seekp(static_cast<std::streamoff>(rsrcRaw + kHole));
    file.write(image.data() + rsrcRaw, static_cast<std::streamsize>(image.size() - rsrcRaw));
    return out.string();
}

// Median time of one call of `work`, in microseconds.
template <typename Work>
double MedianMicros(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    const std::string small = std::string(TEST_DATA_DIR) + "/shell/pe32_version_3_0_0_12.exe";
    const auto dir = std::filesystem::temp_directory_path() / "velmora-bench-pe";
    std::filesystem::create_directories(dir);
    const std::string large = MakeLargeImage(small, dir / "large.exe");

    const auto version = ReadPeFileVersion(large);
    if (!version || version->ToText() != "3.0.0.12") {
        std::fprintf(stderr, "the large image did not read as 3.0.0.12\n");
        return 1;
    }
    const double smallTime = MedianMicros(2000, [&] { (void)ReadPeFileVersion(small); });
    const double largeTime = MedianMicros(2000, [&] { (void)ReadPeFileVersion(large); });
    const double wholeRead = MedianMicros(3, [&] {
        std::ifstream in(large, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount()) {
        }
    });
    std::printf("file of %llu MiB: version read %.1f us, whole-file read %.0f us, ratio %.6f\n",
                static_cast<unsigned long long>(std::filesystem::file_size(large) >> 20), largeTime,
                wholeRead, largeTime / wholeRead);
    std::printf("file of 2 KiB: version read %.1f us; large / small %.2f\n", smallTime,
                largeTime / smallTime);
    std::filesystem::remove_all(dir);
    return 0;
}
