// What the notification-area icon tells about the saves, where a user who keeps Quillon hidden
// looks: its tip names the time of the last save, that there was nothing new to save, what
// Quillon waits for, or why the last cycle could not save, in a few words; while saves keep
// failing, the icon itself shows a warning sign until the work is safe again. Nothing pops up.
#pragma once

#include "platform/Platform.h"
#include "scheduler/SaveCycle.h"
#include "shell/IconMenu.h"

#include <string>

namespace quillon {

// The tip after a cycle ended as `report` says at `now` (the system's date-and-time text);
// `lastSave` is the time of the last save, empty when none was made in this run. Empty for
// outcomes that say nothing about saving (switched off, or the next cycle came too soon).
std::wstring SaveStatusTip(const SaveReport& report, const std::wstring& now, const std::wstring& lastSave);

class SaveStatus {
public:
    static constexpr int kFailuresShownByIcon = 3; // cycles in a row

    SaveStatus(TrayIcon& icon, ISystem& system) : icon_(icon), system_(system) {}

    void Report(const SaveReport& report);
    int FailuresInARow() const { return failuresInARow_; }

private:
    TrayIcon& icon_;
    ISystem& system_;
    int failuresInARow_ = 0;
    std::wstring lastSave_;
};

} // namespace quillon
