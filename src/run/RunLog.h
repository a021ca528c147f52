#pragma once

#include <mutex>
#include <string>
#include <string_view>

// The run log that support staff read afterwards: one line per event, appended to a file in the
// program folder as local time "YYYY-MM-DD HH:MM:SS", TAB, kind, TAB, details.
// Line breaks in the details are written as "\r" and "\n", so an event never spans two lines.
// A log that cannot be written is ignored: it never stops or changes an upgrade.
// Safe to call from several threads.
class RunLog {
public:
    // An empty path makes a log that writes nothing.
    explicit RunLog(std::string path = {});

    void Write(std::string_view kind, std::string_view details);

    // "\" as "\\", CR as "\r", LF as "\n", TAB as "\t", so that one event stays one line, and
    // the other control characters escaped as EscapeControls shows them (names from a server or
    // a cabinet may carry terminal escapes).
    static std::string Escape(std::string_view text);

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::mutex mutex_;
};
