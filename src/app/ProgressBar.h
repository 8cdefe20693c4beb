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
    // The bar's control counts in 32-bit whole numbers: a longer range is shown scaled down to
    // one it can hold, with the same proportion filled.
    void Show() {
        constexpr float kLongestRange = 1e9f;
        const float scale = max_ > kLongestRange ? kLongestRange / max_ : 1.0f;
        view_.ShowProgress(static_cast<int>(max_ * scale), static_cast<int>(value_ * scale));
    }

    IFormView& view_;
    float max_ = 100;
    float value_ = 0;
};

} // namespace quillon
