#pragma once

#include <string>

#include "platform/IView.h"

// The version text of a program file: the numbers of its file version with the third (the build
// number) left out, 3.0.0.12 giving 3.0.12. On failure it shows its message and returns "Err".
std::string GetProgramVersion(IView& view, const std::string& path);

// The formatting step alone: drops the part at position 2 of a dotted text (see the tests for
// texts with other than four parts).
std::string FormatVersionText(const std::string& fileVersionText);
