#include "scheduler/KeyboardWatch.h"

namespace quillon {

void KeyboardWatch::Attach(IKeyboardDevice* device) {
    device_ = device;
    view_.SetTimer(Timer::tmrKey, kKeyPollMs, PollsOnAClock(false));
}

void KeyboardWatch::SetWindowShown(bool shown) {
    windowShown_ = shown;
    view_.SetTimer(Timer::tmrKey, kKeyPollMs, PollsOnAClock(false));
}

bool KeyboardWatch::PollsOnAClock(bool watchedKeyHeld) const {
    return device_ != nullptr &&
           (!device_->SignalsChanges() || windowShown_ || watchedKeyHeld || readsAfterSignal_ > 0);
}

void KeyboardWatch::OnKeyboardChanged() {
    readsAfterSignal_ = kReadsAfterSignal;
    tmrKey_Timer();
}

void KeyboardWatch::tmrKey_Timer() {
    if (device_ == nullptr)
        return;
    if (readsAfterSignal_ > 0)
        --readsAfterSignal_;
    switch (device_->ReadState(state_)) {
    case KeyboardRead::Ok:
        break;
    case KeyboardRead::InputLost:
        // Taken away meanwhile (another program's exclusive use, a locked session): acquired
        // again here, so the next read sees the keys once more.
        device_->Acquire();
        return;
    case KeyboardRead::Failed:
        return; // skip this read; the next one tries again
    }
    const bool f2 = state_[kDikF2] != 0, f3 = state_[kDikF3] != 0;
    view_.SetTimer(Timer::tmrKey, kKeyPollMs, PollsOnAClock(f2 || f3));
    if (f2 && view_.Enabled(Control::optOn))
        switchOn_();
    if (f3 && view_.Enabled(Control::optOn))
        switchOff_();
}

} // namespace quillon
