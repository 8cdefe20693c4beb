#include "scheduler/KeyboardWatch.h"

namespace quillon {

void KeyboardWatch::tmrKey_Timer() {
    // A lost or unreadable device skips this poll; the next one tries again.
    if (device_ == nullptr || !device_->ReadState(state_))
        return;
    if (state_[kDikF2] != 0 && view_.Enabled(Control::optOn))
        switchOn_();
    if (state_[kDikF3] != 0 && view_.Enabled(Control::optOn))
        switchOff_();
}

} // namespace quillon
