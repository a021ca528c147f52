#include "app/MakeUpgradePhases.h"

#include "app/AppPhases.h"

namespace {

class AppUpgradePhases : public IUpgradePhases {
public:
    explicit AppUpgradePhases(UpgradeContext& context) : ctx_(context) {}
    bool RunOnlineUpdate() override { return RunAppOnlineUpdate(ctx_); }
    void RunDatabaseUpgrade() override { RunAppDatabaseUpgrade(ctx_); }
    // The folder's lock, taken here at the start of the run, is kept until the program ends.
    void RecoverInterruptedInstall() override { hold_ = RecoverAppInstall(ctx_); }

private:
    UpgradeContext& ctx_;
    std::shared_ptr<RunLock> hold_;
};

}  // namespace

std::unique_ptr<IUpgradePhases> MakeUpgradePhases(UpgradeContext& context) {
    return std::make_unique<AppUpgradePhases>(context);
}
