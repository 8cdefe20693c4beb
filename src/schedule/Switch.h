// The on/off switch: optOn and optOff. Switching on puts the main window away and brings the
// program to be saved to the front, so the user can go on working in it; switching off also ends
// a save that is waiting to type.
#pragma once

#include "app/FormView.h"
#include "scheduler/SaveCycle.h"
#include "windows/ProgramLists.h"

namespace quillon {

class OnOffSwitch {
public:
    OnOffSwitch(IFormView& view, IDesktop& desktop, const ProgramLists& lists, SaveCycle& cycle)
        : view_(view), desktop_(desktop), lists_(lists), cycle_(cycle) {}

    bool IsOn() const { return view_.Value(Control::optOn) == 1; }
    // Selects optOn; the switch-on steps run only when saving was off. True when it switched on.
    bool SelectOn();
    void SelectOff();
    // Saving goes on as it was when Quillon last ran: the window is away already and the
    // program may not even run yet, so nothing is brought to the front.
    void Resume();

private:
    void SwitchOnSteps();

    IFormView& view_;
    IDesktop& desktop_;
    const ProgramLists& lists_;
    SaveCycle& cycle_;
};

} // namespace quillon
