#include "run/LoggingView.h"

#include <cstdlib>
#include <string>

const char* LoggingView::IconName(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Error: return "error";
        case MsgIcon::Warning: return "warning";
        case MsgIcon::Information: return "information";
        case MsgIcon::Question: return "question";
        case MsgIcon::None: break;
    }
    return "none";
}

MsgAnswer LoggingView::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                   const std::optional<std::string>& title) {
    log_.Write("message", std::string(IconName(icon)) + '\t' + RunLog::Escape(title.value_or("")) +
                              '\t' + RunLog::Escape(text));
    const MsgAnswer answer = inner_.ShowMessage(text, icon, buttons, title);
    if (buttons == MsgButtons::YesNo) log_.Write("answer", answer == MsgAnswer::Yes ? "yes" : "no");
    return answer;
}

void LoggingView::EndProgram(int exitCode) {
    log_.Write("end", "exit status " + std::to_string(exitCode));
    inner_.EndProgram(exitCode);
    std::abort();  // not reached: EndProgram never returns, but the compiler cannot see that
}
