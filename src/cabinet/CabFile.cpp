#include "cabinet/CabFile.h"

#include <cstring>

#include "cabinet/CabDate.h"
#include "cabinet/CabErrors.h"
#include "cabinet/CabXml.h"
#include "cabinet/CabinetTexts.h"
#include "cabinet/Callback.h"
#include "cabinet/InstallMoves.h"
#include "cabinet/NameCompare.h"
#include "cabinet/RunLock.h"
#include "cabinet/StagedInstall.h"
#include "cabinet/StoredName.h"
#include "common/Paths.h"
#include "common/Strings.h"
#include "platform/ICabinetIterator.h"
#include "platform/IFileSystem.h"

using namespace cabinet_api;

namespace {

constexpr const char* kSource = "CabFile";
constexpr const char* kCallbackSource = "CabFile.CabCallBack";

// The folder of a file cannot be made (a file where the folder should be, a full disk).
constexpr std::int32_t kCannotMake = 82;

// Run-time error of a handler that failed with something other than an AppError.
constexpr std::int32_t kInternalError = 51;

// The path written into FullTargetName: it must fit the buffer, and a file unpacked where the
// caller asks may not have a path of MAX_PATH characters or more, counted as Windows counts
// them (UTF-16 units, not the bytes here). An installation's staging folder is exempt: it
// checks the paths the files will have before any moves.
void WriteTargetPath(char (&buffer)[kTargetPathBytes], const std::string& path, bool staged) {
    if (path.size() + 1 > kTargetPathBytes || (!staged && Utf16Units(path) + 1 > MAX_PATH))
        throw AppError(RuntimeError::kSubscriptOutOfRange, kCallbackSource,
                       RuntimeError::kSubscriptOutOfRangeText);
    std::memcpy(buffer, path.data(), path.size());
    buffer[path.size()] = '\0';
}

std::string FolderOf(const std::string& path) {
    std::string folder, name;
    Callback::SplitPath(path, folder, name, kPathSeparator);
    return folder;
}

}  // namespace

CabFile::CabFile(IView& view, ICabinetIterator& iterator, IFileSystem& files)
    : view_(view), iterator_(iterator), files_(files) {}

CabFile::~CabFile() {
    if (Callback::CurrentCabFile() == this) Callback::SetCurrentCabFile(nullptr);
}

void CabFile::SetBackupLabel(const std::string& label) { backupLabel_ = label; }

void CabFile::NoteStep(const std::string& line) {
    if (InstallStep) InstallStep(line);
}

const std::string& CabFile::CabName() const { return cabName_; }
void CabFile::SetCabName(const std::string& name) { cabName_ = name; }

void CabFile::CheckCabName() const {
    if (cabName_.empty()) throw AppError(kCabNameNotSet, kSource, CabErrorText(kCabNameNotSet));
}

void CabFile::RunPass(PassMode mode) {
    pendingError_.reset();
    pendingForeign_ = nullptr;
    const bool completed = iterator_.Iterate(cabName_, &Callback::CabinetCallback, mode);
    const auto lastError = static_cast<std::int32_t>(iterator_.LastError());
    if (pendingForeign_) {
        auto foreign = pendingForeign_;
        pendingForeign_ = nullptr;
        std::rethrow_exception(foreign);
    }
    if (pendingError_) {
        AppError error = *pendingError_;
        pendingError_.reset();
        throw error;
    }
    // An iterator may fail without a reason; the error then carries number 0, "Unknown error.".
    if (!completed) throw AppError(lastError, kSource, WinErrorText(lastError));
}

std::int32_t CabFile::FileCount() {
    CheckCabName();
    Callback::SetCurrentCabFile(this);
    fileCount_ = 0;
    RunPass(CountMode);
    return fileCount_;
}

bool CabFile::GetInfo(const std::string& fileToInvestigate) {
    try {
        CheckCabName();
        Callback::SetCurrentCabFile(this);
        requestedFile_ = fileToInvestigate;
        RunPass(InfoMode);
        return true;
    } catch (const AppError& error) {
        throw error.WithSource("CabFile.GetInfo");
    }
}

std::string CabFile::GetXML(const std::string& fileToInvestigate) {
    try {
        CheckCabName();
        Callback::SetCurrentCabFile(this);
        requestedFile_ = fileToInvestigate;
        xmlBody_.clear();
        dateLocale_ = UserDateLocale();
        RunPass(XmlMode);
        return XmlDocument();
    } catch (const AppError& error) {
        throw error.WithSource("CabFile.GetXML");
    }
}

