#pragma once

#include <functional>
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
// moves by one rename: the data is never copied.
class InstallMoves {
public:
    InstallMoves(IFileSystem& files, std::string root, InstallNote note);

    // Every move in order. On the first failure it undoes what was done and raises
    // InstallFailure naming that file.
    void Apply(const InstallJournal& journal);

    // Puts back whatever the journal's moves have done so far, judging each file by where it is
    // found, so it serves a run cut short at any point as well as a failure in this one.
    // Returns the files it could not put back; the folders the moves made go when empty.
    std::vector<std::string> Undo(const InstallJournal& journal);

private:
    void ApplyOne(const InstallJournal& journal, const InstallJournal::Move& move);
    void UndoOne(const InstallJournal& journal, const InstallJournal::Move& move);
    std::string Path(const std::string& relative) const;
    std::string In(const std::string& folder, const std::string& relative) const;

    IFileSystem& files_;
    std::string root_;
    InstallNote note_;
};
