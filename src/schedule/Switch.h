// The on/off switch: optOn and optOff. Switching on puts the main window away and brings the
// program to be saved to the front, so the user can go on working in it.
#pragma once

#include "app/FormView.h"
#include "windows/ProgramLists.h"

namespace quillon {

class OnOffSwitch {
public:
    OnOffSwitch(IFormView& view, IDesktop& desktop, const ProgramLists& lists)
        : view_(view), desktop_(desktop), lists_(lists) {}

    bool IsOn() const { return view_.Value(Control::optOn) == 1; }
    // Selects optOn; the switch-on steps run only when saving was off.
    void SelectOn();
    void SelectOff();

private:
    void SwitchOnSteps();

    IFormView& view_;
    IDesktop& desktop_;
    const ProgramLists& lists_;
};

} // namespace quillon
