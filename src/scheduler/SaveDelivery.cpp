#include "scheduler/SaveDelivery.h"

#include "windows/Enumeration.h"
#include "windows/TitleMarks.h"

#include <algorithm>
#include <limits>

namespace quillon {
namespace {

constexpr int kShowMinimized = 2;

// The keys with Shift and Ctrl released first. A program that missed the user's release of one
// (under Wine, a key let go while another window had the keyboard) would take Alt+F or the letter
// for another command and never save; a release of a key that is up changes nothing else. Alt is
// never released alone: that would open the menu bar of a program that still takes it for down.
std::vector<KeyEvent> AfterModifiersReleased(std::vector<KeyEvent> keys) {
    keys.insert(keys.begin(), {{vk::Shift, false}, {vk::Control, false}});
    return keys;
}

} // namespace

std::optional<SaveOutcome> TitleNoLongerAsks(IDesktop& desktop, WindowHandle window,
                                             const std::wstring& document) {
    switch (FollowDocument(ReadWindowTitle(desktop, window), document)) {
    case ShownDocument::Marked:
        return std::nullopt;
    case ShownDocument::Clean:
        return SaveOutcome::NothingToSave;
    case ShownDocument::Other:
        break;
    }
    return SaveOutcome::TitleChanged;
}

SaveOutcome TitleAfterSave(IDesktop& desktop, WindowHandle window, const std::wstring& document) {
    switch (FollowDocument(ReadWindowTitle(desktop, window), document)) {
    case ShownDocument::Clean:
        return SaveOutcome::Saved;
    case ShownDocument::Marked:
        return SaveOutcome::NotSavedByProgram;
    case ShownDocument::Other:
        break;
    }
    return SaveOutcome::TitleChanged;
}

// Marks a step of the delivery under way. Asking another program whether it answers may let
// messages sent to Quillon run meanwhile; a save that one of them would start, advance or cancel
// waits for the step to end instead of running inside it.
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
    if (inStep_ || (Busy() && phase_ != Phase::WaitReady)) {
        lastOutcome_ = SaveOutcome::Busy;
        return;
    }
    StepGuard step(inStep_);
    if (phase_ == Phase::WaitReady)
        system_.Trace(L"save-carried-over"); // the waiting save goes on as the new cycle's
    Start(request, system_.TickCountMs());
    Advance();
}

// Nothing has been taken or typed while the save waits for the user: the new cycle's request
// simply replaces the old one, so the user's typing delays a save and never drops one.
void SaveDelivery::Start(const SaveRequest& request, std::uint64_t now) {
    request_ = request;
    versions_.Begin(request.file);
    cycleStart_ = now;
    target_ = 0;
    unansweredSince_.reset();
    readySince_.reset();
    retry_ = Retry::None;
    frontTaken_ = userActedWhileHolding_ = false;
    previousFront_ = previousFocus_ = 0;
    wasMinimized_ = false;
    menuKeysTyped_ = letterTyped_ = false;
    viaMenu_ = true;
    answersSinceClosed_ = escapes_ = 0;
    cancelRequested_ = false;
    Enter(Phase::WaitReady, now, kReadyPollMs);
}

void SaveDelivery::Cancel() {
    if (inStep_) {
        cancelRequested_ = true;
        return;
    }
    if (Cancellable()) {
        StepGuard step(inStep_);
        Abandon(SaveOutcome::Cancelled, system_.TickCountMs());
    }
}

// Until the letter is typed; after it the program is saving, and the delivery sees it through.
bool SaveDelivery::Cancellable() const {
    return phase_ == Phase::WaitReady || phase_ == Phase::WaitFront || phase_ == Phase::WaitMenu;
}

void SaveDelivery::tmrDeliver_Timer() {
    if (inStep_)
        return;
    StepGuard step(inStep_);
    Advance();
}

