#include "shell/MakeUpgradePhases.h"

#include "shell/AppPhases.h"

namespace {

class AppUpgradePhases : public IUpgradePhases {
public:
    explicit AppUpgradePhases(UpgradeContext& context) : ctx_(context) {}
    bool RunOnlineUpdate() override { return RunAppOnlineUpdate(ctx_); }
    void RunDatabaseUpgrade() override { RunAppDatabaseUpgrade(ctx_); }
    void RecoverInterruptedInstall() override { RecoverAppInstall(ctx_); }

private:
    UpgradeContext& ctx_;
};

}  // namespace

std::unique_ptr<IUpgradePhases> MakeUpgradePhases(UpgradeContext& context) {
    return std::make_unique<AppUpgradePhases>(context);
}
