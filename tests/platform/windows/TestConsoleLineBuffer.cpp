// The console programs' output on a real console: Croatian letters reach the console's screen
// whole however the program's texts are cut into writes and flushes.
#include <gtest/gtest.h>

#include <windows.h>

#include <iostream>
#include <ostream>
#include <string>

#include "platform/ConsoleArguments.h"
#include "platform/windows/ConsoleLineBuffer.h"

namespace {

TEST(ConsoleLineBuffer, NeverCutsACharacter) {
    const struct {
        std::string text;
        std::size_t whole;
    } rows[] = {
        {"", 0},
        {"Vra", 3},
        {"Vra\xC4", 3},                 // ć cut after its first byte
        {"Vra\xC4\x87", 5},             // ć whole
        {"\xE2\x82", 0},                // € cut after two of three
        {"\xE2\x82\xAC", 3},
        {"a\xF0\x9F\x98", 1},           // a four-byte character cut after three
        {"a\xF0\x9F\x98\x80", 5},
        {"\x87", 1},                    // a stray continuation byte: shown as a replacement
        {"x\xFF", 2},                   // not UTF-8 at all: shown as a replacement
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ConsoleLineBuffer::WholeCharacters(row.text), row.whole) << row.text;
    }
}

// A console of the test's own, whose screen is read back after the writes.
class ConsoleScreen : public ::testing::Test {
protected:
    void SetUp() override {
        FreeConsole();
        if (!AllocConsole()) GTEST_SKIP() << "no console can be made here";
        screen_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        ASSERT_NE(screen_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(IsConsole(screen_));
        CONSOLE_SCREEN_BUFFER_INFO info{};
        ASSERT_TRUE(GetConsoleScreenBufferInfo(screen_, &info));
        start_ = info.dwCursorPosition;
        width_ = static_cast<DWORD>(info.dwSize.X);
    }
    void TearDown() override {
        if (screen_ != INVALID_HANDLE_VALUE) CloseHandle(screen_);
        FreeConsole();
    }

    // The characters of a screen line from the first line written on, trailing blanks cut.
    std::wstring Line(short index) const {
        std::wstring line(width_, L' ');
        DWORD read = 0;
        const COORD at{0, static_cast<SHORT>(start_.Y + index)};
        ReadConsoleOutputCharacterW(screen_, line.data(), width_, at, &read);
        line.resize(read);
        line.erase(line.find_last_not_of(L' ') + 1);
        return line;
    }

    HANDLE screen_ = INVALID_HANDLE_VALUE;
    COORD start_{};
    DWORD width_ = 0;
};

TEST_F(ConsoleScreen, CroatianLettersCutIntoSingleBytesArriveWhole) {
    ConsoleLineBuffer buffer(screen_);
    std::ostream out(&buffer);
    const std::string first = "[Error] Tarvik_Upg: Vraćanje datoteka programa nije uspjelo:";
    // Byte by byte, each byte flushed, as a stream that flushes after every insertion writes.
    for (const char c : first) out << c << std::flush;
    out << "\n" << "čćžšđ ČĆŽŠĐ\r\n" << "(y/n) " << std::flush;
    EXPECT_TRUE(out.good());
    EXPECT_EQ(Line(0), L"[Error] Tarvik_Upg: Vraćanje datoteka programa nije uspjelo:");
    EXPECT_EQ(Line(1), L"čćžšđ ČĆŽŠĐ");
    EXPECT_EQ(Line(2), L"(y/n)") << "a flushed question shows before its line ends";
}

TEST_F(ConsoleScreen, ALineIsWrittenWhenItEndsWithoutAFlush) {
    ConsoleLineBuffer buffer(screen_);
    std::ostream out(&buffer);
    out << "install: Škola Čakovec\\Tarvik.exe\n";
    EXPECT_EQ(Line(0), L"install: Škola Čakovec\\Tarvik.exe");
}

// The console outlives the program (the window it was started from): its code pages are put
// back as they were found.
TEST_F(ConsoleScreen, TheCodePagesAreUtf8WhileTheProgramRunsAndPutBackAfter) {
    ASSERT_TRUE(SetConsoleOutputCP(852));
    ASSERT_TRUE(SetConsoleCP(852));
    // The program's own start: its standard streams may be turned to this console; the test's
    // output goes on where it went.
    std::streambuf* const out = std::cout.rdbuf();
    std::streambuf* const err = std::cerr.rdbuf();
    ConsoleArguments(0, nullptr);
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    EXPECT_EQ(GetConsoleCP(), static_cast<UINT>(CP_UTF8));
    RestoreConsole();
    EXPECT_EQ(GetConsoleOutputCP(), 852u);
    EXPECT_EQ(GetConsoleCP(), 852u);
}

TEST(ConsoleLineBuffer, APipeIsNoConsole) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    EXPECT_FALSE(IsConsole(write));
    EXPECT_FALSE(IsConsole(nullptr));
    EXPECT_FALSE(IsConsole(INVALID_HANDLE_VALUE));
    CloseHandle(read);
    CloseHandle(write);
}

}  // namespace
