// The F2/F3 watch: every 10 ms tmrKey reads the whole keyboard's state from the keyboard device;
// F2 switches automatic saving on and F3 off, both only while optOn is available.
#pragma once

#include "app/FormView.h"

#include <functional>

namespace quillon {

inline constexpr int kDikF2 = 0x3C;
inline constexpr int kDikF3 = 0x3D;

class KeyboardWatch {
public:
    KeyboardWatch(IFormView& view, std::function<void()> switchOn, std::function<void()> switchOff)
        : view_(view), switchOn_(std::move(switchOn)), switchOff_(std::move(switchOff)) {}

    void Attach(IKeyboardDevice* device) { device_ = device; }
    void tmrKey_Timer();

private:
    IFormView& view_;
    IKeyboardDevice* device_ = nullptr;
    std::function<void()> switchOn_;
    std::function<void()> switchOff_;
    std::array<std::uint8_t, 256> state_{};
};

} // namespace quillon