void SaveDelivery::Advance() {
    const std::uint64_t now = system_.TickCountMs();
    if (cancelRequested_) {
        cancelRequested_ = false;
        if (Cancellable())
            return Abandon(SaveOutcome::Cancelled, now);
    }
    switch (phase_) {
    case Phase::Idle:
        return;
    case Phase::WaitReady:
        return AdvanceReady(now);
    case Phase::WaitFront:
        return AdvanceFront(now);
    case Phase::WaitMenu:
        return AdvanceMenu(now);
    case Phase::WaitLetterTaken:
        return AdvanceLetterTaken(now);
    case Phase::WaitDialog:
        return AdvanceDialog(now);
    case Phase::WaitMarkCleared:
        return AdvanceMarkCleared(now);
    case Phase::CloseDialog:
        return AdvanceCloseDialog(now);
    case Phase::CloseMenu:
        return AdvanceCloseMenu(now);
    case Phase::WaitFrontBack:
        return AdvanceFrontBack(now);
    case Phase::WaitWritten:
        return AdvanceWritten(now);
    }
}

// Step 1: every check before anything is taken. The save waits while the user works (typing,
// using the mouse, holding a key or button, in a menu) for as long as the cycle lasts; a window
// that may not be typed into skips the cycle at once; a program that is busy is asked again for
// a while.
void SaveDelivery::AdvanceReady(std::uint64_t now) {
    if (request_.row.target == SaveTarget::Listed && !IsListedWindowStillThere())
        return Finish(SaveOutcome::NoTarget);
    const std::uint64_t limit = request_.intervalMs > 0 ? request_.intervalMs : kDefaultWaitLimitMs;
    const bool keysHeld = AnyGuardedKeyDown();
    if (keysHeld || UserIdleMs(now) < kPauseBeforeTakingFrontMs || UserInAMenu()) {
        if (now - cycleStart_ >= limit)
            Finish(keysHeld ? SaveOutcome::KeysHeld : SaveOutcome::UserBusy);
        return;
    }
    const WindowHandle receiver = Receiver();
    if (const auto why = WhyNotTypeInto(receiver))
        return Finish(*why);
    if (const auto why =
            request_.shortcut ? TitleNoLongerAsks(desktop_, receiver, request_.document) : std::nullopt)
        return Finish(*why);
    if (!AnswersSoon(receiver, now) || !versions_.ReadyToSave(now))
        return;
    target_ = receiver;
    if (desktop_.ForegroundWindow() != target_)
        return TakeFront(now);
    Enter(Phase::WaitFront, now);
    AdvanceFront(now);
}

// Step 2: the window comes to the front. What the user was working in is noted, to go back to.
void SaveDelivery::TakeFront(std::uint64_t now) {
    previousFront_ = desktop_.ForegroundWindow();
    previousFocus_ = previousFront_ != 0 ? desktop_.InputOf(previousFront_).focus : 0;
    wasMinimized_ = desktop_.Placement(target_).showCmd == kShowMinimized;
    frontTaken_ = true;
    frontTakenAt_ = now;
    system_.Trace(L"front-taken");
    desktop_.SetForegroundWindow(target_);
    desktop_.OpenIcon(target_);
    Enter(Phase::WaitFront, now);
}

// Waits for the window to be in front, active and with a focused control. A window just brought
// forward finishes its activation in its own time (under Wine its keyboard state is even reset
// then, and the system counts that as input), so it is given a moment and must have answered
// since before keys go in. Should the user meanwhile go to another window, that one keeps the
// front; should they open a menu (Quillon's tray menu, say), the save ends there.
void SaveDelivery::AdvanceFront(std::uint64_t now) {
    const WindowHandle front = desktop_.ForegroundWindow();
    if (front != target_ && UserInAMenu())
        return Abandon(SaveOutcome::UserInterrupted, now);
    if (frontTaken_ && front != 0 && front != target_ && front != previousFront_ && !IsOfTarget(front))
        return Abandon(SaveOutcome::FrontLost, now);
    if (front == target_ && !TakesKeys(desktop_, target_))
        return Abandon(SaveOutcome::Occupied, now);
    if (IsReadyForKeys(target_)) {
        if (!readySince_)
            readySince_ = now;
        const bool settled = !frontTaken_ || now - *readySince_ >= kSettleAfterActivationMs;
        if (settled && desktop_.Answers(target_, kAnswerTimeoutMs))
            return TypeFirstKeys(now);
    } else {
        readySince_.reset();
    }
    if (now - phaseStart_ >= kForegroundWaitMs)
        return Abandon(SaveOutcome::NotForeground, now);
    RetryFrontIfSlow(now);
}

