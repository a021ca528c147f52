#include "platform/windows/ConsoleLineBuffer.h"


#include "common/Utf16.h"

namespace {

// How many bytes a UTF-8 sequence has, by its first byte; 1 for a stray continuation byte or an
// invalid lead, which the conversion shows as U+FFFD.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

}  // namespace

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

ConsoleLineBuffer::~ConsoleLineBuffer() {
    // The program's last words: nobody is left to tell if the console refused them.
    Write(true);
}

std::size_t ConsoleLineBuffer::WholeCharacters(std::string_view utf8) {
    // Only the last three bytes can belong to a sequence that is not yet complete.
    const std::size_t size = utf8.size();
    const std::size_t from = size > 3 ? size - 3 : 0;
    for (std::size_t i = size; i > from; --i) {
        const auto last = static_cast<unsigned char>(utf8[i - 1]);
        if ((last & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        return i - 1 + SequenceLength(last) > size ? i - 1 : size;
    }
    return size;
}

ConsoleLineBuffer::int_type ConsoleLineBuffer::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
}

std::streamsize ConsoleLineBuffer::xsputn(const char* s, std::streamsize n) {
    if (failed_) return 0;
    kept_.append(s, static_cast<std::size_t>(n));
    if (std::string_view(s, static_cast<std::size_t>(n)).find('\n') != std::string_view::npos &&
        !Write(false)) {
        return 0;
    }
    return n;
}

int ConsoleLineBuffer::sync() { return !failed_ && Write(true) ? 0 : -1; }

bool ConsoleLineBuffer::Write(bool everything) {
    const std::size_t lineEnd = kept_.rfind('\n');
    std::size_t length = lineEnd == std::string::npos ? 0 : lineEnd + 1;
    if (everything) length = WholeCharacters(kept_);
    if (length == 0) return true;
    const bool written = WriteToConsole(std::string_view(kept_).substr(0, length));
    kept_.erase(0, length);
    if (!written) failed_ = true;
    return written;
}

bool ConsoleLineBuffer::WriteToConsole(std::string_view utf8) {
    std::wstring wide;
    wide.reserve(utf8.size() + 8);
    for (const wchar_t c : WideFromUtf8(utf8)) {
        if (c == L'\n' && (wide.empty() || wide.back() != L'\r')) wide.push_back(L'\r');
        wide.push_back(c);
    }
    const wchar_t* at = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
        // A console takes at most a few tens of kilobytes a call on older Windows.
        constexpr std::size_t kChunk = 8192;
        const DWORD count = static_cast<DWORD>(left < kChunk ? left : kChunk);
        DWORD done = 0;
        if (!WriteConsoleW(console_, at, count, &done, nullptr) || done == 0) return false;
        at += done;
        left -= done;
    }
    return true;
}
