#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/InstallJournal.h"
#include "common/AppError.h"
#include "platform/IFileSystem.h"

// One line for the run log about a step of an installation.
using InstallNote = std::function<void(const std::string& line)>;

// A move of the installation that failed, after everything done before it was undone (or as
// much of it as could be). The number and description are the Windows error's, as the
// cabinet object shows them.
class InstallFailure : public AppError {
public:
    InstallFailure(const AppError& error, std::string file, std::vector<std::string> notPutBack);
    const std::string& file() const { return file_; }  // relative path of the file that failed
    // Another program holds the file open (Tarvik.exe still running at the till).
    bool locked() const { return locked_; }
    // Files that could not be put back: the program folder is mixed until a later run undoes
    // the rest from the journal kept for it.
    const std::vector<std::string>& notPutBack() const { return notPutBack_; }

private:
    std::string file_;
    bool locked_;
    std::vector<std::string> notPutBack_;
};

// Carries out the moves of a journal below the program folder, and undoes them. Each file
// moves by one rename that never replaces a file: the data is never copied, and nothing is
// lost when a name is taken. Each rename done is recorded beside the journal (the progress
// file, flushed after every line), so that undoing touches only what was done: a file that is
// missing is never taken for one that was moved.
class InstallMoves {
public:
    InstallMoves(IFileSystem& files, std::string root, InstallNote note);
    ~InstallMoves();

    // Refuses, before anything moves, when a program the moves replace or remove is held open
    // by another process (Tarvik.exe running at the till): InstallFailure, locked, naming it.
    void CheckNotRunning(const InstallJournal& journal);

    // Every move in order. On the first failure it undoes what was done and raises
    // InstallFailure naming that file.
    void Apply(const InstallJournal& journal);

    // Puts back what this object's Apply did (after a failure past the moves), or, for an
    // object that did not apply the journal (the next run after a crash), what the progress
    // file records as done. Returns the files it could not put back; the folders the moves
    // made go when empty.
    std::vector<std::string> Undo(const InstallJournal& journal);

    // Closes the record of moves: the staging folder that holds it can then be removed on the
    // platform where an open file cannot be deleted. Later moves are no longer recorded.
    void CloseRecord() noexcept;

private:
    struct Op {
        std::size_t move;
        bool aside;  // the file in place to the backup; otherwise the incoming file into place
    };
    static std::vector<Op> OpsOf(const InstallJournal& journal);
    void Do(const InstallJournal& journal, const Op& op);
    bool DoneByEvidence(const InstallJournal& journal, const Op& op);
    bool UndoneByEvidence(const InstallJournal& journal, const Op& op);
    void UndoOne(const InstallJournal& journal, const Op& op);
    void ReadProgress(std::size_t opCount);
    void Record(const std::string& line);
    void RenamePatiently(const std::string& from, const std::string& to);
    void CheckNoLinkOnTheWay(const std::string& relative);
    std::string Path(const std::string& relative) const;
    std::string In(const std::string& folder, const std::string& relative) const;

    IFileSystem& files_;
    std::string root_;
    InstallNote note_;
    std::unique_ptr<IBinaryWriter> progress_;
    bool applied_ = false;
    std::size_t done_ = 0;        // ops done, in order
    std::vector<bool> undone_;    // by op
};