// Windows lets a program bring a window forward only when it received the last input. A refused
// request is asked once more after a key that nothing acts on, on the next poll, once the key
// has gone all the way through.
void SaveDelivery::RetryFrontIfSlow(std::uint64_t now) {
    if (!frontTaken_)
        return;
    if (retry_ == Retry::None && now - phaseStart_ >= kRetryAfterMs) {
        retry_ = Retry::Tapped;
        Type({{vk::Unassigned, true}, {vk::Unassigned, false}});
    } else if (retry_ == Retry::Tapped) {
        retry_ = Retry::Done;
        desktop_.SetForegroundWindow(target_);
        desktop_.OpenIcon(target_);
    }
}

// Step 3: Alt+F alone, or Ctrl+S in an editor without a classic menu whose title marks its
// changes. The checks are made once more right before it, the title's among them: Ctrl+S saves
// whichever document the window shows by now.
void SaveDelivery::TypeFirstKeys(std::uint64_t now) {
    if (const auto why = WhyNotTypeInto(target_))
        return Abandon(*why, now);
    if (const auto why =
            request_.shortcut ? TitleNoLongerAsks(desktop_, target_, request_.document) : std::nullopt)
        return Abandon(*why, now);
    if (AnyGuardedKeyDown())
        return Abandon(SaveOutcome::KeysHeld, now);
    before_ = desktop_.InputOf(target_);
    const bool shortcut = request_.shortcut;
    (shortcut ? letterTyped_ : menuKeysTyped_) = true;
    const std::wstring keys = shortcut ? L"^S" : SplitSaveKeys(request_.row.keys).openMenu;
    if (!Type(AfterModifiersReleased(KeyEventsFor(keys))))
        return Abandon(SaveOutcome::Incomplete, now);
    menuKeysAt_ = now;
    system_.Trace(shortcut ? L"keys-sent" : L"menu-keys-sent");
    Enter(shortcut ? Phase::WaitMarkCleared : Phase::WaitMenu, now);
}

// Step 4 of Ctrl+S: the save counts once the mark has left the title of a window that answers,
// the same document still shown.
// A dialog it opened (the document had no file after all) is cancelled at once: only the user can
// name the document.
void SaveDelivery::AdvanceMarkCleared(std::uint64_t now) {
    if (const WindowHandle dialog = OpenedDialog()) {
        outcome_ = SaveOutcome::NeverSaved;
        desktop_.AskToClose(dialog);
        return Enter(Phase::CloseDialog, now);
    }
    const SaveOutcome shown = TitleAfterSave(desktop_, target_, request_.document);
    if (shown == SaveOutcome::Saved && desktop_.Answers(target_, kAnswerTimeoutMs))
        return Confirm(now);
    if (now - phaseStart_ >= kMarkClearWaitMs)
        Abandon(shown == SaveOutcome::Saved ? SaveOutcome::NotSavedByProgram : shown, now);
}

void SaveDelivery::AdvanceCloseDialog(std::uint64_t now) {
    if (OpenedDialog() == 0 || now - phaseStart_ >= kDialogWaitMs)
        GiveFrontBack(now);
}

