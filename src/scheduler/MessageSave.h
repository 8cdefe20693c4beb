// A program that saves its current document on a documented message of its own: Notepad++ on
// NPPM_SAVECURRENTFILE (WM_USER + 1000 + 38; it carries no pointer, so it is safe to send from
// another process). No key is typed and the front is never taken; the message waits for the
// user's pause while they work in that very program, goes out with a bounded wait, and the save
// counts once the mark of unsaved changes has left the program's title (and the file, where it is
// known, shows the save).
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/SaveDelivery.h"
#include "scheduler/SaveOutcome.h"

#include <functional>

namespace quillon {

class MessageSave {
public:
    static constexpr std::uint32_t kSaveCurrentFile = 0x0400 + 1000 + 38; // NPPM_SAVECURRENTFILE
    static constexpr unsigned kSendWaitMs = 250; // the program goes on saving when this runs out
    static constexpr std::uint64_t kMarkClearWaitMs = 3000;
    static constexpr std::uint64_t kPauseMs = 1500;
    static constexpr unsigned kPollMs = 100;

    MessageSave(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, ActivityLog& log,
                Versions& versions)
        : view_(view), desktop_(desktop), input_(input), system_(system), log_(log), versions_(versions) {}

    void OnFinished(std::function<void(SaveOutcome)> listener) { onFinished_ = std::move(listener); }

    // Starts the save; one still waiting for the user's pause goes on as the new cycle's.
    void Begin(const SaveRequest& request);
    // Saving was switched off: a save whose message has not gone out yet ends here.
    void Cancel();
    void tmrMessage_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    bool Waiting() const { return phase_ == Phase::WaitPause; }

private:
    enum class Phase { Idle, WaitPause, WaitMarkCleared, WaitWritten };

    void Send(std::uint64_t now);
    void Enter(Phase phase, std::uint64_t now);
    void Finish(SaveOutcome outcome);

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
};

} // namespace quillon
