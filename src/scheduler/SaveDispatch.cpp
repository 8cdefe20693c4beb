#include "scheduler/SaveDispatch.h"

#include "windows/ProgramLists.h"

#include <algorithm>
#include <cwctype>
#include <limits>

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

namespace {

// The mark a skipped save leaves on the debugger's output, naming why; none for a typed one.
const wchar_t* SkipTrace(DeliveryOutcome outcome);

} // namespace

bool TakesKeys(IDesktop& desktop, WindowHandle window) {
    if (window == 0 || !desktop.IsEnabled(window))
        return false;
    const WindowHandle owner = desktop.OwnerOf(window);
    return owner == 0 || desktop.IsEnabled(owner);
}

// Marks a step of the delivery under way. Asking another program whether it answers may let
// messages sent to Quillon run meanwhile; a save that one of them would start or advance waits
// for the step to end instead of running inside it.
class SaveDelivery::StepGuard {
public:
    explicit StepGuard(bool& inStep) : inStep_(inStep) { inStep_ = true; }
    ~StepGuard() { inStep_ = false; }
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;

private:
    bool& inStep_;
};

void SaveDelivery::Begin(const SaveRequest& request) {
    if (Busy() || inStep_) {
        lastOutcome_ = DeliveryOutcome::Busy;
        return;
    }
    StepGuard step(inStep_);
    system_.Trace(L"save-cycle");
    request_ = request;
    retried_ = false;
    previousFront_ = previousFocus_ = 0;
    cycleStart_ = system_.TickCountMs();
    if (request.row.target == SaveTarget::Focused) {
        target_ = 0;
        Enter(Phase::WaitKeysReleased, cycleStart_);
    } else {
        target_ = request.listed ? request.listed->window : 0;
        if (!IsListedWindowStillThere())
            return Finish(DeliveryOutcome::NoTarget);
        // A program that does not answer would not take the keys, and waiting on it would hang.
        if (!desktop_.Answers(target_, kAnswerTimeoutMs))
            return Finish(DeliveryOutcome::NotResponding);
        if (desktop_.ForegroundWindow() == target_)
            Enter(Phase::WaitForeground, cycleStart_);
        else
            Enter(Phase::WaitForPause, cycleStart_, kPausePollMs);
    }
    Advance();
}

void SaveDelivery::Cancel() {
    if (phase_ != Phase::Idle && phase_ != Phase::WaitKeysTaken)
        Finish(DeliveryOutcome::Cancelled);
}

void SaveDelivery::tmrDeliver_Timer() {
    if (inStep_)
        return;
    StepGuard step(inStep_);
    Advance();
}

void SaveDelivery::Advance() {
    const std::uint64_t now = system_.TickCountMs();
    if (phase_ == Phase::WaitForPause)
        AdvancePause(now);
    if (phase_ == Phase::WaitForeground && !AdvanceForeground(now))
        return;
    if (phase_ == Phase::WaitKeysReleased) {
        if (!AnyGuardedKeyDown())
            return TypeNow();
        if (now - phaseStart_ >= kKeyReleaseWaitMs)
            Finish(DeliveryOutcome::KeysHeld);
        return;
    }
    if (phase_ == Phase::WaitKeysTaken)
        AdvanceKeysTaken(now);
}

// Takes the front only once the user has paused: while they keep typing or using the mouse the
// save waits, and gives up on this cycle after the longest wait.
void SaveDelivery::AdvancePause(std::uint64_t now) {
    if (UserIdleMs(now) >= kPauseBeforeTakingFrontMs)
        return TakeFront(now);
    const std::uint64_t limit = std::min<std::uint64_t>(kPauseWaitLimitMs, request_.intervalMs);
    if (now - cycleStart_ >= limit)
        Finish(DeliveryOutcome::UserBusy);
}