// Step 4: the letter follows only once Alt+F visibly did what it means: the window's own File
// menu dropped down, or (a ribbon's File view) the focus left its control for one without a caret.
// The window must still be in front and the user must not have touched anything since. A window
// of the program's own that took the front (a menu it draws itself) is no File menu of the window.
void SaveDelivery::AdvanceMenu(std::uint64_t now) {
    if (const WindowHandle front = desktop_.ForegroundWindow(); front != target_)
        return Abandon(front != 0 && IsOfTarget(front) ? SaveOutcome::MenuNotOpened : SaveOutcome::FrontLost,
                       now);
    if (UserTouchedSince(menuKeysAt_, now) || AnyGuardedKeyDown())
        return Abandon(SaveOutcome::UserInterrupted, now);
    const ThreadInput in = desktop_.InputOf(target_);
    if (in.inMenu && (in.systemMenu || in.menuOwner != target_))
        return Abandon(SaveOutcome::MenuNotOpened, now);
    if (OwnMenuOpen(in))
        return TypeItemKey(now, true);
    if (LeftForAViewWithoutCaret(in))
        return TypeItemKey(now, false);
    if (now - phaseStart_ >= kMenuOpenWaitMs)
        Abandon(SaveOutcome::MenuNotOpened, now);
}

void SaveDelivery::TypeItemKey(std::uint64_t now, bool viaMenu) {
    if (!MayTypeIntoTarget())
        return Abandon(SaveOutcome::Elevated, now);
    viaMenu_ = viaMenu;
    letterTyped_ = true;
    if (!Type(KeyEventsFor(SplitSaveKeys(request_.row.keys).item)))
        return Abandon(SaveOutcome::Incomplete, now);
    system_.Trace(L"keys-sent");
    answersSinceClosed_ = 0;
    Enter(Phase::WaitLetterTaken, now);
}

// Step 5: the program takes the letter: its menu closes (a File view gives the focus back or
// opens a dialog), and it answers twice since, the second time after the command the menu
// posted. A menu that stays open did not know the letter: it is closed and nothing is logged.
void SaveDelivery::AdvanceLetterTaken(std::uint64_t now) {
    const ThreadInput in = desktop_.InputOf(target_);
    const bool stillOpen = viaMenu_ ? in.inMenu : in.focus != before_.focus && !SaveOpenedDialog();
    if (stillOpen) {
        answersSinceClosed_ = 0;
    } else if (desktop_.Answers(target_, kAnswerTimeoutMs) && ++answersSinceClosed_ >= 2) {
        return Confirm(now);
    }
    if (now - phaseStart_ < kLetterTakenWaitMs)
        return;
    if (stillOpen)
        return Abandon(SaveOutcome::LetterNotTaken, now);
    Confirm(now); // the menu took the letter; the program is still busy saving
}

void SaveDelivery::Confirm(std::uint64_t now) {
    const bool saveAs = SplitSaveKeys(request_.row.keys).item != L"S";
    // A dialog that Save opened (a file name to give, an error) wants an answer: it keeps the
    // front, and the document is not saved until the user has answered it.
    if (!saveAs && SaveOpenedDialog())
        return Finish(SaveOutcome::NeverSaved);
    outcome_ = SaveOutcome::Saved;
    if (SaveOpenedDialog())
        return Finish(SaveOutcome::Saved);
    // Save As opens its dialog a moment later.
    if (frontTaken_ && saveAs)
        return Enter(Phase::WaitDialog, now);
    GiveFrontBack(now);
}

void SaveDelivery::AdvanceDialog(std::uint64_t now) {
    if (SaveOpenedDialog())
        return Finish(SaveOutcome::Saved);
    if (now - phaseStart_ >= kDialogWaitMs)
        GiveFrontBack(now);
}

// Every way out once something was taken or typed: the keys go up, a menu the keys opened is
// closed, the front goes back.
void SaveDelivery::Abandon(SaveOutcome outcome, std::uint64_t now) {
    outcome_ = outcome;
    ReleaseOwnKeys();
    if (menuKeysTyped_ && target_ != 0) {
        const ThreadInput in = desktop_.InputOf(target_);
        if (in.inMenu) {
            desktop_.CancelMenu(in.menuOwner != 0 ? in.menuOwner : target_);
            return Enter(Phase::CloseMenu, now);
        }
    }
    GiveFrontBack(now);
}

