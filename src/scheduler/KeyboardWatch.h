// The F2/F3 watch: reads the whole keyboard's state from the keyboard device; F2 switches
// automatic saving on and F3 off, both only while optOn is available. A device that signals key
// changes is read when a key changes, and then every 10 ms by tmrKey for as long as F2 or F3 is
// held (a held key acts at every read); one that cannot signal is read by tmrKey every 10 ms.
#pragma once

#include "app/FormView.h"

#include <functional>

namespace quillon {

inline constexpr int kDikF2 = 0x3C;
inline constexpr int kDikF3 = 0x3D;
inline constexpr unsigned kKeyPollMs = 10;

class KeyboardWatch {
public:
    KeyboardWatch(IFormView& view, std::function<void()> switchOn, std::function<void()> switchOff)
        : view_(view), switchOn_(std::move(switchOn)), switchOff_(std::move(switchOff)) {}

    // Starts watching `device`: tmrKey runs at 10 ms unless the device signals its changes.
    void Attach(IKeyboardDevice* device);
    void tmrKey_Timer();
    // The device signalled a key change.
    void OnKeyboardChanged() { tmrKey_Timer(); }
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
    bool PollsOnAClock(bool watchedKeyHeld) const;
};

} // namespace quillon
