#include "settings/OptionBoxes.h"

namespace quillon {

std::string SettingNameOf(Control box) {
    switch (box) {
    case Control::chkSaveAs:
        return settings::SaveAs;
    case Control::chkSave:
        return settings::SaveLog;
    case Control::chkCurrent:
        return settings::Current;
    case Control::chkVisible:
        return settings::Visible;
    default:
        return "";
    }
}

void OptionBoxes::UserClick(Control box) {
    Assign(box, view_.Value(box) == 1 ? 0 : 1);
}

void OptionBoxes::Assign(Control box, int value) {
    if (view_.Value(box) == value)
        return;
    view_.SetValue(box, value);
    Click(box);
}

void OptionBoxes::Click(Control box) {
    settings_.Save(SettingNameOf(box), std::to_wstring(view_.Value(box)));
    if (box == Control::chkVisible)
        lists_.RefreshWindowList();
}

} // namespace quillon
