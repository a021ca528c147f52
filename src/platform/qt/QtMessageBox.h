#pragma once

#include <string>

#include "platform/IView.h"

class QWidget;

// A modal message box over parent with the given icon and title, its buttons reading in
// Croatian ("U redu", "Da", "Ne"). Texts are UTF-8; CR LF and lone CR break lines as LF does.
MsgAnswer ShowQtMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                           MsgButtons buttons, const std::string& title);

// The window system's form of a text that uses Windows line ends.
std::string UnixLineEnds(const std::string& text);
