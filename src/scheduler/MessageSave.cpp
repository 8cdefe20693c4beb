#include "scheduler/MessageSave.h"

namespace quillon {

void MessageSave::Begin(const SaveRequest& request) {
    if (Waiting())
        system_.Trace(L"save-carried-over");
    request_ = request;
    versions_.Begin(request.file);
    target_ = request.listed ? request.listed->window : 0;
    cycleStart_ = system_.TickCountMs();
    Enter(Phase::WaitPause, cycleStart_);
    tmrMessage_Timer();
}

void MessageSave::Cancel() {
    if (Waiting())
        Finish(SaveOutcome::Cancelled);
}

void MessageSave::tmrMessage_Timer() {
    const std::uint64_t now = system_.TickCountMs();
    if (phase_ == Phase::WaitPause) {
        if (!UserWorksIn(desktop_, input_, target_, kPauseMs)) {
            if (versions_.ReadyToSave(now))
                Send(now);
            return;
        }
        const std::uint64_t limit =
            request_.intervalMs > 0 ? request_.intervalMs : SaveDelivery::kDefaultWaitLimitMs;
        if (now - cycleStart_ >= limit)
            Finish(SaveOutcome::UserBusy);
    } else if (phase_ == Phase::WaitMarkCleared) {
        if (!desktop_.IsWindow(target_))
            return Finish(SaveOutcome::NoTarget);
        const SaveOutcome shown = TitleAfterSave(desktop_, target_, request_.document);
        if (shown == SaveOutcome::Saved && desktop_.Answers(target_, SaveDelivery::kAnswerTimeoutMs))
            return Enter(Phase::WaitWritten, now);
        if (now - phaseStart_ >= kMarkClearWaitMs)
            Finish(shown == SaveOutcome::Saved ? SaveOutcome::NotSavedByProgram : shown);
    } else if (phase_ == Phase::WaitWritten) {
        if (const auto outcome = versions_.Confirm(now, log_, request_.writeLog, request_.entry))
            Finish(*outcome);
    }
}

// A program that does not answer within the wait goes on saving all the same: only its title
// tells whether it did. One the system takes for hung is not sent anything.
void MessageSave::Send(std::uint64_t now) {
    if (!desktop_.IsWindow(target_) || desktop_.BelongsToThisProcess(target_))
        return Finish(SaveOutcome::NoTarget);
    if (desktop_.IsHung(target_))
        return Finish(SaveOutcome::NotResponding);
    if (!MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(target_)))
        return Finish(SaveOutcome::Elevated);
    if (!TakesKeys(desktop_, target_))
        return Finish(SaveOutcome::Occupied);
    // The message saves whichever document the window shows by now.
    if (const auto why = TitleNoLongerAsks(desktop_, target_, request_.document))
        return Finish(*why);
    const auto answer = desktop_.SendPlainMessage(target_, kSaveCurrentFile, 0, 0, kSendWaitMs);
    system_.Trace(L"message-sent");
    if (answer == std::optional<std::intptr_t>(0))
        return Finish(SaveOutcome::NotSavedByProgram);
    Enter(Phase::WaitMarkCleared, now);
}

void MessageSave::Enter(Phase phase, std::uint64_t now) {
    phase_ = phase;
    phaseStart_ = now;
    view_.SetTimer(Timer::tmrMessage, kPollMs, true);
}

void MessageSave::Finish(SaveOutcome outcome) {
    phase_ = Phase::Idle;
    view_.SetTimer(Timer::tmrMessage, kPollMs, false);
    if (onFinished_)
        onFinished_(outcome);
}

} // namespace quillon
