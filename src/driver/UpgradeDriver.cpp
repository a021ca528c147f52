#include "driver/UpgradeDriver.h"

#include "common/Paths.h"
#include "common/Strings.h"
#include "driver/DriverTexts.h"
#include "pefile/ProgramVersion.h"
#include "run/ExitStatus.h"
#include "run/RunTexts.h"
#include "upgradefile/SectionReader.h"

namespace {
constexpr std::size_t kShortestLabel = 13;
}  // namespace

UpgradeDriver::UpgradeDriver(UpgradeContext& context, IUpgradePhases& phases)
    : ctx_(context), phases_(phases) {}

std::string UpgradeDriver::SettingsNameFor(const std::string& programFolder) {
    return TrimBlanks(LastPathComponent(programFolder));
}

std::string UpgradeDriver::ProgramFilePath() const {
    return JoinPath(ctx_.programFolder, run_text::kProgramFileName);
}

void UpgradeDriver::OnLoad() {
    ctx_.settingsName = SettingsNameFor(ctx_.programFolder);
    ctx_.view.SetText(Control::LblPozor, driver_text::kWarning);
    ctx_.view.SetText(Control::LblVerzija, driver_text::kNewVersion);
    ctx_.log.Write("start", "program folder " + ctx_.programFolder + ", settings name \"" +
                                ctx_.settingsName + "\"");
    // Before anything reads the program's files: an installation a crash cut short is undone.
    phases_.RecoverInterruptedInstall();
}

void UpgradeDriver::OnClick(int index) {
    ctx_.state.reinstallChosen = false;
    if (index == 1) {
        if (ctx_.state.busy) {
            ctx_.state.cancelRequested = true;
            return;
        }
        ctx_.log.Write("close", "closed by the user");
        ctx_.view.CloseWindow();
        return;
    }
    RunUpgrade();
}

void UpgradeDriver::RunUpgrade() {
    WindowState& state = ctx_.state;
    IView& view = ctx_.view;
    finishedReinstall_ = false;
    state.programVersion = GetProgramVersion(view, ProgramFilePath());
    if (state.programVersion == "Err") view.EndProgram(exit_status::kError);
    ctx_.log.Write("version", "installed program version " + state.programVersion);
    view.SetEnabled(Control::CmdAkcija0, false);

    ctx_.log.Write("phase", "online update started");
    const bool installed = phases_.RunOnlineUpdate();
    ctx_.log.Write("phase", installed ? "online update installed a cabinet"
                                      : "online update ended without installing");
    if (!installed) {
        view.SetEnabled(Control::CmdAkcija0, true);
        return;
    }
    view.SetVisible(Control::PrgBar, false);
    if (state.endAfterInstall) {
        view.ShowMessage(driver_text::kInstalled, MsgIcon::Information, MsgButtons::Ok,
                         std::nullopt);
        view.EndProgram(exit_status::kSuccess);
    }
    state.endAfterInstall = false;

    state.programVersion = GetProgramVersion(view, ProgramFilePath());
    if (state.programVersion == "Err") view.EndProgram(exit_status::kError);

    // Blanks are trimmed while the body still ends with CR LF, so trailing blanks of the label
    // line stay; then every CR LF goes, joining a body of several lines without separators.
    const std::string section = ReadSection(view, ctx_.programFolder, "[Verzija]");
    state.versionLabel = ReplaceAll(TrimBlanks(section), kCrLf, "");
    if (state.versionLabel == "Err" || CharCount(state.versionLabel) < kShortestLabel) {
        view.ShowMessage(driver_text::kBadLabel, MsgIcon::Error, MsgButtons::Ok,
                         run_text::kBoxTitle);
        view.EndProgram(exit_status::kError);
    }
    view.SetText(Control::LblVerzija,
                 driver_text::kFromVersion + ReplaceAll(state.versionLabel, "/", driver_text::kTo));
    ctx_.log.Write("version", "upgrade file label " + state.versionLabel);

    if (state.reinstallChosen) {
        view.SetText(Control::LblPozor, driver_text::kDone);
        view.SetText(Control::CmdAkcija1, driver_text::kEndButton);
        finishedReinstall_ = true;
        ctx_.log.Write("phase", "reinstall finished; database phase not run");
        return;
    }
    ctx_.log.Write("phase", "database upgrade started");
    phases_.RunDatabaseUpgrade();
}
