// The once-a-second countdown of tmrLoop: counts the remaining seconds down while saving is on,
// moves the progress bar, and when the count runs out starts one save and re-arms the interval.
#pragma once

#include "app/FormView.h"
#include "app/ProgressBar.h"
#include "schedule/Interval.h"
#include "schedule/Numbers.h"

#include <functional>

namespace quillon {

class Countdown {
public:
    // `saveCycle` runs one save; it is told the length in seconds of the cycle that starts with it.
    Countdown(IFormView& view, ProgressBar& progress, const Numbers& numbers, AcceptedInterval& accepted,
              std::function<void(double)> saveCycle)
        : view_(view), progress_(progress), numbers_(numbers), accepted_(accepted),
          saveCycle_(std::move(saveCycle)) {}

    void tmrLoop_Timer();

private:
    // The interval in seconds for the re-arm: txtInterval converted from minutes when the unit says
    // so, otherwise as it stands.
    std::wstring IntervalInSeconds() const;
    // What the re-arm writes: the interval when it is a number above 0 (and within the limit),
    // otherwise the last accepted one.
    std::wstring NextInterval();

    IFormView& view_;
    ProgressBar& progress_;
    const Numbers& numbers_;
    AcceptedInterval& accepted_;
    std::function<void(double)> saveCycle_;
};

} // namespace quillon
