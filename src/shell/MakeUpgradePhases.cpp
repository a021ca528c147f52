#include "shell/MakeUpgradePhases.h"

namespace {

// Stands in for the phases until their subsystems are wired in.
class PendingPhases : public IUpgradePhases {
public:
    explicit PendingPhases(UpgradeContext& context) : ctx_(context) {}
    bool RunOnlineUpdate() override {
        ctx_.log.Write("phase", "online update is not available in this build");
        return false;
    }
    void RunDatabaseUpgrade() override {
        ctx_.log.Write("phase", "database upgrade is not available in this build");
        ctx_.view.EndProgram(1);
    }

private:
    UpgradeContext& ctx_;
};

}  // namespace

std::unique_ptr<IUpgradePhases> MakeUpgradePhases(UpgradeContext& context) {
    return std::make_unique<PendingPhases>(context);
}
