#pragma once

// The two phases of one upgrade run, as the driver calls them.
class IUpgradePhases {
public:
    virtual ~IUpgradePhases() = default;
    // True only when a cabinet was downloaded and unpacked; the phase has told the user
    // about every other outcome itself.
    virtual bool RunOnlineUpdate() = 0;
    // Ends the program on every path (IView::EndProgram); never returns normally.
    virtual void RunDatabaseUpgrade() = 0;
    // At the start of a run: undoes an installation that a crash cut short while its files
    // moved, and tells the user; ends the program when files could not be put back.
    virtual void RecoverInterruptedInstall() {}
};
