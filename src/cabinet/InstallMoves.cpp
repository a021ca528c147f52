#include "cabinet/InstallMoves.h"

#include <algorithm>

#include "cabinet/CabErrors.h"
#include "cabinet/FolderTree.h"
#include "cabinet/InstallLayout.h"
#include "cabinet/NameCompare.h"
#include "common/Paths.h"

namespace il = install_layout;

namespace {

using Step = InstallJournal::Step;
using std::chrono::milliseconds;

constexpr milliseconds kFirstPause{100};
constexpr milliseconds kLongestPause{2000};

// The seam speaks the file statements' numbers; the boxes of a failed unpacking speak the
// Windows numbers of the cabinet iterator, so a failed move reads like a failed write.
std::int32_t WindowsNumber(std::int32_t fileError) {
    switch (fileError) {
    case FileError::kFileNotFound: return 2;
    case FileError::kFileAlreadyOpen: return 32;  // sharing violation
    case FileError::kDiskFull: return 112;
    case FileError::kPermissionDenied: return 5;
    case FileError::kDeviceIo: return 29;
    default: return 82;  // cannot make (a name taken, a link on the way)
    }
}

std::string StepText(InstallJournal::Kind kind, Step step) {
    if (step == Step::Remove) return "removed ";
    if (kind == InstallJournal::Kind::Restore) return "restored ";
    return step == Step::Put ? "added " : "replaced ";
}

bool IsProgram(const std::string& file) {
    return file.size() > 4 && EqualsIgnoreCase(file.substr(file.size() - 4), ".exe");
}

// "done 12" / "undone 12": the number of the op.
bool ParseLine(const std::string& line, const std::string& key, std::size_t& number) {
    if (line.compare(0, key.size() + 1, key + " ") != 0 || line.size() == key.size() + 1)
        return false;
    std::size_t value = 0;
    for (std::size_t i = key.size() + 1; i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9' || value > 100000000) return false;
        value = value * 10 + static_cast<std::size_t>(line[i] - '0');
    }
    number = value;
    return true;
}

}  // namespace

InstallFailure::InstallFailure(const AppError& error, std::string file,
                               std::vector<std::string> notPutBack)
    : AppError(WindowsNumber(error.number()), "CabFile.Install",
               WinErrorText(WindowsNumber(error.number()))),
      file_(std::move(file)),
      locked_(error.number() == FileError::kFileAlreadyOpen),
      notPutBack_(std::move(notPutBack)) {}

InstallMoves::InstallMoves(IFileSystem& files, std::string root, InstallNote note)
    : files_(files), root_(std::move(root)), note_(std::move(note)) {}

InstallMoves::~InstallMoves() {
    CloseRecord();
}

void InstallMoves::CloseRecord() noexcept {
    try {
        if (progress_) progress_->Close();
    } catch (const std::exception&) {
        // Every line was flushed when it was written; the close adds nothing to lose.
    }
    progress_.reset();
}

std::string InstallMoves::Path(const std::string& relative) const {
    return JoinPath(root_, relative);
}

std::string InstallMoves::In(const std::string& folder, const std::string& relative) const {
    return JoinPath(JoinPath(root_, folder), relative);
}

std::vector<InstallMoves::Op> InstallMoves::OpsOf(const InstallJournal& journal) {
    std::vector<Op> ops;
    for (std::size_t i = 0; i < journal.moves.size(); ++i) {
        if (journal.moves[i].step != Step::Put) ops.push_back({i, true});
        if (journal.moves[i].step != Step::Remove) ops.push_back({i, false});
    }
    return ops;
}

void InstallMoves::CheckNotRunning(const InstallJournal& journal) {
    for (const InstallJournal::Move& move : journal.moves) {
        if (move.step == Step::Put || !IsProgram(move.file)) continue;
        if (files_.HeldOpenElsewhere(Path(move.file))) {
            note_(move.file + " is held open by a running program; nothing moved");
            throw InstallFailure(AppError(FileError::kFileAlreadyOpen, "InstallMoves",
                                          FileError::kFileAlreadyOpenText),
                                 move.file, {});
        }
    }
}

