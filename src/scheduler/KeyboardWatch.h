// The F2/F3 watch: reads the whole keyboard's state from the keyboard device; F2 switches
// automatic saving on and F3 off, both only while optOn is available. tmrKey reads it every 10 ms
// while the window is on the screen, and while F2 or F3 is held (a held key acts at every read).
// Hidden in the tray, a device that signals changes of F2 and F3 is read only when one changes;
// one that cannot signal is read every 10 ms all the time.
#pragma once

#include "app/FormView.h"

#include <functional>

namespace quillon {

inline constexpr int kDikF2 = 0x3C;
inline constexpr int kDikF3 = 0x3D;
inline constexpr unsigned kKeyPollMs = 10;
inline constexpr int kReadsAfterSignal = 5;

class KeyboardWatch {
public:
    KeyboardWatch(IFormView& view, std::function<void()> switchOn, std::function<void()> switchOff)
        : view_(view), switchOn_(std::move(switchOn)), switchOff_(std::move(switchOff)) {}

    // Starts watching `device`: tmrKey runs at 10 ms unless the device signals its changes.
    void Attach(IKeyboardDevice* device);
    void tmrKey_Timer();
    // F2 or F3 went down or up. The signal may come before the device has taken the key, so the
    // device is read at once and for a few more polls after it.
    void OnKeyboardChanged();
    // While the window is on the screen the device is read on tmrKey's clock as well: the user is
    // working with Quillon then, and under Wine its menus lose keys when nothing reads the device
    // regularly. Hidden in the tray, where it spends the day, it is read only on a key change.
    void SetWindowShown(bool shown);

private:
    IFormView& view_;
    IKeyboardDevice* device_ = nullptr;
    std::function<void()> switchOn_;
    std::function<void()> switchOff_;
    std::array<std::uint8_t, 256> state_{};
    bool windowShown_ = false;
    int readsAfterSignal_ = 0;
    bool PollsOnAClock(bool watchedKeyHeld) const;
};

} // namespace quillon
