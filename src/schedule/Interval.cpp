#include "schedule/Interval.h"

namespace quillon {

void IntervalSetting::cmdSet_Click() {
    const std::wstring interval = view_.Text(Control::txtInterval);
    const auto number = numbers_.Parse(interval);
    if (!number || !(*number > 0))
        return;
    const std::wstring unit = view_.Text(Control::cboTime);
    if (!IsAcceptableInterval(unit == kMinutes ? *number * 60 : *number))
        return;
    if (unit == kSeconds) {
        timerSet_ = true;
        view_.SetText(Control::txtRemaining, interval);
        if (const auto max = numbers_.ParseSingle(interval))
            progress_.SetMax(*max);
    } else if (unit == kMinutes) {
        timerSet_ = true;
        const std::wstring seconds = numbers_.FormatWhole(*number * 60);
        if (const auto max = numbers_.ParseSingle(seconds))
            progress_.SetMax(*max);
        view_.SetText(Control::txtRemaining, seconds);
    }
    const std::wstring armed = view_.Text(Control::txtRemaining);
    if ((unit == kSeconds || unit == kMinutes) && numbers_.Parse(armed).value_or(0) > 0)
        accepted_.seconds = armed;
    settings_.Save(settings::TimerInterval, armed);
    progress_.SetValue(0);
}

void IntervalSetting::cboTime_Click() {
    const std::wstring unit = view_.Text(Control::cboTime);
    if (unit != kSeconds && unit != kMinutes)
        return;
    const bool toSeconds = unit == kSeconds;
    if (const auto number = numbers_.Parse(view_.Text(Control::txtInterval))) {
        view_.SetText(Control::txtInterval, toSeconds ? numbers_.FormatWhole(*number * 60)
                                                      : numbers_.FormatTwoDecimals(*number / 60));
    }
    settings_.Save(settings::TimeMeasurement, toSeconds ? L"Seconds" : L"Minutes");
}

} // namespace quillon
