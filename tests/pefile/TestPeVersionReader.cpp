#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pefile/PeVersionReader.h"
#include "pefile/ProgramVersion.h"
#include "support/ScriptedView.h"
#include "support/TempFolder.h"

namespace {

const std::string kShellData = std::string(TEST_DATA_DIR) + "/shell/";
const std::string kBuilder = std::string(TEST_SUPPORT_DIR) + "/../../scripts/make-pe-exe";
const char* kMessage = "Nije moguće odrediti verziju datoteke.";
const char* kBoxTitle = "Velmora dizanje verzije.";

std::string Fixture(const std::string& name) { return kShellData + name; }

struct ValidCase {
    const char* label;
    const char* file;
    PeFileVersion version;
    const char* text;  // what GetProgramVersion makes of it
};

const ValidCase kValid[] = {
    {"Pe32", "pe32_version_3_0_0_12.exe", {3, 0, 0, 12}, "3.0.12"},
    {"Pe32Plus", "pe32plus_version_10_20_30_40.exe", {10, 20, 30, 40}, "10.20.40"},
    {"LargestParts",
     "pe32_version_65535_all_parts.exe",
     {65535, 65535, 65535, 65535},
     "65535.65535.65535"},
};

class ValidImage : public ::testing::TestWithParam<ValidCase> {};

TEST_P(ValidImage, ReadsTheFixedFileVersion) {
    const ValidCase& c = GetParam();
    const auto version = ReadPeFileVersion(Fixture(c.file));
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(*version, c.version);

    ScriptedView view;
    EXPECT_EQ(GetProgramVersion(view, Fixture(c.file)), c.text);
    EXPECT_TRUE(view.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ValidImage, ::testing::ValuesIn(kValid),
                         [](const auto& test) { return std::string(test.param.label); });

// Each fixture is a valid image with one thing broken (see tests/support/make-pe-fixtures).
const char* const kDamaged[] = {
    "empty.exe",
    "not_pe.txt",
    "dos_header_only.exe",
    "e_lfanew_beyond_end.exe",
    "bad_pe_signature.exe",
    "unknown_optional_header_magic.exe",
    "optional_header_size_beyond_end.exe",
    "two_data_directories.exe",
    "no_resource_directory.exe",
    "section_count_huge.exe",
    "section_raw_pointer_beyond_end.exe",
    "truncated_in_resource_directory.exe",
    "truncated_in_version_resource.exe",
    "truncated_after_fixed_file_info.exe",
    "resource_entry_count_huge.exe",
    "cyclic_resource_directory.exe",
    "resource_subdirectory_beyond_section.exe",
    "version_resource_size_overflows.exe",
    "version_resource_beyond_section.exe",
    "version_resource_too_small.exe",
    "version_length_shorter_than_fixed_info.exe",
    "no_fixed_file_info.exe",
    "wrong_version_key.exe",
    "bad_fixed_file_info_signature.exe",
    "no_version_resource.exe",
};

class DamagedImage : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedImage, IsAFailureWithTheMessage) {
    EXPECT_EQ(ReadPeFileVersion(Fixture(GetParam())), std::nullopt);

    ScriptedView view;
    EXPECT_EQ(GetProgramVersion(view, Fixture(GetParam())), "Err");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kMessage);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedImage, ::testing::ValuesIn(kDamaged),
                         [](const auto& test) {
                             std::string name = test.param;
                             for (char& ch : name) {
                                 if (ch == '.') ch = '_';
                             }
                             return name;
                         });

TEST(ProgramVersion, MissingFileShowsTheMessageAndGivesErr) {
    TempFolder folder;
    ScriptedView view;
    EXPECT_EQ(GetProgramVersion(view, (folder.path() / "Tarvik.exe").string()), "Err");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, kMessage);
    EXPECT_EQ(view.messages[0].title, kBoxTitle);
    EXPECT_EQ(view.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(view.messages[0].buttons, MsgButtons::Ok);
}

TEST(ProgramVersion, FolderInsteadOfFileGivesErr) {
    TempFolder folder;
    ScriptedView view;
    EXPECT_EQ(GetProgramVersion(view, folder.str()), "Err");
    EXPECT_EQ(view.messages.size(), 1u);
}

struct FormatCase {
    const char* label;
    const char* in;
    const char* out;
};