// The owner was asked to close its menu. Should it not, Escape closes it too, but it goes to
// whatever is in front: it is typed only while the target is in front and still in its menu.
void SaveDelivery::AdvanceCloseMenu(std::uint64_t now) {
    const ThreadInput in = desktop_.InputOf(target_);
    if (!in.inMenu || now - phaseStart_ >= kMenuCloseWaitMs)
        return GiveFrontBack(now);
    if (now - phaseStart_ >= kEscapeAfterMs && escapes_ < kEscapesAtMost &&
        desktop_.ForegroundWindow() == target_ && !AnyGuardedKeyDown() && MayTypeIntoTarget()) {
        ++escapes_;
        Type({{vk::Escape, true}, {vk::Escape, false}});
    }
}

// The user's window comes back to the front, unless the save opened a dialog that wants an
// answer, the user has moved on to another window, or their window is gone. A window that was
// minimised before the save is minimised again.
void SaveDelivery::GiveFrontBack(std::uint64_t now) {
    if (!frontTaken_)
        return Finish(outcome_);
    if (letterTyped_ && outcome_ != SaveOutcome::NeverSaved && SaveOpenedDialog())
        return Finish(outcome_);
    const WindowHandle previous = previousFront_;
    const WindowHandle front = desktop_.ForegroundWindow();
    const bool movedOn = front != 0 && front != target_ && front != previous && !IsOfTarget(front);
    const bool usable =
        desktop_.IsWindow(previous) && desktop_.IsWindowVisible(previous) && desktop_.IsEnabled(previous);
    const bool giveBack = usable && !movedOn && front != previous;
    if (giveBack) {
        desktop_.SetForegroundWindow(previous);
        system_.Trace(L"front-returned");
    }
    if (wasMinimized_)
        desktop_.Minimize(target_);
    if (!giveBack)
        return Finish(outcome_);
    backSince_.reset();
    Enter(Phase::WaitFrontBack, now);
}

// The caret goes back where it was once the user's window has stayed active a moment; most
// programs put it back themselves. Until then the target's program may take the front once more
// (a menu it draws itself, shown a moment after Alt+F and closing again), or the system may give it
// to no window: the front is asked for again, never from a window the user went to meanwhile.
void SaveDelivery::AdvanceFrontBack(std::uint64_t now) {
    const WindowHandle front = desktop_.ForegroundWindow();
    const ThreadInput in = desktop_.InputOf(previousFront_);
    if (front == previousFront_ && in.active == previousFront_) {
        if (!backSince_)
            backSince_ = now;
        if (now - *backSince_ < kFrontBackSettleMs && now - phaseStart_ < kFrontBackWaitMs)
            return;
        if (previousFocus_ != 0 && previousFocus_ != previousFront_ && in.focus != previousFocus_)
            desktop_.RestoreFocus(previousFront_, previousFocus_);
        return Finish(outcome_);
    }
    backSince_.reset();
    if (front == 0 || (front != previousFront_ && IsOfTarget(front)))
        desktop_.SetForegroundWindow(previousFront_);
    if (now - phaseStart_ >= kFrontBackWaitMs)
        Finish(outcome_);
}

// The save the program took counts (and is logged) once its file, where it is known, shows it; the
// front is the user's again meanwhile.
void SaveDelivery::AdvanceWritten(std::uint64_t now) {
    if (const auto outcome = versions_.Confirm(now, log_, request_.writeLog, request_.entry))
        Finish(*outcome);
}

