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

// The longest interval accepted, ten years in seconds: longer ones overflow the figures that
// are shown, stored and counted.
inline constexpr double kMaxIntervalSeconds = 10.0 * 365 * 24 * 60 * 60;
inline bool IsAcceptableInterval(double seconds) {
    return seconds > 0 && seconds <= kMaxIntervalSeconds;
}

// The interval in seconds, as text, that was last accepted: by 设置时间, by the tray menu's
// 设置时间..., from the stored setting at start-up, or by a re-arm. The countdown re-arms from it
// when the interval text is not a number above 0.
struct AcceptedInterval {
    std::wstring seconds; // empty while none was accepted
};

class IntervalSetting {
public:
    IntervalSetting(IFormView& view, ProgressBar& progress, const Numbers& numbers, SettingsStore& settings,
                    bool& timerSet, AcceptedInterval& accepted)
        : view_(view), progress_(progress), numbers_(numbers), settings_(settings), timerSet_(timerSet),
          accepted_(accepted) {}

    void cmdSet_Click();
    void cboTime_Click();

private:
    IFormView& view_;
    ProgressBar& progress_;
    const Numbers& numbers_;
    SettingsStore& settings_;
    bool& timerSet_;
    AcceptedInterval& accepted_;
};

} // namespace quillon
