// One save, typed a confirmed step at a time. It waits until the user has paused, brings the
// window forward and waits for it to be ready, types Alt+F alone and watches the program open its
// File menu, and only then types the item's letter; it waits for the program to take the letter
// before the save counts (and is logged), and gives the front back. Whatever ends it early closes
// a menu its keys opened, releases every key it pressed and gives the front back, so a key that
// could not do what it meant is never typed, and nothing is logged that the program did not take.
// An editor without a classic menu whose title marks unsaved changes gets Ctrl+S instead, with
// the same steps around it, and the save counts once the mark has left its title.
#pragma once

#include "app/FormView.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/SaveDispatch.h"
#include "scheduler/SaveOutcome.h"
#include "scheduler/Versions.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct SaveRequest {
    SaveRow row;
    std::optional<ListedWindow> listed; // the kept program's window, for the listed rows
    std::wstring entry;                 // its List1 text (as it would be listed), for the log line
    bool writeLog = false;
    std::uint64_t intervalMs = 0; // the cycle's length: the longest wait for a pause in the user's input
    bool shortcut = false;        // Ctrl+S instead of the menu's keys, confirmed by the title's mark
    std::wstring document;        // Ctrl+S and a program's message: the marked document they save
    std::wstring file;            // the document's file, where it is known for certain: kept before the save
};

// Why a save by the title (Ctrl+S, a program's message) must not go out: the marked document it
// began with is no longer shown marked. Nothing when it still is.
std::optional<SaveOutcome> TitleNoLongerAsks(IDesktop& desktop, WindowHandle window, const std::wstring& document);
// What the title says after such a save went out: Saved once the same document is shown without
// its mark, NotSavedByProgram while it keeps it, TitleChanged when another document is shown (the
// user went to a clean tab: no save of theirs).
SaveOutcome TitleAfterSave(IDesktop& desktop, WindowHandle window, const std::wstring& document);

class SaveDelivery {
public:
    static constexpr std::uint64_t kPauseBeforeTakingFrontMs = 1500;
    static constexpr std::uint64_t kDefaultWaitLimitMs = 10000; // for a cycle of unknown length
    static constexpr std::uint64_t kAnswerWaitMs = 3000;        // a busy program is asked again this long
    static constexpr std::uint64_t kForegroundWaitMs = 1000;
    static constexpr std::uint64_t kRetryAfterMs = 300;
    static constexpr std::uint64_t kSettleAfterActivationMs = 50;
    static constexpr std::uint64_t kMenuOpenWaitMs = 1000;
    static constexpr std::uint64_t kLetterTakenWaitMs = 2000;
    static constexpr std::uint64_t kDialogWaitMs = 1000;
    static constexpr std::uint64_t kMarkClearWaitMs = 3000; // after Ctrl+S, the title must drop its mark
    static constexpr std::uint64_t kMenuCloseWaitMs = 500;
    static constexpr std::uint64_t kEscapeAfterMs = 100;
    static constexpr int kEscapesAtMost = 2;
    static constexpr std::uint64_t kFrontBackWaitMs = 1000;
    static constexpr std::uint64_t kFrontBackSettleMs = 100; // the user's window must stay in front this long
    static constexpr unsigned kAnswerTimeoutMs = 25;
    static constexpr unsigned kPollMs = 10;
    static constexpr unsigned kReadyPollMs = 100;
    // How close to Quillon's own typing an input may come and still be taken for it.
    static constexpr std::uint64_t kOwnInputSlackMs = 50;

    SaveDelivery(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, ActivityLog& log,
                 Versions& versions)
        : view_(view), desktop_(desktop), input_(input), system_(system), log_(log), versions_(versions) {}

    // Called with the outcome of every save that began (not for one refused as Busy).
    void OnFinished(std::function<void(SaveOutcome)> listener) { onFinished_ = std::move(listener); }

    // Starts delivering a save. One that is still waiting for the user's pause takes the new
    // cycle's request over; one further on is not interrupted.
    void Begin(const SaveRequest& request);
    // Saving was switched off: a delivery that has not typed its letter yet ends here.
    void Cancel();
    void tmrDeliver_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    // Nothing has been taken or typed yet: the save waits for the user's pause.
    bool WaitingForPause() const { return phase_ == Phase::WaitReady; }
    // Quillon has brought the window forward for this save and not given the front back yet.
    bool HoldsFront() const { return phase_ != Phase::Idle && phase_ != Phase::WaitWritten && frontTaken_; }
    // The user pressed a key or used the mouse while the last save held the front: what the
    // window reported of its activation meanwhile may have been the user's work in it.
    bool UserActedWhileHoldingFront() const { return userActedWhileHolding_; }
    const SaveRequest& Request() const { return request_; }
    std::optional<SaveOutcome> LastOutcome() const { return lastOutcome_; }

private:
    enum class Phase {
        Idle, WaitReady, WaitFront, WaitMenu, WaitLetterTaken, WaitDialog, WaitMarkCleared, CloseDialog, CloseMenu,
        WaitFrontBack, WaitWritten
    };
    enum class Retry { None, Tapped, Done };
    class StepGuard;