void SaveDelivery::Finish(SaveOutcome outcome) {
    ReleaseOwnKeys();
    if (phase_ != Phase::WaitWritten) {
        userActedWhileHolding_ = frontTaken_ && UserTouchedSince(frontTakenAt_, system_.TickCountMs());
        if (outcome == SaveOutcome::Saved) {
            Enter(Phase::WaitWritten, system_.TickCountMs(), kReadyPollMs);
            return AdvanceWritten(system_.TickCountMs());
        }
    }
    phase_ = Phase::Idle;
    lastOutcome_ = outcome;
    view_.SetTimer(Timer::tmrDeliver, kPollMs, false);
    if (onFinished_)
        onFinished_(outcome);
}

WindowHandle SaveDelivery::Receiver() {
    if (request_.row.target == SaveTarget::Listed)
        return request_.listed ? request_.listed->window : 0;
    return desktop_.ForegroundWindow();
}

// Why keys may not go into `receiver` at all, or nothing when they may.
std::optional<SaveOutcome> SaveDelivery::WhyNotTypeInto(WindowHandle receiver) {
    if (request_.row.target == SaveTarget::Listed) {
        if (!IsListedWindowStillThere())
            return SaveOutcome::NoTarget;
    } else if (receiver == 0 || desktop_.BelongsToThisProcess(receiver)) {
        // Quillon's own windows have no File menu to save with.
        return SaveOutcome::NoTarget;
    }
    // Keys typed into a disabled window or a modal dialog's owner would answer the dialog, and
    // keys typed into an open menu would pick from it.
    if (!TakesKeys(desktop_, receiver) || desktop_.InputOf(receiver).inMenu)
        return SaveOutcome::Occupied;
    if (!MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(receiver)))
        return SaveOutcome::Elevated;
    return std::nullopt;
}

bool SaveDelivery::MayTypeIntoTarget() {
    return MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(target_));
}

// The listed window is still the one that was listed: it exists, its handle still belongs to
// the same process, and it is not one of Quillon's own windows.
bool SaveDelivery::IsListedWindowStillThere() const {
    if (!request_.listed || request_.listed->window == 0)
        return false;
    const WindowHandle window = request_.listed->window;
    if (!desktop_.IsWindow(window) || desktop_.BelongsToThisProcess(window))
        return false;
    return desktop_.ProcessIdOf(window) == request_.listed->processId;
}

// A program the system takes for hung loses the cycle at once; one that is only busy (saving,
// recalculating) is asked again on the next polls, and loses it when it stays silent.
bool SaveDelivery::AnswersSoon(WindowHandle window, std::uint64_t now) {
    if (desktop_.IsHung(window)) {
        Finish(SaveOutcome::NotResponding);
        return false;
    }
    if (desktop_.Answers(window, kAnswerTimeoutMs)) {
        unansweredSince_.reset();
        return true;
    }
    if (!unansweredSince_)
        unansweredSince_ = now;
    if (now - *unansweredSince_ >= kAnswerWaitMs)
        Finish(SaveOutcome::NotResponding);
    return false;
}

bool SaveDelivery::IsReadyForKeys(WindowHandle window) {
    if (desktop_.ForegroundWindow() != window || !desktop_.IsEnabled(window))
        return false;
    const ThreadInput in = desktop_.InputOf(window);
    return in.known && in.active == window && in.focus != 0;
}

bool SaveDelivery::OwnMenuOpen(const ThreadInput& in) const {
    return in.inMenu && in.menuShown && !in.systemMenu && in.menuOwner == target_;
}

// A File view that is no menu (a ribbon's) takes the focus; a control with a caret would take
// the letter as text, so it does not count.
bool SaveDelivery::LeftForAViewWithoutCaret(const ThreadInput& in) const {
    if (!in.known || in.inMenu || in.active != target_ || in.focus == 0 || in.caret != 0)
        return false;
    return in.focus != before_.focus || before_.caret != 0;
}

