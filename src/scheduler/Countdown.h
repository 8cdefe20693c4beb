// The once-a-second countdown of tmrLoop: counts the remaining seconds down while saving is on,
// moves the progress bar, and when the count runs out starts one save and re-arms the interval.
#pragma once

#include "app/FormView.h"
#include "app/ProgressBar.h"
#include "schedule/Numbers.h"

#include <functional>

namespace quillon {

class Countdown {
public:
    Countdown(IFormView& view, ProgressBar& progress, const Numbers& numbers, std::function<void()> saveCycle)
        : view_(view), progress_(progress), numbers_(numbers), saveCycle_(std::move(saveCycle)) {}

    void tmrLoop_Timer();

private:
    // The interval in seconds for the re-arm: txtInterval converted from minutes when the unit says
    // so, otherwise as it stands.
    std::wstring IntervalInSeconds() const;

    IFormView& view_;
    ProgressBar& progress_;
    const Numbers& numbers_;
    std::function<void()> saveCycle_;
};

} // namespace quillon
