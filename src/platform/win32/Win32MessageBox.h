#pragma once

#include <windows.h>

#include <string>

#include "platform/IView.h"

// A modal message box with the given icon and title whose buttons read "U redu", "Da" and
// "Ne" whatever the language of Windows, and where Esc in a question answers "Ne". owner may be
// null (the box is then modal to the whole thread). Texts are UTF-8.
MsgAnswer ShowWin32MessageBox(HWND owner, const std::string& text, MsgIcon icon,
                              MsgButtons buttons, const std::string& title);

// The MessageBox style of a box with this icon and these buttons.
UINT MessageBoxStyle(MsgIcon icon, MsgButtons buttons);

// What a MessageBox result means to the program.
MsgAnswer AnswerOf(int result, MsgButtons buttons);

// Windows' line ends (CR LF) for every line break of text, whichever kind it had.
std::string WindowsLineEnds(const std::string& text);
