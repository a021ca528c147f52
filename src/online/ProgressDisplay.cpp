#include "online/ProgressDisplay.h"

namespace {
constexpr Control kCounters[] = {Control::LblUkupno0, Control::LblUkupno1, Control::LblUkupno2,
                                 Control::LblUkupno3};
}  // namespace

void ResetProgressDisplay(IView& view) {
    view.SetText(Control::TxtRez, "");
    view.SetVisible(Control::TxtRez, false);
    for (Control counter : kCounters) {
        view.SetVisible(counter, false);
        if (counter == Control::LblUkupno1 || counter == Control::LblUkupno3) {
            view.SetText(counter, "0");
        }
        view.Refresh(counter);
    }
}

void ShowByteCounters(IView& view) {
    for (Control counter : kCounters) {
        view.SetVisible(counter, true);
        view.Refresh(counter);
    }
}
