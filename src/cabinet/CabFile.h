#pragma once

// PUBLIC CONTRACT (fixed so the online update can be written beside the cabinet work):
// the constructor and the public members below keep these signatures. Private members,
// the iterator interface and the implementation are the cabinet subsystem's to shape.

#include <cstdint>
#include <exception>
#include <functional>
#include <locale>
#include <memory>
#include <optional>
#include <string>

#include "common/AppError.h"
#include "platform/IView.h"

class ICabinetIterator;
class IFileSystem;
class InstallFailure;
class StagedInstall;

namespace cabinet_api {
struct FILE_IN_CABINET_INFO;
}

// A date and time as the platform's automation date: days since 1899-12-30 00:00:00, with the
// time of day as the fraction. Zero is that instant.
struct CabDateTime {
    double value = 0;
};

class CabFile;
namespace Callback {
std::uint32_t CabinetCallback(std::uintptr_t context, std::uint32_t notification,
                              std::uintptr_t param1, std::uintptr_t param2) noexcept;
}

// One cabinet file, named by CabName. Each operation is one pass over the cabinet.
class CabFile {
public:
    // `files` serves the installation: the program's file system, handed in by its wiring.
    CabFile(IView& view, ICabinetIterator& iterator, IFileSystem& files);
    ~CabFile();
    CabFile(const CabFile&) = delete;
    CabFile& operator=(const CabFile&) = delete;

    // Events; an unset handler does nothing.
    std::function<void(const std::string& fileName, CabDateTime dateTime, std::int32_t size,
                       const std::string& path)>
        FileFound;
    std::function<void(const std::string& fileName, bool& cancel)> BeforeExtract;
    std::function<void(const std::string& fileName)> AfterExtract;
    // One line for the run log per step of an installation (staging, each move, the backup,
    // putting back).
    std::function<void(const std::string& line)> InstallStep;

    const std::string& CabName() const;
    void SetCabName(const std::string& name);

    // Raise AppError (number, source, description) on failure.
    std::int32_t FileCount();
    bool GetInfo(const std::string& fileToInvestigate);
    std::string GetXML(const std::string& fileToInvestigate);

    // Never raises: shows its two message boxes and returns false on any failure.
    // With all three texts empty the cabinet is installed into its own folder as one unit:
    // unpacked into a staging folder first, then moved into place, the replaced files kept in
    // a backup folder; on any failure the folder is left as it was.
    bool Extract(const std::string& fileToExtract, const std::string& outputPath,
                 const std::string& outputFile);

    // The name of the backup folder of the next installation: the version it replaces. Empty:
    // the cabinet's file name.
    void SetBackupLabel(const std::string& label);

private:
    friend std::uint32_t Callback::CabinetCallback(std::uintptr_t, std::uint32_t, std::uintptr_t,
                                                   std::uintptr_t) noexcept;

    enum PassMode : std::uint32_t { CountMode = 0, InfoMode = 1, ExtractMode = 2, XmlMode = 3 };

    void RunPass(PassMode mode);
    void CheckCabName() const;

    std::uint32_t CabCallBack(std::uint32_t mode, std::uint32_t notification, std::uintptr_t param1,
                              std::uintptr_t param2) noexcept;
    std::uint32_t Dispatch(std::uint32_t mode, std::uint32_t notification, std::uintptr_t param1);
    std::uint32_t HandleInfoFile(cabinet_api::FILE_IN_CABINET_INFO& info);
    std::uint32_t HandleXmlFile(cabinet_api::FILE_IN_CABINET_INFO& info);
    std::uint32_t HandleExtractFile(cabinet_api::FILE_IN_CABINET_INFO& info);
    // Where a partial extraction writes: the folder asked for, or the cabinet's own.
    std::string TargetFolder() const;
    std::string TargetPathFor(const std::string& relative) const;
    std::string XmlDocument() const;
    void ShowExtractFailure(const AppError& error);
    bool ExtractAsOneUnit();
    void ShowInstallHints(const InstallFailure& failure);
    void NoteStep(const std::string& line);

    IView& view_;
    ICabinetIterator& iterator_;
    IFileSystem& files_;
    std::string backupLabel_;
    // Set while an installation's pass runs: the files then go to its staging folder.
    std::unique_ptr<StagedInstall> unit_;

    std::string cabName_;
    std::string requestedFile_;
    std::string requestedFolder_;
    std::string requestedName_;
    std::int32_t fileCount_ = 0;
    std::string xmlBody_;
    // The user's date formats, read once per XML pass.
    std::locale dateLocale_;

    // An error met inside the pass: the callback cannot throw through the iterator, so it
    // answers FILEOP_ABORT and the operation raises this once the iterator has returned.
    std::optional<AppError> pendingError_;
    std::exception_ptr pendingForeign_;
};
