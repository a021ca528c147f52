#include "cabinet/InstallJournal.h"

#include <cstdint>
#include <sstream>

#include "common/AppError.h"

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
    for (const Move& move : moves) out << StepKey(move.step) << '\t' << move.file << '\n';
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
        else if (key == "put") journal.moves.push_back({Step::Put, value});
        else if (key == "replace") journal.moves.push_back({Step::Replace, value});
        else if (key == "remove") journal.moves.push_back({Step::Remove, value});
        else Invalid();
    }
    if (!ended) Invalid();
    return journal;
}
