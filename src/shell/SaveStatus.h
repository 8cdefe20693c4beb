// What the notification-area icon tells about the saves, where a user who keeps Quillon hidden
// looks: its tip names the time of the last save, or why the last cycle could not save, in a few
// words; while saves keep failing, the icon itself shows a warning sign until the next save.
// Nothing pops up.
#pragma once

#include "platform/Platform.h"
#include "scheduler/SaveDelivery.h"
#include "shell/IconMenu.h"

#include <string>

namespace quillon {

// The tip after a save ended with `outcome` at `when` (the system's date-and-time text); empty
// for outcomes that say nothing about saving (switched off, or the next cycle came too soon).
std::wstring SaveStatusTip(DeliveryOutcome outcome, const std::wstring& when);

class SaveStatus {
public:
    static constexpr int kFailuresShownByIcon = 3; // cycles in a row

    SaveStatus(TrayIcon& icon, ISystem& system) : icon_(icon), system_(system) {}

    void Report(DeliveryOutcome outcome);
    int FailuresInARow() const { return failuresInARow_; }

private:
    TrayIcon& icon_;
    ISystem& system_;
    int failuresInARow_ = 0;
};

} // namespace quillon
