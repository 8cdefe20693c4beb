#include "schedule/Switch.h"

namespace quillon {

bool OnOffSwitch::SelectOn() {
    if (IsOn())
        return false;
    Resume();
    SwitchOnSteps();
    return true;
}

void OnOffSwitch::SelectOff() {
    view_.SetValue(Control::optOff, 1);
    view_.SetValue(Control::optOn, 0);
    cycle_.Cancel();
}

void OnOffSwitch::Resume() {
    view_.SetValue(Control::optOn, 1);
    view_.SetValue(Control::optOff, 0);
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