void InstallMoves::CheckNoLinkOnTheWay(const std::string& relative) {
    // A folder on the way that is a link would carry the move out of the program folder.
    const std::string parent = folder_tree::ParentOf(relative);
    if (parent.empty()) return;
    std::string::size_type pos = 0;
    for (;;) {
        pos = parent.find(kPathSeparator, pos);
        if (files_.IsLink(Path(parent.substr(0, pos))))
            throw AppError(FileError::kPathFileAccess, "InstallMoves",
                           "A folder on the way is a link: " + parent.substr(0, pos));
        if (pos == std::string::npos) return;
        ++pos;
    }
}

void InstallMoves::RenamePatiently(const std::string& from, const std::string& to) {
    milliseconds waited{0};
    milliseconds pause = kFirstPause;
    for (;;) {
        try {
            files_.Rename(from, to);
            if (waited.count() > 0)
                note_("moved " + LastPathComponent(from) + " after waiting " +
                      std::to_string(waited.count()) + " ms");
            return;
        } catch (const AppError& error) {
            const milliseconds patience = files_.PatienceFor(error);
            if (waited >= patience) throw;
            if (waited.count() == 0)
                note_(LastPathComponent(from) + " is held by another program (" +
                      std::to_string(error.number()) + "/" + error.description() +
                      "); trying again for up to " +
                      std::to_string(patience.count() / 1000) + " s");
            const milliseconds step = std::min(pause, patience - waited);
            files_.Pause(step);
            waited += step;
            pause = std::min(pause * 2, kLongestPause);
        }
    }
}

void InstallMoves::Record(const std::string& line) {
    if (!progress_) return;
    const std::string text = line + "\n";
    progress_->Write(text.data(), text.size());
    progress_->Flush();
}

void InstallMoves::Do(const InstallJournal& journal, const Op& op) {
    const std::string& file = journal.moves[op.move].file;
    if (op.aside) {
        const std::string saved = JoinPath(journal.backup, file);
        CheckNoLinkOnTheWay(file);
        CheckNoLinkOnTheWay(saved);
        folder_tree::Ensure(files_, root_, folder_tree::ParentOf(saved));
        RenamePatiently(Path(file), Path(saved));
    } else {
        CheckNoLinkOnTheWay(JoinPath(journal.incoming, file));
        CheckNoLinkOnTheWay(file);
        RenamePatiently(In(journal.incoming, file), Path(file));
    }
}

void InstallMoves::Apply(const InstallJournal& journal) {
    const std::vector<Op> ops = OpsOf(journal);
    applied_ = true;
    done_ = 0;
    undone_.assign(ops.size(), false);
    std::string current;  // the file the failing step concerns
    try {
        current = il::kProgress;
        progress_ = files_.OpenForWrite(In(il::kStaging, il::kProgress));
        for (const std::string& folder : journal.newFolders) {
            current = folder;
            CheckNoLinkOnTheWay(folder);
            files_.CreateFolder(Path(folder));
        }
        for (std::size_t k = 0; k < ops.size(); ++k) {
            const InstallJournal::Move& move = journal.moves[ops[k].move];
            current = move.file;
            Do(journal, ops[k]);
            ++done_;
            Record("done " + std::to_string(k));
            if (k + 1 == ops.size() || ops[k + 1].move != ops[k].move)
                note_(StepText(journal.kind, move.step) + move.file);
        }
    } catch (const AppError& error) {
        note_("move of " + current + " failed: " + std::to_string(error.number()) + "/" +
              error.description() + "; putting back what was moved");
        std::vector<std::string> left = Undo(journal);
        throw InstallFailure(error, current, std::move(left));
    } catch (const std::exception& error) {
        // Out of memory and the like: the files are put back all the same.
        note_("move of " + current + " failed: " + error.what() + "; putting back what was moved");
        std::vector<std::string> left = Undo(journal);
        throw InstallFailure(AppError(FileError::kPathFileAccess, "InstallMoves", error.what()),
                             current, std::move(left));
    }
    // Folders that only held files now gone; one that cannot go is left and noted, the files
    // themselves are all in place.
    for (auto it = journal.oldFolders.rbegin(); it != journal.oldFolders.rend(); ++it) {
        try {
            if (!files_.IsLink(Path(*it)) && files_.FolderExists(Path(*it)) &&
                folder_tree::IsEmpty(files_, Path(*it)))
                files_.RemoveFolder(Path(*it));
        } catch (const AppError& error) {
            note_("folder " + *it + " left: " + error.description());
        }
    }
}

