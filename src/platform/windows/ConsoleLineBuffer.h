#pragma once

#include <windows.h>

#include <streambuf>
#include <string>
#include <string_view>

// The output of a standard stream whose handle is a console window. The program's texts are
// UTF-8; written to a console as bytes, a few at a time, the console decodes each write alone
// and a letter whose bytes fall into two writes arrives as two wrong characters ("Vraćanje" as
// "VraÄ\u0087anje"). Here whole lines, and whatever is flushed, go to the console at once as
// UTF-16 with WriteConsoleW, which no code page can garble; a character is never cut, its
// missing bytes wait for the next write. Line ends become CR LF, as the console expects.
// Pipes and files do not get this buffer: they receive the UTF-8 bytes as they are.
class ConsoleLineBuffer : public std::streambuf {
public:
    explicit ConsoleLineBuffer(HANDLE console) : console_(console) {}
    ~ConsoleLineBuffer() override;
    ConsoleLineBuffer(const ConsoleLineBuffer&) = delete;
    ConsoleLineBuffer& operator=(const ConsoleLineBuffer&) = delete;

    // The length of utf8's longest beginning that ends with a whole character.
    static std::size_t WholeCharacters(std::string_view utf8);

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    // Writes every whole line kept; with everything, the rest too as far as it is whole
    // characters. False when the console refused the text.
    bool Write(bool everything);
    bool WriteToConsole(std::string_view utf8);

    HANDLE console_;
    std::string kept_;
    bool failed_ = false;
};

// True when handle is a console window (not a pipe, file or nothing).
bool IsConsole(HANDLE handle);
