#include "scheduler/SaveDispatch.h"

#include <cwctype>

namespace quillon {

SaveRow ChooseSaveRow(int saveAs, int current) {
    if (saveAs == 1 && current == 0)
        return {SaveTarget::Listed, L"%FA"};
    if (saveAs == 0 && current == 1)
        return {SaveTarget::Focused, L"%FS"};
    if (current == 1)
        return {SaveTarget::Focused, L"%FA"};
    return {SaveTarget::Listed, L"%FS"};
}

std::vector<KeyEvent> KeyEventsFor(const std::wstring& keys) {
    std::vector<KeyEvent> events;
    std::vector<std::uint8_t> held;
    for (wchar_t c : keys) {
        if (c == L'%' || c == L'^' || c == L'+') {
            const std::uint8_t modifier = c == L'%' ? vk::Menu : c == L'^' ? vk::Control : vk::Shift;
            events.push_back({modifier, true});
            held.push_back(modifier);
            continue;
        }
        const auto key = static_cast<std::uint8_t>(std::towupper(c));
        events.push_back({key, true});
        events.push_back({key, false});
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            events.push_back({*it, false});
        held.clear();
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        events.push_back({*it, false});
    return events;
}

bool MayTypeInto(Elevation self, Elevation target) {
    return self == Elevation::Elevated || target == Elevation::NotElevated;
}

void SaveDelivery::Begin(const SaveRow& row, std::optional<WindowHandle> listed, const std::wstring& entry,
                         bool writeLog) {
    if (Busy()) {
        lastOutcome_ = DeliveryOutcome::Busy;
        return;
    }
    system_.Trace(L"save-cycle");
    row_ = row;
    entry_ = entry;
    writeLog_ = writeLog;
    retried_ = false;
    phaseStart_ = system_.TickCountMs();
    if (row.target == SaveTarget::Listed) {
        if (!listed || !desktop_.IsWindow(*listed)) {
            Finish(DeliveryOutcome::NoTarget);
            return;
        }
        target_ = *listed;
        desktop_.SetForegroundWindow(target_);
        desktop_.OpenIcon(target_);
        phase_ = Phase::WaitForeground;
    } else {
        target_ = 0;
        phase_ = Phase::WaitKeysReleased;
    }
    view_.SetTimer(Timer::tmrDeliver, kPollMs, true);
    Advance();
}

void SaveDelivery::Advance() {
    const std::uint64_t now = system_.TickCountMs();
    if (phase_ == Phase::WaitForeground && !AdvanceForeground(now))
        return;
    if (phase_ != Phase::WaitKeysReleased)
        return;
    if (AnyGuardedKeyDown()) {
        if (now - phaseStart_ >= kKeyReleaseWaitMs)
            Finish(DeliveryOutcome::KeysHeld);
        return;
    }
    TypeNow();
}

// Waits for the listed window to become the foreground window, asking once more if it is slow
// to come; returns true once it is there.
bool SaveDelivery::AdvanceForeground(std::uint64_t now) {
    if (desktop_.IsReadyForInput(target_)) {
        phase_ = Phase::WaitKeysReleased;
        phaseStart_ = now;
        return true;
    }
    if (now - phaseStart_ >= kForegroundWaitMs) {
        Finish(DeliveryOutcome::NotForeground);
        return false;
    }
    if (!retried_ && now - phaseStart_ >= kRetryAfterMs) {
        retried_ = true;
        desktop_.RetryForeground(target_);
        desktop_.OpenIcon(target_);
    }
    return false;
}

bool SaveDelivery::AnyGuardedKeyDown() {
    for (std::uint8_t key : kGuardedKeys)
        if (input_.IsKeyDown(key))
            return true;
    return false;
}

void SaveDelivery::TypeNow() {
    WindowHandle receiver = target_;
    if (row_.target == SaveTarget::Listed) {
        if (!desktop_.IsReadyForInput(target_))
            return Finish(DeliveryOutcome::NotForeground);
    } else {
        receiver = desktop_.ForegroundWindow();
        // Quillon's own windows have no File menu to save with.
        if (receiver == 0 || desktop_.BelongsToThisProcess(receiver))
            return Finish(DeliveryOutcome::NoTarget);
    }
    if (!MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(receiver)))
        return Finish(DeliveryOutcome::Elevated);
    const std::vector<KeyEvent> events = KeyEventsFor(row_.keys);
    if (input_.SendKeys(events, receiver) != events.size())
        return Finish(DeliveryOutcome::Incomplete);
    system_.Trace(L"keys-sent");
    if (writeLog_)
        log_.Write(entry_);
    Finish(DeliveryOutcome::Typed);
}

void SaveDelivery::Finish(DeliveryOutcome outcome) {
    phase_ = Phase::Idle;
    lastOutcome_ = outcome;
    view_.SetTimer(Timer::tmrDeliver, kPollMs, false);
}

} // namespace quillon

#include "windows/ProgramLists.h"

namespace quillon {

void StartSave(IFormView& view, const ProgramLists& lists, SaveDelivery& delivery) {
    const SaveRow row = ChooseSaveRow(view.Value(Control::chkSaveAs), view.Value(Control::chkCurrent));
    delivery.Begin(row, lists.SelectedHandle(), lists.SelectedTitle(), view.Value(Control::chkSave) == 1);
}

} // namespace quillon
