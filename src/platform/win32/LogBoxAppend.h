#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

// Additions to the end of a multi-line, word-wrapped EDIT box (the running log) in time that
// grows with their length, not with its square, also under Wine.
//
// A listing appends one entry per offered cabinet to one line: the box holds one paragraph of
// hundreds of thousands of characters. Wine's edit box, for every wrapped line it lays out,
// measures the whole rest of the paragraph from that line's start (ScriptStringAnalyse), and for
// every change that wraps a line it finds the word breaks of the whole text again (ScriptBreak
// over all of it). Text put in at once thus costs time that grows with its square, and each
// change costs time that grows with all the text before it. Hence:
// - the box breaks lines with a word-break procedure of its own, at spaces and tabs as an edit
//   box does, looking only at the characters around the break;
// - a long addition goes in as pieces of at most kLogBoxPieceChars characters, so that laying
//   out each piece measures only that piece's lines. A piece may end inside a word or a CR LF:
//   the box lays out again from the line before each insertion, so no line ends where a piece
//   ended unless it would anyway.
// On Windows both cost next to nothing: the pieces are a few hundred EM_REPLACESEL calls for the
// largest listing, and the lines break where the box's own procedure breaks them.

// Measured under Wine 8 with listings of 20,000 and 50,000 entries: pieces of 1,024 to 2,048
// characters spend most of their time in what every call costs whatever its length (the scroll
// bar drawn anew, walks over all the box's lines), pieces of 16,384 in measuring the rest of the
// piece for each of its lines; 4,096 cost least.
inline constexpr std::size_t kLogBoxPieceChars = 4096;

// Gives box the word-break procedure that the pieces rely on: set once, when the box is made.
void UseSpaceWordBreaks(HWND box);

// Puts text at the end of box, in pieces; the selection the user had is given back.
void AppendToLogBox(HWND box, std::wstring_view text);

// Sets the whole text of box: at once when it is short, else into the emptied box in pieces (a
// text kept while a listing was appended to it), shown from its start with the caret there, as
// SetWindowText leaves a box.
void SetLogBoxText(HWND box, std::wstring_view text);