bool CabFile::Extract(const std::string& fileToExtract, const std::string& outputPath,
                      const std::string& outputFile) {
    if (fileToExtract.empty() && outputPath.empty() && outputFile.empty()) return ExtractAsOneUnit();
    try {
        CheckCabName();
        Callback::SetCurrentCabFile(this);
        requestedFile_ = fileToExtract;
        requestedFolder_ = outputPath;
        requestedName_ = outputFile;
        // Files written into a program folder while a run installs there would be moved over
        // by it, or taken for its leftovers: the extraction waits its turn like a second run.
        // A folder that does not exist yet has no run in it.
        const std::string folder = TargetFolder();
        std::shared_ptr<RunLock> hold;
        if (files_.FolderExists(folder))
            hold = RunLock::Hold(files_, folder, "CabFile.Extract",
                                 [this](const std::string& line) { NoteStep(line); });
        RunPass(ExtractMode);
        return true;
    } catch (const AppError& error) {
        ShowExtractFailure(error);
    } catch (const std::exception& error) {
        // Out of memory and the like outside the pass: Extract promises never to raise.
        ShowExtractFailure(AppError(kInternalError, kSource, error.what()));
    }
    return false;
}

bool CabFile::ExtractAsOneUnit() {
    try {
        CheckCabName();
        Callback::SetCurrentCabFile(this);
        requestedFile_.clear();
        requestedFolder_.clear();
        requestedName_.clear();
        std::string folder = FolderOf(cabName_);
        if (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
        // A cabinet named without a folder lies in the current folder, not in the root.
        if (folder.empty()) folder = ".";
        const std::string label =
            backupLabel_.empty() ? LastPathComponent(cabName_) : backupLabel_;
        unit_ = std::make_unique<StagedInstall>(files_, folder, label,
                                                [this](const std::string& line) { NoteStep(line); });
        unit_->Begin();
        try {
            RunPass(ExtractMode);
        } catch (...) {
            NoteStep("unpacking failed; the program folder was not changed");
            unit_->Abandon();
            throw;
        }
        unit_->Commit();
        unit_.reset();
        return true;
    } catch (const InstallFailure& failure) {
        unit_.reset();
        ShowExtractFailure(failure);
        ShowInstallHints(failure);
    } catch (const AppError& error) {
        unit_.reset();
        ShowExtractFailure(error);
    } catch (const std::exception& error) {
        unit_.reset();
        ShowExtractFailure(AppError(kInternalError, kSource, error.what()));
    }
    return false;
}

void CabFile::ShowInstallHints(const InstallFailure& failure) {
    if (!failure.notPutBack().empty()) {
        std::string list;
        for (const std::string& file : failure.notPutBack()) list += file + "\r\n";
        view_.ShowMessage(cabinet_text::kNotPutBackHint + list + cabinet_text::kNotPutBackAdvice,
                          MsgIcon::Error, MsgButtons::Ok, std::nullopt);
        return;
    }
    if (failure.locked())
        view_.ShowMessage(
            cabinet_text::kLockedHintStart + failure.file() + cabinet_text::kLockedHintEnd,
            MsgIcon::Warning, MsgButtons::Ok, std::nullopt);
}

void CabFile::ShowExtractFailure(const AppError& error) {
    view_.ShowMessage(cabinet_text::kExtractFailed, MsgIcon::Error, MsgButtons::Ok, std::nullopt);
    view_.ShowMessage(std::to_string(error.number()) + "/" + error.description(), MsgIcon::Warning,
                      MsgButtons::Ok, std::nullopt);
}

std::string CabFile::XmlDocument() const {
    return "<?xml version=\"1.0\"?>" "<CABFILE CABFILENAME = '" + cabName_ + "'>" "<FILES>" +
           xmlBody_ + "</FILES></CABFILE>";
}

std::uint32_t CabFile::CabCallBack(std::uint32_t mode, std::uint32_t notification,
                                   std::uintptr_t param1, std::uintptr_t /*param2*/) noexcept {
    // Nothing may unwind through the iterator: an error is kept and raised by the operation
    // once the pass is over, and the answer stops the pass.
    const std::uint32_t stop = notification == SPFILENOTIFY_FILEEXTRACTED ? win32::kInvalidData
                                                                           : FILEOP_ABORT;
    try {
        return Dispatch(mode, notification, param1);
    } catch (const AppError& error) {
        pendingError_ = error.WithSource(kCallbackSource);
    } catch (const std::exception& error) {
        pendingError_ = AppError(kInternalError, kCallbackSource, error.what());
    } catch (...) {
        // Not ours to judge (a test view ending the program, for one): raised again as it is.
        pendingForeign_ = std::current_exception();
    }
    return stop;
}

std::uint32_t CabFile::Dispatch(std::uint32_t mode, std::uint32_t notification,
                                std::uintptr_t param1) {
    switch (notification) {
    case SPFILENOTIFY_FILEINCABINET: {
        auto& info = *reinterpret_cast<FILE_IN_CABINET_INFO*>(param1);
        switch (mode) {
        case CountMode:
            ++fileCount_;
            return FILEOP_SKIP;
        case InfoMode:
            return HandleInfoFile(info);
        case ExtractMode:
            return HandleExtractFile(info);
        case XmlMode:
            return HandleXmlFile(info);
        default:
            return FILEOP_ABORT;
        }
    }
    case SPFILENOTIFY_NEEDNEWCABINET:
        return NO_ERROR;
    case SPFILENOTIFY_FILEEXTRACTED: {
        FILEPATHS paths;
        std::memcpy(&paths, reinterpret_cast<const void*>(param1), sizeof paths);
        const auto outcome = static_cast<std::int16_t>(paths.Win32Error & 0xFFFF);
        // An installation's file lands in the staging folder; its owner hears the place it
        // is going to.
        if (outcome == 0 && AfterExtract)
            AfterExtract(unit_ ? unit_->FinalPathFor(paths.Target) : std::string(paths.Target));
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(outcome));
    }
    default:
        return 0;
    }
}

