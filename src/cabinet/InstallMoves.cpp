#include "cabinet/InstallMoves.h"

#include "cabinet/CabErrors.h"
#include "cabinet/FolderTree.h"
#include "common/Paths.h"

namespace {

using Step = InstallJournal::Step;

// The seam speaks the file statements' numbers; the boxes of a failed unpacking speak the
// Windows numbers of the cabinet iterator, so a failed move reads like a failed write.
std::int32_t WindowsNumber(std::int32_t fileError) {
    switch (fileError) {
    case FileError::kFileNotFound: return 2;
    case FileError::kFileAlreadyOpen: return 32;  // sharing violation
    case FileError::kDiskFull: return 112;
    case FileError::kPermissionDenied: return 5;
    case FileError::kDeviceIo: return 29;
    default: return 82;  // cannot make
    }
}

std::string StepText(InstallJournal::Kind kind, Step step) {
    if (step == Step::Remove) return "removed ";
    if (kind == InstallJournal::Kind::Restore) return "restored ";
    return step == Step::Put ? "added " : "replaced ";
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

std::string InstallMoves::Path(const std::string& relative) const {
    return JoinPath(root_, relative);
}

std::string InstallMoves::In(const std::string& folder, const std::string& relative) const {
    return JoinPath(JoinPath(root_, folder), relative);
}

void InstallMoves::Apply(const InstallJournal& journal) {
    std::string current;  // the file the failing step concerns
    try {
        for (const std::string& folder : journal.newFolders) {
            current = folder;
            files_.CreateFolder(Path(folder));
        }
        for (const InstallJournal::Move& move : journal.moves) {
            current = move.file;
            ApplyOne(journal, move);
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
            if (files_.FolderExists(Path(*it)) && folder_tree::IsEmpty(files_, Path(*it)))
                files_.RemoveFolder(Path(*it));
        } catch (const AppError& error) {
            note_("folder " + *it + " left: " + error.description());
        }
    }
}

void InstallMoves::ApplyOne(const InstallJournal& journal, const InstallJournal::Move& move) {
    if (move.step != Step::Put) {
        folder_tree::Ensure(files_, root_,
                            JoinPath(journal.backup, folder_tree::ParentOf(move.file)));
        files_.Rename(Path(move.file), In(journal.backup, move.file));
    }
    if (move.step != Step::Remove) files_.Rename(In(journal.incoming, move.file), Path(move.file));
    note_(StepText(journal.kind, move.step) + move.file);
}

std::vector<std::string> InstallMoves::Undo(const InstallJournal& journal) {
    std::vector<std::string> left;
    for (auto it = journal.moves.rbegin(); it != journal.moves.rend(); ++it) {
        try {
            UndoOne(journal, *it);
        } catch (const AppError& error) {
            note_("could not put back " + it->file + ": " + std::to_string(error.number()) + "/" +
                  error.description());
            left.push_back(it->file);
        }
    }
    for (auto it = journal.newFolders.rbegin(); it != journal.newFolders.rend(); ++it) {
        try {
            if (files_.FolderExists(Path(*it)) && folder_tree::IsEmpty(files_, Path(*it)))
                files_.RemoveFolder(Path(*it));
        } catch (const AppError& error) {
            // An empty folder left behind changes no program file; it is only noted.
            note_("folder " + *it + " left: " + error.description());
        }
    }
    return left;
}

void InstallMoves::UndoOne(const InstallJournal& journal, const InstallJournal::Move& move) {
    const std::string target = Path(move.file);
    bool undone = false;
    if (move.step != Step::Remove) {
        const std::string incoming = In(journal.incoming, move.file);
        if (!files_.Exists(incoming) && files_.Exists(target)) {
            folder_tree::Ensure(files_, root_,
                                JoinPath(journal.incoming, folder_tree::ParentOf(move.file)));
            files_.Rename(target, incoming);
            undone = true;
        }
    }
    if (move.step != Step::Put) {
        const std::string saved = In(journal.backup, move.file);
        if (files_.Exists(saved) && !files_.Exists(target)) {
            folder_tree::Ensure(files_, root_, folder_tree::ParentOf(move.file));
            files_.Rename(saved, target);
            undone = true;
        }
    }
    if (undone) note_("put back " + move.file);
}
