// ProgressBar1's Max and Value as single-precision figures, with the bar's own rules: the
// maximum must lie above the minimum 0, and a value outside 0..Max is refused.
#pragma once

#include "app/FormView.h"

namespace quillon {

class ProgressBar {
public:
    explicit ProgressBar(IFormView& view) : view_(view) {}

    float Max() const { return max_; }
    float Value() const { return value_; }

    // A new maximum below the current value pulls the value down to it.
    bool SetMax(float max) {
        if (!(max > 0))
            return false;
        max_ = max;
        if (value_ > max_)
            value_ = max_;
        Show();
        return true;
    }
    bool SetValue(float value) {
        if (!(value >= 0 && value <= max_))
            return false;
        value_ = value;
        Show();
        return true;
    }

private:
    void Show() { view_.ShowProgress(static_cast<int>(max_), static_cast<int>(value_)); }

    IFormView& view_;
    float max_ = 100;
    float value_ = 0;
};

} // namespace quillon