class FormatVersion : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatVersion, SkipsThePartAtPositionTwo) {
    EXPECT_EQ(FormatVersionText(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FormatVersion,
    ::testing::Values(FormatCase{"FourParts", "3.0.0.12", "3.0.12"},
                      FormatCase{"FourOtherParts", "1.2.3.4", "1.2.4"},
                      FormatCase{"ThreePartsKeepTheirTrailingDot", "a.b.c", "a.b."},
                      FormatCase{"TwoParts", "a.b", "a.b"}, FormatCase{"OnePart", "a", "a"},
                      FormatCase{"Empty", "", ""}),
    [](const auto& test) { return std::string(test.param.label); });

// Runs the project's builder; the committed fixtures came from it, and the demo and the driver's
// tests use it directly, so what it writes now must read the same.
std::string BuildImage(const TempFolder& folder, const std::string& name,
                       const std::string& arguments) {
    const std::string path = (folder.path() / name).string();
    const std::string command = "/usr/bin/python3 '" + kBuilder + "' '" + path + "' " + arguments;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

TEST(Builder, WritesImagesTheReaderReads) {
    TempFolder folder;
    const auto pe32 = BuildImage(folder, "pe32.exe", "--version 3.0.0.12");
    const auto pe32plus = BuildImage(folder, "pe32plus.exe", "--version 10.20.30.40 --pe32plus");
    const auto none = BuildImage(folder, "none.exe", "--version 3.0.0.12 --no-version");
    EXPECT_EQ(ReadPeFileVersion(pe32), (PeFileVersion{3, 0, 0, 12}));
    EXPECT_EQ(ReadPeFileVersion(pe32plus), (PeFileVersion{10, 20, 30, 40}));
    EXPECT_EQ(ReadPeFileVersion(none), std::nullopt);
}

// Debian's python3-pefile is an independent reader: the valid fixtures must give it the same
// file version as ours, so that they test real PE files and not only our reading of our builder.
TEST(IndependentReader, PefileReadsTheSameVersions) {
    TempFolder folder;
    const auto out = folder.path() / "pefile.txt";
    if (std::system("/usr/bin/python3 -c 'import pefile' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-pefile is not installed (scripts/setup installs it)";
    }
    for (const ValidCase& c : kValid) {
        const std::string script =
            "import pefile, sys\n"
            "ffi = pefile.PE(sys.argv[1]).VS_FIXEDFILEINFO[0]\n"
            "print('%d.%d.%d.%d' % (ffi.FileVersionMS >> 16, ffi.FileVersionMS & 0xFFFF,\n"
            "                       ffi.FileVersionLS >> 16, ffi.FileVersionLS & 0xFFFF), "
            "end='')\n";
        const auto scriptFile = folder.Write("read_version.py", script);
        const std::string command = "/usr/bin/python3 '" + scriptFile.string() + "' '" +
                                    Fixture(c.file) + "' > '" + out.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.label;
        EXPECT_EQ(TempFolder::Read(out), c.version.ToText()) << c.label;
        EXPECT_EQ(ReadPeFileVersion(Fixture(c.file))->ToText(), c.version.ToText()) << c.label;
    }
}

// Writes the bytes to a file of a new name. Rewriting one file in place would make the file
// system flush it to disk on every close (ext4 does so for a truncated file), which turns a
// thousand small writes into seconds of waiting.
std::filesystem::path WriteFresh(const TempFolder& folder, const std::string& bytes) {
    static int counter = 0;
    return folder.Write("image-" + std::to_string(++counter) + ".exe", bytes);
}

// Every prefix of a valid image: each must be refused or read right, never read outside the
// bytes it has (the sanitizer build checks that).
TEST(HostileInput, EveryTruncationIsRefusedOrReadRight) {
    TempFolder folder;
    for (const ValidCase& c : {kValid[0], kValid[1]}) {
        const std::string image = TempFolder::Read(Fixture(c.file));
        ASSERT_FALSE(image.empty());
        for (std::size_t length = 0; length < image.size(); ++length) {
            const auto path = WriteFresh(folder, image.substr(0, length));
            const auto version = ReadPeFileVersion(path.string());
            std::filesystem::remove(path);
            if (version) {
                EXPECT_EQ(*version, c.version) << c.label << " cut at " << length;
            }
        }
    }
}

// Deterministic mutations of the headers, the resource tree and the version resource: single
// bit flips and 32-bit fields overwritten with the values that break size arithmetic. The
// reader must come back from each (a loop would hang the test, a wild read fails under ASan).
TEST(HostileInput, MutatedImagesNeverCrashOrHang) {
    TempFolder folder;
    const std::uint32_t hostile[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0u, 0x80000018u};
    int mutants = 0;
    int stillRead = 0;
    for (const ValidCase& c : {kValid[0], kValid[1]}) {
        const std::string image = TempFolder::Read(Fixture(c.file));
        std::vector<std::string> variants;
        for (std::size_t bit = 0; bit < image.size() * 8; bit += 41) {
            std::string v = image;
            v[bit / 8] = static_cast<char>(v[bit / 8] ^ (1 << (bit % 8)));
            variants.push_back(std::move(v));
        }
        for (std::size_t at = 0; at + 4 <= image.size(); at += 36) {
            for (const std::uint32_t value : hostile) {
                std::string v = image;
                for (int i = 0; i < 4; ++i) v[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
                variants.push_back(std::move(v));
            }
        }
        for (const std::string& v : variants) {
            const auto path = WriteFresh(folder, v);
            if (ReadPeFileVersion(path.string())) ++stillRead;
            std::filesystem::remove(path);
            ++mutants;
        }
    }
    // Most bytes (code, padding, strings) do not matter to the reader; if nearly nothing still
    // read, the mutations would be testing only the first check.
    EXPECT_GT(stillRead, mutants / 4) << stillRead << " of " << mutants;
}

}  // namespace
