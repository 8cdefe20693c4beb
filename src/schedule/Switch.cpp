#include "schedule/Switch.h"

namespace quillon {

void OnOffSwitch::SelectOn() {
    if (IsOn())
        return;
    view_.SetValue(Control::optOn, 1);
    view_.SetValue(Control::optOff, 0);
    SwitchOnSteps();
}

void OnOffSwitch::SelectOff() {
    view_.SetValue(Control::optOff, 1);
    view_.SetValue(Control::optOn, 0);
    delivery_.Cancel();
}

void OnOffSwitch::SwitchOnSteps() {
    if (view_.Value(Control::chkCurrent) != 0)
        return;
    // Minimising a window that is already minimised (and hidden) would show it again.
    if (view_.State() != WindowState::Minimized)
        view_.SetState(WindowState::Minimized);
    const auto target = lists_.SelectedHandle();
    if (target && !desktop_.BelongsToThisProcess(*target)) {
        desktop_.SetForegroundWindow(*target);
        desktop_.OpenIcon(*target);
    }
}

} // namespace quillon
