#pragma once

#include <string>

#include "platform/HeadlessView.h"

// The view of the command-line tool: message boxes become lines on standard error.
class StderrView : public HeadlessView {
public:
    MsgAnswer ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                          const std::optional<std::string>& title) override;
    [[noreturn]] void EndProgram(int exitCode) override;
};
