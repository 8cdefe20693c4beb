// The interval: typed into txtInterval in the unit that cboTime shows, armed with cmdSet, and
// converted when the unit changes. TimerInterval always stores seconds.
#pragma once

#include "app/FormView.h"
#include "app/ProgressBar.h"
#include "schedule/Numbers.h"
#include "settings/Registry.h"

namespace quillon {

inline constexpr std::wstring_view kSeconds = L"秒";
inline constexpr std::wstring_view kMinutes = L"分";

class IntervalSetting {
public:
    IntervalSetting(IFormView& view, ProgressBar& progress, const Numbers& numbers, SettingsStore& settings,
                    bool& timerSet)
        : view_(view), progress_(progress), numbers_(numbers), settings_(settings), timerSet_(timerSet) {}

    void cmdSet_Click();
    void cboTime_Click();

private:
    IFormView& view_;
    ProgressBar& progress_;
    const Numbers& numbers_;
    SettingsStore& settings_;
    bool& timerSet_;
};

} // namespace quillon
