#pragma once

#include "driver/IUpgradePhases.h"
#include "run/UpgradeContext.h"

// Where a request to close the window comes from.
enum class CloseOrigin { Program, User, System, TaskManager, Owner };

// The controller behind the main window: the load handler, the close-request handler and the
// clicks of the two buttons, driving one upgrade run in its fixed order.
class UpgradeDriver {
public:
    UpgradeDriver(UpgradeContext& context, IUpgradePhases& phases);

    // Computes settingsName and shows the backup warning.
    void OnLoad();
    // True when the window may close: only the program itself closes it.
    static bool MayClose(CloseOrigin origin) { return origin == CloseOrigin::Program; }
    // index 0 is "&Dobro", index 1 is "&Odustani" (or "&Kraj").
    void OnClick(int index);
    // True when the last "&Dobro" stopped at "GOTOVO !!" after reinstalling the latest version.
    // reinstallChosen alone does not tell: the online phase leaves it set when the download or
    // the unpacking of the chosen cabinet fails after the user said yes.
    bool FinishedReinstall() const { return finishedReinstall_; }

    // The name under which the main program's settings are read: the last component of the
    // program folder without leading and trailing blanks.
    static std::string SettingsNameFor(const std::string& programFolder);

private:
    void RunUpgrade();
    std::string ProgramFilePath() const;

    UpgradeContext& ctx_;
    IUpgradePhases& phases_;
    bool finishedReinstall_ = false;
};
