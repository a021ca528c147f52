#include "driver/RunClick.h"

#include <exception>
#include <string>

#include "common/AppError.h"
#include "run/ExitStatus.h"
#include "run/RunTexts.h"

void RunStep(IView& view, const std::function<void()>& step) {
    std::string failure;
    try {
        step();
        return;
    } catch (const AppError& e) {
        failure = std::to_string(e.number()) + "/" + e.description();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    view.ShowMessage(failure, MsgIcon::Error, MsgButtons::Ok, run_text::kBoxTitle);
    view.EndProgram(exit_status::kError);
}

void RunClick(UpgradeDriver& driver, IView& view, int index) {
    RunStep(view, [&] { driver.OnClick(index); });
}
