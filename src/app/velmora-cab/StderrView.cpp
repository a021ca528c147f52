#include "app/velmora-cab/StderrView.h"

#include <cstdlib>
#include <iostream>

MsgAnswer StderrView::ShowMessage(const std::string& text, MsgIcon, MsgButtons buttons,
                                  const std::optional<std::string>&) {
    std::cerr << text << '\n';
    // Nobody is there to answer: a question is declined.
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

void StderrView::EndProgram(int exitCode) {
    std::cerr.flush();
    std::exit(exitCode);
}