std::uint32_t CabFile::HandleInfoFile(FILE_IN_CABINET_INFO& info) {
    std::uint32_t answer = FILEOP_SKIP;
    const std::string stored = stored_name::ToText(info.NameInCabinet, info.DosAttribs);
    std::string folder, name;
    Callback::SplitPath(stored, folder, name);
    bool matches = requestedFile_.empty();
    if (!matches && EqualsIgnoreCase(stored, requestedFile_)) {
        matches = true;
        answer = FILEOP_ABORT;
    }
    if (matches && FileFound)
        FileFound(name, CalendarToDate(DosToCalendar(info.DosDate, info.DosTime)), info.FileSize,
                  folder);
    return answer;
}

std::uint32_t CabFile::HandleXmlFile(FILE_IN_CABINET_INFO& info) {
    std::uint32_t answer = FILEOP_SKIP;
    const std::string stored = stored_name::ToText(info.NameInCabinet, info.DosAttribs);
    std::string folder, name;
    Callback::SplitPath(stored, folder, name);
    bool matches = requestedFile_.empty();
    if (!matches && EqualsIgnoreCase(name, requestedFile_)) {
        matches = true;
        answer = FILEOP_ABORT;
    }
    if (matches) {
        const std::string date =
            DateText(DosToCalendar(info.DosDate, info.DosTime), dateLocale_);
        const std::string content = XmlElement(stored, "FULLNAME") + XmlElement(name, "NAME") +
                                    XmlElement(date, "DATE") +
                                    XmlElement(std::to_string(info.FileSize), "SIZE") +
                                    XmlElement(folder, "PATH");
        xmlBody_ += XmlElement(content, "FILE") + "\r\n";
    }
    return answer;
}

std::uint32_t CabFile::HandleExtractFile(FILE_IN_CABINET_INFO& info) {
    const std::string stored = stored_name::ToText(info.NameInCabinet, info.DosAttribs);
    if (!requestedFile_.empty() && !EqualsIgnoreCase(stored, requestedFile_)) return FILEOP_SKIP;
    bool cancel = false;
    if (BeforeExtract) BeforeExtract(stored, cancel);
    if (cancel) return FILEOP_SKIP;

    // A cabinet from the network is untrusted: a name that would land outside the target
    // folder, that Windows would read as another name or a device, that holds control
    // characters, or that reaches the tool's own staging folder, backups or lock, is not
    // written, and the pass fails so that the user hears of it.
    const std::string& requested = requestedName_.empty() ? stored : requestedName_;
    const std::optional<std::string> normal = stored_name::Normalise(requested);
    if (!normal || stored_name::ReachesBookkeeping(*normal))
        throw AppError(static_cast<std::int32_t>(win32::kInvalidName), kCallbackSource,
                       WinErrorText(static_cast<std::int32_t>(win32::kInvalidName)));
    const std::string relative = stored_name::ToNative(*normal);

    const std::string target = unit_ ? unit_->StagingPathFor(unit_->Expect(relative))
                                     : TargetPathFor(relative);
    std::string folder, name;
    Callback::SplitPath(target, folder, name, kPathSeparator);
    if (!Callback::CreateFolderPath(folder)) {
        // An installation is all or nothing: a file it cannot unpack fails it.
        if (unit_)
            throw AppError(static_cast<std::int32_t>(kCannotMake), kCallbackSource,
                           WinErrorText(static_cast<std::int32_t>(kCannotMake)));
        return FILEOP_SKIP;
    }
    WriteTargetPath(info.FullTargetName, target, unit_ != nullptr);
    return FILEOP_DOIT;
}

std::string CabFile::TargetFolder() const {
    std::string folder = requestedFolder_.empty() ? FolderOf(cabName_) : requestedFolder_;
    // A cabinet named without a folder lies in the current folder, not in the root.
    if (folder.empty()) folder = ".";
    return folder;
}

std::string CabFile::TargetPathFor(const std::string& relative) const {
    return Callback::AddBackslash(TargetFolder(), kPathSeparator) + relative;
}
