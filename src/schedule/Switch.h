// The on/off switch: optOn and optOff. Switching on puts the main window away and brings the
// program to be saved to the front, so the user can go on working in it; switching off also ends
// a save that is waiting to type.
#pragma once

#include "app/FormView.h"
#include "scheduler/SaveDelivery.h"
#include "windows/ProgramLists.h"

namespace quillon {

class OnOffSwitch {
public:
    OnOffSwitch(IFormView& view, IDesktop& desktop, const ProgramLists& lists, SaveDelivery& delivery)
        : view_(view), desktop_(desktop), lists_(lists), delivery_(delivery) {}

    bool IsOn() const { return view_.Value(Control::optOn) == 1; }
    // Selects optOn; the switch-on steps run only when saving was off.
    void SelectOn();
    void SelectOff();

private:
    void SwitchOnSteps();

    IFormView& view_;
    IDesktop& desktop_;
    const ProgramLists& lists_;
    SaveDelivery& delivery_;
};

} // namespace quillon
