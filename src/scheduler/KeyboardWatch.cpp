#include "scheduler/KeyboardWatch.h"

namespace quillon {

void KeyboardWatch::Attach(IKeyboardDevice* device) {
    device_ = device;
    view_.SetTimer(Timer::tmrKey, kKeyPollMs, device_ != nullptr && !device_->SignalsChanges());
}

void KeyboardWatch::tmrKey_Timer() {
    if (device_ == nullptr)
        return;
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
    if (device_->SignalsChanges())
        view_.SetTimer(Timer::tmrKey, kKeyPollMs, f2 || f3);
    if (f2 && view_.Enabled(Control::optOn))
        switchOn_();
    if (f3 && view_.Enabled(Control::optOn))
        switchOff_();
}

} // namespace quillon
