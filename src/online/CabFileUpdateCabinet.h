#pragma once

#include <functional>
#include <string>

#include "cabinet/CabFile.h"
#include "online/IUpdateCabinet.h"

// The installation step's cabinet: a CabFile that installs everything into the cabinet's folder
// as one unit, keeping the replaced files in a backup named after the installed version.
class CabFileUpdateCabinet : public IUpdateCabinet {
public:
    CabFileUpdateCabinet(IView& view, ICabinetIterator& iterator, IFileSystem& files)
        : cab_(view, iterator, files) {}
    // `installedVersion` names the backup; each installation step goes to `note`.
    CabFileUpdateCabinet(IView& view, ICabinetIterator& iterator, IFileSystem& files,
                         const std::string& installedVersion,
                         std::function<void(const std::string&)> note)
        : cab_(view, iterator, files) {
        cab_.SetBackupLabel(installedVersion);
        cab_.InstallStep = std::move(note);
    }
    void SetCabName(const std::string& path) override { cab_.SetCabName(path); }
    std::int32_t FileCount() override { return cab_.FileCount(); }
    bool Extract() override;

private:
    CabFile cab_;
};
