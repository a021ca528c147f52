#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers with the semantics the program's texts rely on.

inline constexpr std::string_view kCrLf = "\r\n";

// Removes leading and trailing blanks (spaces only; tabs and line breaks stay).
std::string TrimBlanks(std::string_view text);

// Every occurrence of `from` (non-empty) replaced by `to`, scanning left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Control characters made visible, so that text from a server or a cabinet cannot move a
// terminal's cursor, change its colours or forge lines: CR, LF and TAB as "\r", "\n" and "\t",
// the other C0 controls and DEL as "\x1B" and the like, the C1 controls of UTF-8 text
// (U+0080 to U+009F) as "\u009B" and the like. Everything else, "\" included, stays as it is.
std::string EscapeControls(std::string_view utf8);

// Whether the text holds any of the control characters that EscapeControls shows escaped.
bool HasControlCharacters(std::string_view utf8);

// Characters counted as Unicode code points of UTF-8 text (what the user sees as the length).
std::size_t CharCount(std::string_view utf8);

// The UTF-16 units of a UTF-8 text, which Windows counts its path limit in: a character beyond
// U+FFFF takes two, every other one.
std::size_t Utf16Units(std::string_view utf8);

// The texts joined with `separator` between them ("ALFA, BETA" for ", ").
std::string Join(const std::vector<std::string>& texts, std::string_view separator);