void InstallMoves::ReadProgress(std::size_t opCount) {
    const std::string path = In(il::kStaging, il::kProgress);
    std::string text;
    if (files_.Exists(path)) text = files_.ReadAll(path);
    done_ = 0;
    undone_.assign(opCount, false);
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line cut short: its step is judged below
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::size_t k = 0;
        if (ParseLine(line, "done", k) && k == done_ && k < opCount) ++done_;
        else if (ParseLine(line, "undone", k) && k < done_) undone_[k] = true;
    }
    // The steps put back are recorded after what the file says, never over it: written anew,
    // a crash in the middle would leave a record of fewer moves than were done, and the next
    // run would take the backup of files still in place for a backup of nothing.
    progress_ = files_.OpenForAppend(path);
    if (!text.empty() && text.back() != '\n') Record("");  // ends a line cut short
}

bool InstallMoves::DoneByEvidence(const InstallJournal& journal, const Op& op) {
    // Only for the one step that may have been cut short between its rename and its line:
    // the run that did it held the folder's lock, so nobody else moved these files.
    const std::string& file = journal.moves[op.move].file;
    const auto present = [this](const std::string& path) {
        return files_.Exists(path) || files_.IsLink(path);
    };
    if (op.aside) return !present(Path(file)) && present(In(journal.backup, file));
    return !present(In(journal.incoming, file)) && present(Path(file));
}

bool InstallMoves::UndoneByEvidence(const InstallJournal& journal, const Op& op) {
    const std::string& file = journal.moves[op.move].file;
    const auto present = [this](const std::string& path) {
        return files_.Exists(path) || files_.IsLink(path);
    };
    if (op.aside) return !present(In(journal.backup, file)) && present(Path(file));
    return !present(Path(file)) && present(In(journal.incoming, file));
}

void InstallMoves::UndoOne(const InstallJournal& journal, const Op& op) {
    const std::string& file = journal.moves[op.move].file;
    if (UndoneByEvidence(journal, op)) return;
    if (op.aside) {
        CheckNoLinkOnTheWay(JoinPath(journal.backup, file));
        CheckNoLinkOnTheWay(file);
        folder_tree::Ensure(files_, root_, folder_tree::ParentOf(file));
        RenamePatiently(In(journal.backup, file), Path(file));
    } else {
        const std::string incoming = JoinPath(journal.incoming, file);
        CheckNoLinkOnTheWay(file);
        CheckNoLinkOnTheWay(incoming);
        folder_tree::Ensure(files_, root_, folder_tree::ParentOf(incoming));
        RenamePatiently(Path(file), Path(incoming));
    }
}

std::vector<std::string> InstallMoves::Undo(const InstallJournal& journal) {
    const std::vector<Op> ops = OpsOf(journal);
    std::vector<std::string> left;
    if (!applied_) {
        try {
            ReadProgress(ops.size());
        } catch (const AppError& error) {
            // Without its record nothing is known to have moved: nothing is touched, and the
            // journal stays for a person to see.
            note_("progress of the moves not readable: " + error.description());
            for (const InstallJournal::Move& move : journal.moves) left.push_back(move.file);
            return left;
        }
        if (done_ < ops.size() && DoneByEvidence(journal, ops[done_])) ++done_;
    }
    if (undone_.size() != ops.size()) undone_.assign(ops.size(), false);
    for (std::size_t k = done_; k-- > 0;) {
        if (undone_[k]) continue;
        const std::string& file = journal.moves[ops[k].move].file;
        try {
            UndoOne(journal, ops[k]);
            undone_[k] = true;
            note_("put back " + file);
        } catch (const AppError& error) {
            note_("could not put back " + file + ": " + std::to_string(error.number()) + "/" +
                  error.description());
            if (std::find(left.begin(), left.end(), file) == left.end()) left.push_back(file);
            continue;
        }
        try {
            Record("undone " + std::to_string(k));
        } catch (const AppError& error) {
            // The file is back; a later run that misses this line finds it back by evidence.
            note_("progress not recorded: " + error.description());
        }
    }
    for (auto it = journal.newFolders.rbegin(); it != journal.newFolders.rend(); ++it) {
        try {
            if (!files_.IsLink(Path(*it)) && files_.FolderExists(Path(*it)) &&
                folder_tree::IsEmpty(files_, Path(*it)))
                files_.RemoveFolder(Path(*it));
        } catch (const AppError& error) {
            // An empty folder left behind changes no program file; it is only noted.
            note_("folder " + *it + " left: " + error.description());
        }
    }
    return left;
}
