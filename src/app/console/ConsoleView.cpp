#include "app/console/ConsoleView.h"

#include <cstdlib>
#include <iostream>

#include "common/Strings.h"
#include "platform/ConsoleArguments.h"
#include "run/RunTexts.h"
#include "run/LoggingView.h"

namespace {

// Which controls carry status texts worth printing, and under which name.
const char* StatusName(Control c) {
    switch (c) {
        case Control::LblVerzija: return "LblVerzija";
        case Control::LblBaza: return "LblBaza";
        case Control::LblTablica: return "LblTablica";
        case Control::LblPozor: return "LblPozor";
        case Control::TxtRez: return "TxtRez";
        case Control::LblUkupno1: return "Ukupno";
        case Control::LblUkupno3: return "Do sada";
        default: return nullptr;
    }
}

// One printed line per status: line breaks shown as " | ", other control characters escaped
// (names from the update server reach the running log and must not drive the terminal).
std::string OneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\r' || text[i] == '\n') {
            if (!out.empty() && out.back() != ' ') out += " | ";
            continue;
        }
        out.push_back(text[i]);
    }
    return EscapeControls(out);
}

}  // namespace

ConsoleView::ConsoleView(std::istream& in, std::ostream& out, std::ostream& err)
    : in_(in), out_(out), err_(err) {}

void ConsoleView::SetText(Control c, const std::string& text) {
    const std::string before = Text(c);
    if (before == text) return;
    HeadlessView::SetText(c, text);
    PrintStatus(c, before, text);
}

void ConsoleView::AppendText(Control c, const std::string& text) {
    if (c != Control::TxtRez) {
        SetText(c, Text(c) + text);
        return;
    }
    // The running log prints what is new, without comparing the whole text each time.
    HeadlessView::AppendText(c, text);
    const std::string added = OneLine(text);
    if (!added.empty()) out_ << added << '\n' << std::flush;
}

void ConsoleView::PrintStatus(Control c, const std::string& before, const std::string& after) {
    const char* name = StatusName(c);
    if (name == nullptr || after.empty()) return;
    if (c == Control::LblUkupno3) {
        // The counter changes on every 512-byte read: print it at most once a second, and the
        // final value when the download completes.
        const auto now = std::chrono::steady_clock::now();
        const bool complete = ProgressMax() > 0 && std::to_string(static_cast<long long>(ProgressMax())) == after;
        if (!complete && now - lastCounter_ < std::chrono::seconds(1)) return;
        lastCounter_ = now;
    }
    // The running log grows by appending: print only what is new.
    if (c == Control::TxtRez && after.compare(0, before.size(), before) == 0) {
        const std::string added = OneLine(after.substr(before.size()));
        if (!added.empty()) out_ << added << '\n' << std::flush;
        return;
    }
    out_ << name << ": " << OneLine(after) << '\n' << std::flush;
}

MsgAnswer ConsoleView::ShowMessage(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                   const std::optional<std::string>& title) {
    err_ << '[' << LoggingView::IconName(icon) << "] " << title.value_or(run_text::kAppTitle)
         << ": " << OneLine(text) << '\n';
    if (buttons == MsgButtons::Ok) {
        err_ << std::flush;
        return MsgAnswer::Ok;
    }
    err_ << "(y/n) " << std::flush;
    std::string answer;
    if (!std::getline(in_, answer)) answer.clear();
    const bool yes = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    err_ << (yes ? "y" : "n") << '\n' << std::flush;
    return yes ? MsgAnswer::Yes : MsgAnswer::No;
}

void ConsoleView::EndProgram(int exitCode) {
    out_ << std::flush;
    err_ << std::flush;
    std::cout.flush();
    std::cerr.flush();
    // Ends at once, as the window program does: no destructors or exit handlers run, so the
    // console is put back as it was found here.
    RestoreConsole();
    std::_Exit(exitCode);
}
