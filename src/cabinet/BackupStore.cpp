#include "cabinet/BackupStore.h"

#include <algorithm>

#include "cabinet/CabinetTexts.h"
#include "cabinet/FolderTree.h"
#include "cabinet/InstallLayout.h"
#include "cabinet/StoredName.h"
#include "common/Paths.h"

namespace il = install_layout;

namespace backup_store {
namespace {

constexpr std::int32_t kNoBackup = 53;  // file not found
// After the label of the backup a restore puts back: the folder of the files it set aside.
constexpr const char* kSetAsideEnd = ".before-restore";

std::string BackupsFolder(const std::string& root) { return JoinPath(root, il::kBackups); }

std::string ManifestPath(const std::string& root, const std::string& label) {
    return JoinPath(BackupsFolder(root), label + il::kManifestSuffix);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<Backup> List(IFileSystem& files, const std::string& root) {
    std::vector<Backup> backups;
    if (!files.FolderExists(BackupsFolder(root))) return backups;
    for (const FolderEntry& entry : files.ListFolder(BackupsFolder(root))) {
        if (entry.isFolder || !EndsWith(entry.name, il::kManifestSuffix)) continue;
        // The label is the manifest's own file name, one plain level: what the text inside
        // says is not trusted to name the folder that a restore empties or a prune removes.
        const std::string label =
            entry.name.substr(0, entry.name.size() - std::string(il::kManifestSuffix).size());
        if (!stored_name::IsPlainRelative(label) ||
            label.find_first_of("\\/") != std::string::npos || files.IsLink(JoinPath(BackupsFolder(root), label)))
            continue;
        try {
            Backup backup;
            backup.manifest =
                InstallJournal::FromText(files.ReadAll(JoinPath(BackupsFolder(root), entry.name)));
            if (backup.manifest.kind != InstallJournal::Kind::Install ||
                backup.manifest.backup != JoinPath(il::kBackups, label))
                continue;  // not the manifest of the folder beside it
            backup.label = label;
            backup.sequence = backup.manifest.sequence;
            backups.push_back(std::move(backup));
        } catch (const AppError&) {
            // Not one of ours, or damaged: neither restored nor pruned, left for a person to see.
        }
    }
    std::sort(backups.begin(), backups.end(),
              [](const Backup& a, const Backup& b) { return a.sequence < b.sequence; });
    return backups;
}

std::int64_t NextSequence(IFileSystem& files, const std::string& root) {
    const std::vector<Backup> backups = List(files, root);
    return backups.empty() ? 1 : backups.back().sequence + 1;
}

std::string FreeLabel(IFileSystem& files, const std::string& root, std::string label) {
    for (char& c : label)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    if (label.empty() || label == "." || label == "..") label = "backup";
    std::string candidate = label;
    for (int n = 2; files.FolderExists(JoinPath(BackupsFolder(root), candidate)) ||
                    files.Exists(ManifestPath(root, candidate));
         ++n)
        candidate = label + "_" + std::to_string(n);
    return candidate;
}

void Prune(IFileSystem& files, const std::string& root, std::size_t keep, const InstallNote& note) {
    try {
        const std::vector<Backup> backups = List(files, root);
        for (std::size_t i = 0; i + keep < backups.size(); ++i) {
            const std::string& label = backups[i].label;
            folder_tree::Remove(files, JoinPath(BackupsFolder(root), label));
            files.Delete(ManifestPath(root, label));
            note("oldest backup removed: " + std::string(il::kBackups) + kPathSeparator + label);
        }
    } catch (const AppError& error) {
        note("backups not pruned: " + error.description());
    }
}

RestorePlan PlanRestoreOfLatest(IFileSystem& files, const std::string& root) {
    const std::vector<Backup> backups = List(files, root);
    if (backups.empty()) throw AppError(kNoBackup, "Restore", cabinet_text::kNoBackupText);
    const Backup& latest = backups.back();
    const std::string backupFolder = JoinPath(il::kBackups, latest.label);

    RestorePlan plan;
    InstallJournal& journal = plan.journal;
    journal.kind = InstallJournal::Kind::Restore;
    journal.label = latest.label;
    journal.sequence = latest.sequence;
    journal.incoming = backupFolder;
    // What is in place now is the store's: it is kept, in a folder of its own.
    journal.backup = JoinPath(il::kBackups, FreeLabel(files, root, latest.label + kSetAsideEnd));
    journal.oldFolders = latest.manifest.newFolders;
    for (const InstallJournal::Move& move : latest.manifest.moves) {
        const std::string inPlacePath = JoinPath(root, move.file);
        const bool inPlace = files.Exists(inPlacePath) || files.IsLink(inPlacePath);
        if (inPlace && move.stamp.size >= 0 && files.Stamp(inPlacePath) != move.stamp)
            plan.changedSince.push_back(move.file);
        if (move.step == InstallJournal::Step::Replace) {
            if (!files.Exists(JoinPath(JoinPath(root, backupFolder), move.file)))
                throw AppError(kNoBackup, "Restore",
                               std::string(cabinet_text::kIncompleteText) + ": " + move.file);
            journal.moves.push_back(
                {inPlace ? InstallJournal::Step::Replace : InstallJournal::Step::Put, move.file, {}});
        } else if (inPlace) {
            journal.moves.push_back({InstallJournal::Step::Remove, move.file, {}});
        }
    }
    return plan;
}

}  // namespace backup_store
