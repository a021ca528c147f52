#include "cabinet/InstallJournal.h"

#include <cstdint>
#include <sstream>

#include "cabinet/InstallLayout.h"
#include "cabinet/StoredName.h"
#include "common/AppError.h"
#include "common/Paths.h"

namespace {

constexpr const char* kMagic = "velmora-install-journal\t1";
constexpr std::int32_t kInvalidData = 13;
constexpr const char* kInvalidDataText = "Invalid data.";

const char* StepKey(InstallJournal::Step step) {
    switch (step) {
    case InstallJournal::Step::Put: return "put";
    case InstallJournal::Step::Replace: return "replace";
    case InstallJournal::Step::Remove: return "remove";
    }
    return "put";
}

[[noreturn]] void Invalid() { throw AppError(kInvalidData, "InstallJournal", kInvalidDataText); }

std::int64_t Number(const std::string& text) {
    std::int64_t value = 0;
    if (text.empty()) Invalid();
    for (char c : text) {
        if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) Invalid();
        value = value * 10 + (c - '0');
    }
    return value;
}

std::int64_t SignedNumber(const std::string& text) {
    if (!text.empty() && text.front() == '-') return -Number(text.substr(1));
    return Number(text);
}

// A path of the program folder's own files: relative levels only, none of them the tool's.
void CheckFile(const std::string& path) {
    if (!stored_name::IsPlainRelative(path) || stored_name::ReachesBookkeeping(path)) Invalid();
}

// A folder of the tool's own: `top` itself followed by exactly one plain level, or exactly
// `top` + `below` when that is given.
bool IsOwnFolder(const std::string& path, const char* top, const char* below) {
    const std::string prefix = std::string(top) + kPathSeparator;
    if (path.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = path.substr(prefix.size());
    if (below != nullptr) return rest == below;
    return stored_name::IsPlainRelative(rest) && rest.find_first_of("\\/") == std::string::npos;
}

void CheckPaths(const InstallJournal& journal) {
    namespace il = install_layout;
    const bool install = journal.kind == InstallJournal::Kind::Install;
    const bool incomingOk = install ? IsOwnFolder(journal.incoming, il::kStaging, il::kStagedFiles)
                                    : IsOwnFolder(journal.incoming, il::kBackups, nullptr);
    const bool backupOk = install ? IsOwnFolder(journal.backup, il::kBackups, nullptr)
                                  : IsOwnFolder(journal.backup, il::kBackups, nullptr) ||
                                        IsOwnFolder(journal.backup, il::kStaging, il::kSetAside);
    if (!incomingOk || !backupOk || journal.incoming == journal.backup) Invalid();
    for (const std::string& folder : journal.newFolders) CheckFile(folder);
    for (const std::string& folder : journal.oldFolders) CheckFile(folder);
    for (const InstallJournal::Move& move : journal.moves) CheckFile(move.file);
}

}  // namespace

std::string InstallJournal::ToText() const {
    std::ostringstream out;
    out << kMagic << '\n'
        << "kind\t" << (kind == Kind::Install ? "install" : "restore") << '\n'
        << "label\t" << label << '\n'
        << "sequence\t" << sequence << '\n'
        << "incoming\t" << incoming << '\n'
        << "backup\t" << backup << '\n';
    for (const std::string& folder : newFolders) out << "mkdir\t" << folder << '\n';
    for (const std::string& folder : oldFolders) out << "rmdir\t" << folder << '\n';
    for (const Move& move : moves) {
        out << StepKey(move.step) << '\t' << move.file << '\n';
        if (move.stamp.size >= 0)
            out << "stamp\t" << move.stamp.size << '\t' << move.stamp.time << '\n';
    }
    out << "end\n";  // a journal cut short by a crash while it was written has no end
    return out.str();
}

InstallJournal InstallJournal::FromText(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) Invalid();
    InstallJournal journal;
    bool ended = false;
    while (std::getline(in, line)) {
        if (line == "end") {
            ended = true;
            break;
        }
        const auto tab = line.find('\t');
        if (tab == std::string::npos) Invalid();
        const std::string key = line.substr(0, tab);
        const std::string value = line.substr(tab + 1);
        if (key == "kind") journal.kind = value == "restore" ? Kind::Restore : Kind::Install;
        else if (key == "label") journal.label = value;
        else if (key == "sequence") journal.sequence = Number(value);
        else if (key == "incoming") journal.incoming = value;
        else if (key == "backup") journal.backup = value;
        else if (key == "mkdir") journal.newFolders.push_back(value);
        else if (key == "rmdir") journal.oldFolders.push_back(value);
        else if (key == "put") journal.moves.push_back({Step::Put, value, {}});
        else if (key == "replace") journal.moves.push_back({Step::Replace, value, {}});
        else if (key == "remove") journal.moves.push_back({Step::Remove, value, {}});
        else if (key == "stamp" && !journal.moves.empty()) {
            const auto second = value.find('\t');
            if (second == std::string::npos) Invalid();
            journal.moves.back().stamp = {Number(value.substr(0, second)),
                                          SignedNumber(value.substr(second + 1))};
        } else Invalid();
    }
    if (!ended) Invalid();
    CheckPaths(journal);
    return journal;
}
