#include "platform/win32/LogBoxAppend.h"

#include <algorithm>
#include <string>

namespace {

bool IsDelimiter(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// A line may break before `at` when a word starts there: after a run of delimiters. A CR LF is
// a delimiter like a space, so no break falls between its two characters.
bool WordStartsAt(const wchar_t* text, int at) {
    return at > 0 && IsDelimiter(text[at - 1]) && !IsDelimiter(text[at]);
}

// The edit box calls this while it lays out a line, with the rest of the paragraph (Wine) or
// the whole text (Windows) in text and count, and while the user moves by words.
int CALLBACK SpaceWordBreak(LPWSTR text, int at, int count, int action) {
    switch (action) {
        case WB_ISDELIMITER: return IsDelimiter(text[at]);
        case WB_LEFT:  // the start of the word left of at, strictly before it (0 at the start)
            if (at > 0) --at;
            while (at > 0 && !WordStartsAt(text, at)) --at;
            return at;
        case WB_RIGHT:  // the start of the next word at or after at (count at the end)
            while (at < count && text[at] != L'\0' && !WordStartsAt(text, at)) ++at;
            return at;
        default: return 0;
    }
}

}  // namespace

void UseSpaceWordBreaks(HWND box) {
    SendMessageW(box, EM_SETWORDBREAKPROC, 0, reinterpret_cast<LPARAM>(&SpaceWordBreak));
}

void AppendToLogBox(HWND box, std::wstring_view text) {
    DWORD selStart = 0;
    DWORD selEnd = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                 reinterpret_cast<LPARAM>(&selEnd));
    const int end = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), end);
    // Each piece leaves the caret after itself, where the next one goes. Put in without the undo
    // buffer, which would keep a copy of the log.
    for (std::size_t from = 0; from < text.size();) {
        std::size_t length = std::min(kLogBoxPieceChars, text.size() - from);
        // The two halves of a character outside the BMP go in together.
        if (from + length < text.size() && IS_HIGH_SURROGATE(text[from + length - 1])) --length;
        const std::wstring piece(text.substr(from, length));
        SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
        from += length;
    }
    SendMessageW(box, EM_SETSEL, selStart, static_cast<LPARAM>(selEnd));
}

void SetLogBoxText(HWND box, std::wstring_view text) {
    if (text.size() <= kLogBoxPieceChars) {
        SetWindowTextW(box, std::wstring(text).c_str());
        return;
    }
    SetWindowTextW(box, L"");
    AppendToLogBox(box, text);  // gives back the caret at the start
    SendMessageW(box, EM_SCROLLCARET, 0, 0);  // Windows' EM_SETSEL, unlike Wine's, does not scroll
}