// A dialog of the target's program in front of it: the target disabled by a modal one, or a
// window it owns in front.
bool SaveDelivery::SaveOpenedDialog() {
    if (target_ == 0 || !desktop_.IsWindow(target_))
        return false;
    if (!desktop_.IsEnabled(target_))
        return true;
    const WindowHandle front = desktop_.ForegroundWindow();
    return front != 0 && front != target_ && desktop_.OwnerOf(front) == target_;
}

// The dialog the save opened, when it is in front: a window of the target's program, other than
// the target, while the target is disabled or owns it.
WindowHandle SaveDelivery::OpenedDialog() {
    const WindowHandle front = desktop_.ForegroundWindow();
    if (!SaveOpenedDialog() || front == 0 || front == target_ || !IsOfTarget(front))
        return 0;
    return front;
}

// A window of the target's own program (a dialog it opened, say).
bool SaveDelivery::IsOfTarget(WindowHandle window) {
    return desktop_.ProcessIdOf(window) == desktop_.ProcessIdOf(target_);
}

// The user is in a menu: one open in the window in front, which taking the front would close
// under them, or Quillon's own tray menu. A menu in the window to be saved is no reason to wait:
// that window is not typed into at all.
bool SaveDelivery::UserInAMenu() {
    const WindowHandle front = desktop_.ForegroundWindow();
    if (front != 0 && front != Receiver() && desktop_.InputOf(front).inMenu)
        return true;
    return desktop_.InputOf(view_.Handle()).inMenu;
}

bool SaveDelivery::AnyGuardedKeyDown() {
    for (std::uint8_t key : kGuardedKeys)
        if (input_.IsKeyDown(key))
            return true;
    return false;
}

// The system counts Quillon's own typed keys as input too: input that came at the moment Quillon
// typed is not the user's, and the pause counts from Quillon's keys only when the user has been
// still since.
std::uint64_t SaveDelivery::UserIdleMs(std::uint64_t now) const {
    const std::uint64_t idle = input_.MsSinceLastInput();
    if (!ownInputAt_ || idle > now)
        return idle;
    const std::uint64_t lastInputAt = now - idle;
    const bool ours =
        lastInputAt + kOwnInputSlackMs >= *ownInputAt_ && lastInputAt <= *ownInputAt_ + kOwnInputSlackMs;
    return ours ? std::numeric_limits<std::uint64_t>::max() : idle;
}

bool SaveDelivery::UserTouchedSince(std::uint64_t since, std::uint64_t now) const {
    return UserIdleMs(now) < now - since;
}

// Types the events; true when every one went in. Whatever went in of a batch the system cut
// short is released at once, so no key Quillon pressed stays down.
bool SaveDelivery::Type(const std::vector<KeyEvent>& events) {
    ownInputAt_ = system_.TickCountMs();
    const std::size_t inserted = std::min(input_.SendKeys(events, target_), events.size());
    for (std::size_t i = 0; i < inserted; ++i) {
        const std::uint8_t key = events[i].virtualKey;
        held_.erase(std::remove(held_.begin(), held_.end(), key), held_.end());
        if (events[i].down)
            held_.push_back(key);
    }
    if (inserted == events.size())
        return true;
    ReleaseOwnKeys();
    return false;
}

// Releases the keys Quillon pressed and did not release, the last pressed first.
void SaveDelivery::ReleaseOwnKeys() {
    if (held_.empty())
        return;
    std::vector<KeyEvent> ups;
    for (auto it = held_.rbegin(); it != held_.rend(); ++it)
        ups.push_back({*it, false});
    ownInputAt_ = system_.TickCountMs();
    const std::size_t inserted = std::min(input_.SendKeys(ups, target_), ups.size());
    for (std::size_t i = 0; i < inserted; ++i)
        held_.erase(std::remove(held_.begin(), held_.end(), ups[i].virtualKey), held_.end());
}

void SaveDelivery::Enter(Phase phase, std::uint64_t now, unsigned pollMs) {
    phase_ = phase;
    phaseStart_ = now;
    view_.SetTimer(Timer::tmrDeliver, pollMs, true);
}

} // namespace quillon
