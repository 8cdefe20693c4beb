#include "scheduler/KeyboardWatch.h"

namespace quillon {

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
    if (state_[kDikF2] != 0 && view_.Enabled(Control::optOn))
        switchOn_();
    if (state_[kDikF3] != 0 && view_.Enabled(Control::optOn))
        switchOff_();
}

} // namespace quillon
