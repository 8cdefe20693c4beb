// The four option check boxes. Each stores its value under its own name the moment it changes;
// chkVisible also rebuilds the program lists with the filter it now selects.
#pragma once

#include "app/FormView.h"
#include "settings/Registry.h"
#include "windows/ProgramLists.h"

namespace quillon {

// The setting a box stores itself under; empty for controls that are not option boxes.
std::string SettingNameOf(Control box);

class OptionBoxes {
public:
    OptionBoxes(IFormView& view, SettingsStore& settings, ProgramLists& lists)
        : view_(view), settings_(settings), lists_(lists) {}

    // A user's click: checked becomes unchecked, anything else checked.
    void UserClick(Control box);
    // Assigns a value; a value that differs from the box's present one raises its click.
    void Assign(Control box, int value);

private:
    void Click(Control box);

    IFormView& view_;
    SettingsStore& settings_;
    ProgramLists& lists_;
};

} // namespace quillon
