#include "scheduler/KeyboardWatch.h"

namespace quillon {

void KeyboardWatch::Attach(IKeyboardDevice* device) {
    device_ = device;
    SetClock(PollInterval(false));
}

unsigned KeyboardWatch::PollInterval(bool watchedKeyHeld) const {
    if (device_ == nullptr)
        return 0;
    if (!device_->SignalsChanges() || watchedKeyHeld || readsAfterSignal_ > 0)
        return kKeyPollMs;
    return kSafetyPollMs;
}

// Setting a timer costs a call into the system, so tmrKey is set only when its interval changes.
void KeyboardWatch::SetClock(unsigned intervalMs) {
    if (intervalMs == clockMs_)
        return;
    clockMs_ = intervalMs;
    view_.SetTimer(Timer::tmrKey, intervalMs, intervalMs > 0);
}

void KeyboardWatch::OnKeyboardChanged() {
    readsAfterSignal_ = kReadsAfterSignal;
    tmrKey_Timer();
}

bool KeyboardWatch::ReadKeys() {
    switch (device_->ReadState(state_)) {
    case KeyboardRead::Ok:
        return true;
    case KeyboardRead::InputLost:
        // Taken away meanwhile (another program's exclusive use, a locked session): acquired
        // again here, so the next read sees the keys once more.
        device_->Acquire();
        return false;
    case KeyboardRead::Failed:
        return false;
    }
    return false;
}

void KeyboardWatch::tmrKey_Timer() {
    if (device_ == nullptr)
        return;
    if (readsAfterSignal_ > 0)
        --readsAfterSignal_;
    // A read that fails skips only itself: the reads after a signal still come on the clock.
    const bool read = ReadKeys();
    const bool f2 = read && state_[kDikF2] != 0, f3 = read && state_[kDikF3] != 0;
    SetClock(PollInterval(f2 || f3));
    if (f2 && view_.Enabled(Control::optOn))
        switchOn_();
    if (f3 && view_.Enabled(Control::optOn))
        switchOff_();
}

} // namespace quillon
