#include "scheduler/Countdown.h"

namespace quillon {

void Countdown::tmrLoop_Timer() {
    if (view_.Value(Control::optOn) != 1)
        return;
    // A count that is not a number (an interval typed as text) waits for the next set.
    const auto remaining = numbers_.Parse(view_.Text(Control::txtRemaining));
    if (!remaining)
        return;
    view_.SetText(Control::txtRemaining, numbers_.PlainText(*remaining - 1));

    const auto count = numbers_.Parse(view_.Text(Control::txtRemaining));
    if (!count)
        return;
    if (*count > -1) {
        progress_.SetValue(progress_.Value() + 1);
        return;
    }
    // The count ran out. A count that skipped -1 (a fractional or negative start) saves too,
    // rather than falling forever while the window says saving is on.
    progress_.SetValue(progress_.Max());
    const std::wstring next = NextInterval();
    saveCycle_(numbers_.Parse(next).value_or(0));
    view_.SetText(Control::txtRemaining, next);
    progress_.SetValue(0);
}

// An interval edited to 0, -5 or letters without pressing 设置时间 would otherwise re-arm a count
// that runs out on every tick.
std::wstring Countdown::NextInterval() {
    const std::wstring seconds = IntervalInSeconds();
    const auto value = numbers_.Parse(seconds);
    if (value && IsAcceptableInterval(*value))
        accepted_.seconds = seconds;
    return accepted_.seconds; // empty, which stops the count, while none was ever accepted
}

std::wstring Countdown::IntervalInSeconds() const {
    const std::wstring unit = view_.Text(Control::cboTime);
    const std::wstring interval = view_.Text(Control::txtInterval);
    if (unit != L"分" && unit != L"Minutes")
        return interval;
    const auto minutes = numbers_.Parse(interval);
    return minutes ? numbers_.FormatWhole(*minutes * 60) : interval;
}

} // namespace quillon
