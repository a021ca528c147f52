#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

// The plan of one installation (or restore) of files into the program folder, written to disk
// before the first file moves, so that a run cut short by a crash or a power cut can be undone
// by the next one. Every path in it is relative to the program folder and native.
struct InstallJournal {
    enum class Kind { Install, Restore };
    enum class Step {
        Put,      // the incoming file takes a place where nothing was
        Replace,  // the file in place moves to the backup, the incoming file takes its place
        Remove,   // the file in place moves to the backup, nothing comes in
    };
    struct Move {
        Step step = Step::Put;
        std::string file;
        // Of the incoming file, so that a later restore can tell the files changed since.
        // Size -1: not recorded (older manifests, restores).
        FileStamp stamp;
    };

    Kind kind = Kind::Install;
    std::string label;        // the backup's name: the version the installation replaces
    std::int64_t sequence = 0;  // orders the backups, oldest first
    std::string incoming;     // folder that holds the incoming files, below the same paths
    std::string backup;       // folder that receives the files moved out of place
    std::vector<std::string> newFolders;  // made by the moves, parents first
    std::vector<std::string> oldFolders;  // emptied by the moves and removed afterwards
    std::vector<Move> moves;

    // One line per field, TAB between key and value. Names cannot hold a line break, which a
    // cabinet name cannot either.
    std::string ToText() const;
    // Raises AppError (number 13, invalid data) for a text that is not a journal, and for one
    // with a path that could lead anywhere but to its own place in the program folder:
    // absolute, with a drive, a "..", "." or empty level, a control character, a move of the
    // tool's own bookkeeping, or folders of its own other than the ones a journal uses.
    // Damaged, edited by hand or planted, such a journal is never acted on.
    static InstallJournal FromText(const std::string& text);
};
