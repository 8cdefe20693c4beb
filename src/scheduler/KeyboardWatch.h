// The F2/F3 watch: reads the whole keyboard's state from the keyboard device; F2 switches
// automatic saving on and F3 off, both only while optOn is available. A device that signals
// changes of F2 and F3 is read when one changes, for a few polls after that, every 10 ms while
// one of them is held, and otherwise only by a slow safety poll, so that a lost signal costs a
// moment rather than the rest of the day. One that cannot signal is read every 10 ms.
#pragma once

#include "app/FormView.h"

#include <functional>

namespace quillon {

inline constexpr int kDikF2 = 0x3C;
inline constexpr int kDikF3 = 0x3D;
inline constexpr unsigned kKeyPollMs = 10;
inline constexpr unsigned kSafetyPollMs = 250;
inline constexpr int kReadsAfterSignal = 5;

class KeyboardWatch {
public:
    KeyboardWatch(IFormView& view, std::function<void()> switchOn, std::function<void()> switchOff)
        : view_(view), switchOn_(std::move(switchOn)), switchOff_(std::move(switchOff)) {}

    // Starts watching `device` on tmrKey's clock.
    void Attach(IKeyboardDevice* device);
    void tmrKey_Timer();
    // F2 or F3 went down or up. The signal may come before the device has taken the key, so the
    // device is read at once and for a few more polls after it.
    void OnKeyboardChanged();

private:
    // False when the state could not be read; a device whose input was lost is acquired again.
    bool ReadKeys();
    unsigned PollInterval(bool watchedKeyHeld) const;
    void SetClock(unsigned intervalMs);

    IFormView& view_;
    IKeyboardDevice* device_ = nullptr;
    std::function<void()> switchOn_;
    std::function<void()> switchOff_;
    std::array<std::uint8_t, 256> state_{};
    int readsAfterSignal_ = 0;
    unsigned clockMs_ = 0; // tmrKey's interval as last set; 0 while it is stopped
};

} // namespace quillon
