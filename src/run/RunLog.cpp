#include "run/RunLog.h"

#include <ctime>
#include <fstream>

#include "common/Paths.h"
#include "common/Strings.h"

namespace {

// CR as "\r" and LF as "\n"; everything else, TABs between fields included, as it is.
std::string OneLine(std::string_view details) {
    std::string out;
    out.reserve(details.size());
    for (char c : details) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

RunLog::RunLog(std::string path) : path_(std::move(path)) {}

std::string RunLog::Escape(std::string_view text) {
    // Backslashes doubled first, so that an escape in the log never reads as a name's own text.
    return EscapeControls(ReplaceAll(text, "\\", "\\\\"));
}

void RunLog::Write(std::string_view kind, std::string_view details) {
    if (path_.empty()) return;
    std::lock_guard lock(mutex_);
    char stamp[32] = "0000-00-00 00:00:00";
    const std::time_t now = std::time(nullptr);
    // std::localtime shares one buffer; the mutex above serialises our use of it.
    if (const std::tm* local = std::localtime(&now)) {
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
    }
    std::ofstream out(FsPath(path_), std::ios::app | std::ios::binary);
    // A failed open or write is deliberately ignored: the log must never change an upgrade.
    if (!out) return;
    // Details come from files, servers and error texts; a line break in them would split the
    // event over several lines, so it is written the way message texts write theirs.
    out << stamp << '\t' << kind << '\t' << OneLine(details) << '\n';
}
