#include "app/velmora-cab/ReleaseCheck.h"

#include <filesystem>
#include <iostream>
#include <optional>

#include "cabinet/CabFile.h"
#include "cabinet/NameCompare.h"
#include "cabinet/StoredName.h"
#include "app/velmora-cab/SignatureCommands.h"
#include "common/AppError.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "database/BatchSplitter.h"
#include "platform/HeadlessView.h"
#include "pefile/PeVersionReader.h"
#include "pefile/ProgramVersion.h"
#include "signing/CabinetSignature.h"
#include "signing/SignatureFile.h"
#include "upgradefile/SectionReader.h"

namespace {

constexpr const char* kProgramFile = "Tarvik.exe";
constexpr const char* kUpgradeFile = "Tarvik_Upg.Upg";
constexpr std::int32_t kFewestFilesOfFullUpgrade = 3;
constexpr std::size_t kShortestLabel = 13;

// The boxes the cabinet object would show become findings.
class FindingView : public HeadlessView {
public:
    explicit FindingView(std::vector<ReleaseFinding>& findings) : findings_(findings) {}
    MsgAnswer ShowMessage(const std::string& text, MsgIcon, MsgButtons,
                          const std::optional<std::string>&) override {
        findings_.push_back({ReleaseFinding::Kind::Error, "cabinet: " + text});
        return MsgAnswer::Ok;
    }
    [[noreturn]] void EndProgram(int) override {
        throw AppError(RuntimeError::kInternalError, "velmora-cab", "the cabinet object ended");
    }

private:
    std::vector<ReleaseFinding>& findings_;
};

// A folder of its own for the files taken out of the cabinet, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto base = std::filesystem::temp_directory_path();
        for (int n = 0;; ++n) {
            path_ = base / ("velmora-cab-check-" + std::to_string(n));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;  // a scratch folder left in the temporary folder harms nothing
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string str() const { return Utf8Path(path_); }

private:
    std::filesystem::path path_;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
std::string RemoveDots(const std::string& text) { return ReplaceAll(text, ".", ""); }

class ReleaseChecker {
public:
    ReleaseChecker(const std::string& path, ICabinetIterator& iterator, IFileSystem& files,
                   IUpdateCrypto& crypto, const std::vector<UpdateKey>& keys)
        : path_(path), iterator_(iterator), files_(files), crypto_(crypto), keys_(keys),
          view_(findings_) {}

    std::vector<ReleaseFinding> Run() {
        CheckName();
        if (ReadCabinet()) {
            CheckProgram();
            CheckUpgradeFile();
        }
        CheckSignature();
        return findings_;
    }

private:
    void Error(const std::string& text) { findings_.push_back({ReleaseFinding::Kind::Error, text}); }
    void Warning(const std::string& text) {
        findings_.push_back({ReleaseFinding::Kind::Warning, text});
    }
    void Note(const std::string& text) { findings_.push_back({ReleaseFinding::Kind::Note, text}); }

    // Tn, one character, the from-key, one character, the to-key, anything, ".cab": the store's
    // program compares characters 4-6 and 8-10 with its version without dots.
    void CheckName() {
        name_ = Utf8Path(FsPath(path_).filename());
        const bool scheme = name_.size() >= 14 && name_.compare(0, 2, "Tn") == 0 &&
                            name_.compare(name_.size() - 4, 4, ".cab") == 0 &&
                            IsDigit(name_[3]) && IsDigit(name_[4]) && IsDigit(name_[5]) &&
                            IsDigit(name_[7]) && IsDigit(name_[8]) && IsDigit(name_[9]);
        if (!scheme) {
            Error("name " + name_ +
                  " does not follow Tn_FFF_TTT.cab (3-digit from- and to-versions without dots)");
            return;
        }
        fromKey_ = name_.substr(3, 3);
        toKey_ = name_.substr(7, 3);
        if (name_.find('@') != std::string::npos || !SignableName(name_)) {
            Error("name " + name_ + " holds a character a store's program cannot take (@, a "
                  "folder or a control character)");
        }
        if (toKey_ <= fromKey_) {
            Warning("name " + name_ + " upgrades from " + fromKey_ + " to " + toKey_ +
                    ", which is not higher");
        }
    }

    bool ReadCabinet() {
        CabFile cab(view_, iterator_, files_);
        cab.SetCabName(path_);
        try {
            count_ = cab.FileCount();
            cab.FileFound = [this](const std::string& name, CabDateTime, std::int32_t,
                                   const std::string& folder) {
                stored_.push_back(folder + name);
            };
            cab.GetInfo("");
        } catch (const AppError& error) {
            Error("the cabinet cannot be read: " + std::to_string(error.number()) + "/" +
                  error.description());
            return false;
        }
        Note("the cabinet holds " + std::to_string(count_) + " files");
        for (const std::string& stored : stored_) {
            if (!stored_name::SafeToWrite(stored)) {
                Error("stored name " + EscapeControls(stored) +
                      " is one a store's program refuses to write (a path out of the folder, "
                      "a drive, a control character or a reserved name)");
            }
        }
        if (count_ < kFewestFilesOfFullUpgrade) {
            Warning("the cabinet holds fewer than " + std::to_string(kFewestFilesOfFullUpgrade) +
                    " files: after it the store's program ends and the database phase never runs");
        }
        return true;
    }

    bool Holds(const std::string& file) const {
        for (const std::string& stored : stored_) {
            if (EqualsIgnoreCase(stored, file)) return true;
        }
        return false;
    }

    // One file of the cabinet's top level, taken out into the scratch folder.
    std::optional<std::string> TakeOut(const std::string& file) {
        if (!Holds(file)) return std::nullopt;
        CabFile cab(view_, iterator_, files_);
        cab.SetCabName(path_);
        if (!cab.Extract(file, scratch_.str(), "")) return std::nullopt;
        const std::string taken = JoinPath(scratch_.str(), file);
        if (!std::filesystem::exists(FsPath(taken))) return std::nullopt;
        return taken;
    }

    void CheckProgram() {
        const std::optional<std::string> program = TakeOut(kProgramFile);
        if (!program) {
            Error(std::string("no ") + kProgramFile +
                  " in the cabinet: the store's version would stay as it was and the same "
                  "cabinet be chosen again");
            return;
        }
        const std::optional<PeFileVersion> version = ReadPeFileVersion(*program);
        if (!version) {
            Error(std::string(kProgramFile) + " carries no file version");
            return;
        }
        const std::string text = FormatVersionText(version->ToText());
        Note(std::string(kProgramFile) + " has version " + text);
        if (!toKey_.empty() && RemoveDots(text) != toKey_) {
            Error(std::string(kProgramFile) + " has version " + text + " (" + RemoveDots(text) +
                  "), but the name upgrades to " + toKey_);
        }
    }

    void CheckUpgradeFile() {
        const std::optional<std::string> file = TakeOut(kUpgradeFile);
        if (!file) {
            // A small cabinet ends the run before the database phase; a full one would run
            // the script of the upgrade file already in the folder, again.
            const std::string text = std::string("no ") + kUpgradeFile + " in the cabinet";
            if (count_ < kFewestFilesOfFullUpgrade) {
                Warning(text);
            } else {
                Error(text + ": the store's program would run the script it already ran");
            }
            return;
        }
        const std::string bytes = ReadWholeFile(*file);
        CheckLabel(bytes);
        CheckScript(bytes);
    }

    void CheckLabel(const std::string& bytes) {
        std::string body;
        if (!ExtractSection(bytes, "[Verzija]", body)) {
            Error(std::string(kUpgradeFile) + ": [Verzija] cannot be read: " +
                  SectionFault(scratch_.str(), "[Verzija]"));
            return;
        }
        // As the store's program makes it: blanks around the body go, then every line break.
        const std::string label = ReplaceAll(TrimBlanks(body), kCrLf, "");
        Note(std::string(kUpgradeFile) + ": label \"" + EscapeControls(label) + "\"");
        if (CharCount(label) < kShortestLabel) {
            Error("the label \"" + EscapeControls(label) + "\" is shorter than " +
                  std::to_string(kShortestLabel) + " characters");
        }
        const std::size_t slash = label.find(" / ");
        if (slash == std::string::npos) {
            Error("the label \"" + EscapeControls(label) + "\" is not of the form old / new");
            return;
        }
        const std::string from = RemoveDots(TrimBlanks(label.substr(0, slash)));
        const std::string to = RemoveDots(TrimBlanks(label.substr(slash + 3)));
        if (!fromKey_.empty() && (from != fromKey_ || to != toKey_)) {
            Error("the label \"" + EscapeControls(label) + "\" says " + from + " to " + to +
                  ", the name " + fromKey_ + " to " + toKey_);
        }
    }

    void CheckScript(const std::string& bytes) {
        std::string script;
        if (!ExtractSection(bytes, "[Akcija]", script)) {
            Error(std::string(kUpgradeFile) + ": [Akcija] cannot be read: " +
                  SectionFault(scratch_.str(), "[Akcija]"));
            return;
        }
        const SplitScript split = SplitBatches(script);
        if (split.batches.empty() && !HoldsStatement(split.remainder)) {
            Warning(std::string(kUpgradeFile) + ": [Akcija] is empty: no database is changed");
            return;
        }
        Note(std::string(kUpgradeFile) + ": [Akcija] splits into " +
             std::to_string(split.batches.size()) + " batches");
        if (HoldsStatement(split.remainder)) {
            Error(std::string(kUpgradeFile) +
                  ": [Akcija] has statements after its last -GO-, which are never sent");
        }
    }

    void CheckSignature() {
        const std::string sigPath = path_ + std::string(kSignatureSuffix);
        if (!std::filesystem::exists(FsPath(sigPath))) {
            Warning("no signature " + name_ + std::string(kSignatureSuffix) +
                    ": a program with the maker's keys built in refuses the cabinet");
            return;
        }
        if (keys_.empty()) {
            Warning("the signature is not checked: no key (give --key PUB.pem)");
            return;
        }
        const FileDigest file = DigestOfFile(crypto_, path_);
        const SignatureVerdict verdict = VerifyCabinetSignature(
            crypto_, keys_, ReadWholeFile(sigPath), name_, file.size, file.digest);
        if (verdict.valid) {
            Note("signature valid: " + verdict.reason);
        } else {
            Error("signature not valid: " + EscapeControls(verdict.reason));
        }
    }

    std::string path_;
    ICabinetIterator& iterator_;
    IFileSystem& files_;
    IUpdateCrypto& crypto_;
    const std::vector<UpdateKey>& keys_;
    std::vector<ReleaseFinding> findings_;
    FindingView view_;
    ScratchFolder scratch_;
    std::string name_;
    std::string fromKey_;
    std::string toKey_;
    std::int32_t count_ = 0;
    std::vector<std::string> stored_;
};

}  // namespace

std::vector<ReleaseFinding> CheckRelease(const std::string& path, ICabinetIterator& iterator,
                                         IFileSystem& files, IUpdateCrypto& crypto,
                                         const std::vector<UpdateKey>& keys) {
    return ReleaseChecker(path, iterator, files, crypto, keys).Run();
}

int PrintFindings(const std::vector<ReleaseFinding>& findings) {
    int errors = 0;
    for (const ReleaseFinding& finding : findings) {
        switch (finding.kind) {
        case ReleaseFinding::Kind::Error:
            ++errors;
            std::cout << "error: ";
            break;
        case ReleaseFinding::Kind::Warning:
            std::cout << "warning: ";
            break;
        case ReleaseFinding::Kind::Note:
            std::cout << "note: ";
            break;
        }
        std::cout << EscapeControls(finding.text) << '\n';
    }
    return errors == 0 ? 0 : 1;
}