    void Start(const SaveRequest& request, std::uint64_t now);
    bool Cancellable() const;
    void Advance();
    // The steps, in the order a save takes them.
    void AdvanceReady(std::uint64_t now);
    void TakeFront(std::uint64_t now);
    void AdvanceFront(std::uint64_t now);
    void RetryFrontIfSlow(std::uint64_t now);
    void TypeFirstKeys(std::uint64_t now);
    void AdvanceMarkCleared(std::uint64_t now);
    void AdvanceCloseDialog(std::uint64_t now);
    void AdvanceMenu(std::uint64_t now);
    void TypeItemKey(std::uint64_t now, bool viaMenu);
    void AdvanceLetterTaken(std::uint64_t now);
    void Confirm(std::uint64_t now);
    void AdvanceDialog(std::uint64_t now);
    // The ways out.
    void Abandon(SaveOutcome outcome, std::uint64_t now);
    void AdvanceCloseMenu(std::uint64_t now);
    void GiveFrontBack(std::uint64_t now);
    void AdvanceFrontBack(std::uint64_t now);
    void AdvanceWritten(std::uint64_t now);
    void Finish(SaveOutcome outcome);

    // What the steps look at.
    WindowHandle Receiver();
    std::optional<SaveOutcome> WhyNotTypeInto(WindowHandle receiver);
    bool MayTypeIntoTarget();
    bool IsListedWindowStillThere() const;
    bool AnswersSoon(WindowHandle window, std::uint64_t now);
    bool IsReadyForKeys(WindowHandle window);
    bool OwnMenuOpen(const ThreadInput& in) const;
    bool LeftForAViewWithoutCaret(const ThreadInput& in) const;
    bool SaveOpenedDialog();
    WindowHandle OpenedDialog();
    bool IsOfTarget(WindowHandle window);
    bool UserInAMenu();
    bool AnyGuardedKeyDown();
    std::uint64_t UserIdleMs(std::uint64_t now) const;
    bool UserTouchedSince(std::uint64_t since, std::uint64_t now) const;
    // Typing: every key Quillon pressed is remembered until its release went in.
    bool Type(const std::vector<KeyEvent>& events);
    void ReleaseOwnKeys();
    void Enter(Phase phase, std::uint64_t now, unsigned pollMs = kPollMs);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    ActivityLog& log_;
    Versions& versions_;
    std::function<void(SaveOutcome)> onFinished_;

    Phase phase_ = Phase::Idle;
    SaveRequest request_;
    WindowHandle target_ = 0;
    std::uint64_t cycleStart_ = 0;
    std::uint64_t phaseStart_ = 0;
    std::optional<std::uint64_t> unansweredSince_;
    std::optional<std::uint64_t> readySince_;
    Retry retry_ = Retry::None;
    // The window the user was working in when the front was taken, the control that had its
    // focus, and whether the target was minimised; nothing when the target was in front already.
    bool frontTaken_ = false;
    std::uint64_t frontTakenAt_ = 0;
    bool userActedWhileHolding_ = false;
    WindowHandle previousFront_ = 0;
    std::optional<std::uint64_t> backSince_; // the user's window has been in front since
    WindowHandle previousFocus_ = 0;
    bool wasMinimized_ = false;
    // The typing: the target's focus and caret before Alt+F, and how the letter went in.
    ThreadInput before_;
    std::uint64_t menuKeysAt_ = 0;
    bool menuKeysTyped_ = false;
    bool letterTyped_ = false;
    bool viaMenu_ = true;
    int answersSinceClosed_ = 0;
    int escapes_ = 0;
    SaveOutcome outcome_ = SaveOutcome::Saved; // how the delivery ends, once it is known
    std::vector<std::uint8_t> held_;                    // keys pressed and not yet released
    std::optional<std::uint64_t> ownInputAt_;           // when Quillon last typed a key itself
    bool inStep_ = false;
    bool cancelRequested_ = false;
    std::optional<SaveOutcome> lastOutcome_;
};

} // namespace quillon