// The system counts Quillon's own typed keys as input too: input that came at the moment Quillon
// typed is not the user's, and the pause counts from Quillon's keys only when the user has been
// still since.
std::uint64_t SaveDelivery::UserIdleMs(std::uint64_t now) const {
    const std::uint64_t idle = input_.MsSinceLastInput();
    if (!ownInputAt_ || idle > now)
        return idle;
    const std::uint64_t lastInputAt = now - idle;
    const bool ours = lastInputAt + kOwnInputSlackMs >= *ownInputAt_ && lastInputAt <= *ownInputAt_ + kOwnInputSlackMs;
    return ours ? std::numeric_limits<std::uint64_t>::max() : idle;
}

void SaveDelivery::TakeFront(std::uint64_t now) {
    if (!IsListedWindowStillThere())
        return Finish(DeliveryOutcome::NoTarget);
    previousFront_ = desktop_.ForegroundWindow();
    previousFocus_ = previousFront_ != 0 ? desktop_.FocusOf(previousFront_) : 0;
    system_.Trace(L"front-taken");
    desktop_.SetForegroundWindow(target_);
    desktop_.OpenIcon(target_);
    Enter(Phase::WaitForeground, now);
}

// Waits for the listed window to become the foreground window, asking once more if it is slow
// to come; returns true once it is there.
bool SaveDelivery::AdvanceForeground(std::uint64_t now) {
    if (desktop_.IsReadyForInput(target_)) {
        Enter(Phase::WaitKeysReleased, now);
        return true;
    }
    if (now - phaseStart_ >= kForegroundWaitMs) {
        Finish(DeliveryOutcome::NotForeground);
        return false;
    }
    if (!retried_ && now - phaseStart_ >= kRetryAfterMs) {
        retried_ = true;
        ownInputAt_ = now; // the retry taps a key that nothing acts on
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

// The listed window is still the one that was listed: it exists, its handle still belongs to
// the same process, and it is not one of Quillon's own windows.
bool SaveDelivery::IsListedWindowStillThere() const {
    if (!request_.listed || target_ == 0 || !desktop_.IsWindow(target_))
        return false;
    if (desktop_.BelongsToThisProcess(target_))
        return false;
    return desktop_.ProcessIdOf(target_) == request_.listed->processId;
}

void SaveDelivery::TypeNow() {
    WindowHandle receiver = target_;
    if (request_.row.target == SaveTarget::Listed) {
        if (!IsListedWindowStillThere())
            return Finish(DeliveryOutcome::NoTarget);
        if (!desktop_.IsReadyForInput(target_) || !TakesKeys(desktop_, target_))
            return Finish(DeliveryOutcome::NotForeground);
    } else {
        receiver = desktop_.ForegroundWindow();
        // Quillon's own windows have no File menu to save with, and keys typed into a disabled
        // window or a modal dialog would answer the dialog rather than save.
        if (receiver == 0 || desktop_.BelongsToThisProcess(receiver) || !TakesKeys(desktop_, receiver))
            return Finish(DeliveryOutcome::NoTarget);
        // A program busy elsewhere (opening a dialog, say) would take the keys late, wherever
        // its focus has gone by then.
        if (!desktop_.Answers(receiver, kAnswerTimeoutMs))
            return Finish(DeliveryOutcome::NotResponding);
    }
    if (!MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(receiver)))
        return Finish(DeliveryOutcome::Elevated);
    const std::vector<KeyEvent> events = KeyEventsFor(request_.row.keys);
    ownInputAt_ = system_.TickCountMs();
    if (input_.SendKeys(events, receiver) != events.size())
        return Finish(DeliveryOutcome::Incomplete);
    system_.Trace(L"keys-sent");
    if (request_.writeLog)
        log_.Write(request_.entry);
    // Save As opens a dialog that the user must answer: its program keeps the front.
    if (previousFront_ == 0 || request_.row.keys != L"%FS")
        return Finish(DeliveryOutcome::Typed);
    sawMenu_ = false;
    answersAfterKeys_ = 0;
    Enter(Phase::WaitKeysTaken, system_.TickCountMs());
}

// The front goes back only once the program has taken the keys: a File menu that the keys opened
// has closed again and the program has answered twice since (the second answer comes after the
// Save command it posted itself), or at the latest after a second.
void SaveDelivery::AdvanceKeysTaken(std::uint64_t now) {
    const bool timedOut = now - phaseStart_ >= kKeysTakenWaitMs;
    if (!timedOut) {
        if (desktop_.InMenuMode(target_)) {
            sawMenu_ = true;
            return;
        }
        if (!sawMenu_ && now - phaseStart_ < kNoMenuGraceMs)
            return;
        if (!desktop_.Answers(target_, kAnswerTimeoutMs) || ++answersAfterKeys_ < 2)
            return;
    }
    GiveFrontBack();
    Finish(DeliveryOutcome::Typed);
}

// Brings back the window the user was working in, if it is still there to work in, and unless
// the save put a window of its own in front (a dialog asking for a file name, say).
void SaveDelivery::GiveFrontBack() {
    const WindowHandle previous = previousFront_;
    if (desktop_.ForegroundWindow() != target_ || !TakesKeys(desktop_, target_))
        return;
    if (!desktop_.IsWindow(previous) || !desktop_.IsWindowVisible(previous) || !desktop_.IsEnabled(previous))
        return;
    desktop_.SetForegroundWindow(previous);
    if (previousFocus_ != 0 && previousFocus_ != previous)
        desktop_.RestoreFocus(previous, previousFocus_);
    system_.Trace(L"front-returned");
}

void SaveDelivery::Enter(Phase phase, std::uint64_t now, unsigned pollMs) {
    phase_ = phase;
    phaseStart_ = now;
    view_.SetTimer(Timer::tmrDeliver, pollMs, true);
}

namespace {

const wchar_t* SkipTrace(DeliveryOutcome outcome) {
    switch (outcome) {
    case DeliveryOutcome::Typed:
        return nullptr;
    case DeliveryOutcome::NoTarget:
        return L"save-skipped no-target";
    case DeliveryOutcome::UserBusy:
        return L"save-skipped user-busy";
    case DeliveryOutcome::NotResponding:
        return L"save-skipped not-responding";
    case DeliveryOutcome::NotForeground:
        return L"save-skipped not-foreground";
    case DeliveryOutcome::KeysHeld:
        return L"save-skipped keys-held";
    case DeliveryOutcome::Elevated:
        return L"save-skipped elevated";
    case DeliveryOutcome::Incomplete:
        return L"save-skipped incomplete";
    case DeliveryOutcome::Busy:
        return L"save-skipped busy";
    case DeliveryOutcome::Cancelled:
        return L"save-skipped cancelled";
    }
    return L"save-skipped";
}

} // namespace

void SaveDelivery::Finish(DeliveryOutcome outcome) {
    if (const wchar_t* skipped = SkipTrace(outcome))
        system_.Trace(skipped);
    phase_ = Phase::Idle;
    lastOutcome_ = outcome;
    view_.SetTimer(Timer::tmrDeliver, kPollMs, false);
}

void StartSave(IFormView& view, const ProgramLists& lists, SaveDelivery& delivery, double intervalSeconds) {
    SaveRequest request;
    request.row = ChooseSaveRow(view.Value(Control::chkSaveAs), view.Value(Control::chkCurrent));
    request.listed = lists.SelectedWindow();
    request.entry = lists.SelectedTitle();
    request.writeLog = view.Value(Control::chkSave) == 1;
    // An unknown length leaves the longest wait for a pause as it is.
    const double seconds = std::min(intervalSeconds > 0 ? intervalSeconds : 0.0, 1e9);
    request.intervalMs = seconds > 0 ? static_cast<std::uint64_t>(seconds * 1000) : SaveDelivery::kPauseWaitLimitMs;
    delivery.Begin(request);
}

} // namespace quillon
