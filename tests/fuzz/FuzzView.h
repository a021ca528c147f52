#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/HeadlessView.h"

// The view of the fuzzed cabinet object: every message box is answered "OK" unseen.
class FuzzView : public HeadlessView {
public:
    MsgAnswer ShowMessage(const std::string&, MsgIcon, MsgButtons buttons,
                          const std::optional<std::string>&) override {
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
    // The cabinet object never ends the program; if it did, that would be a finding.
    [[noreturn]] void EndProgram(int) override { std::abort(); }
};
