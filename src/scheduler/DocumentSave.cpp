#include "scheduler/DocumentSave.h"

#include "scheduler/SaveDispatch.h"

#include <algorithm>
#include <array>

namespace quillon {
namespace {

// The program refuses calls for now: its message filter rejects them (a modal dialog, a menu),
// or Excel is in the middle of editing a cell.
constexpr std::array<std::uint32_t, 4> kBusy{
    0x80010001u, // RPC_E_CALL_REJECTED
    0x8001010Au, // RPC_E_SERVERCALL_RETRYLATER
    0x800AC472u, // VBA_E_IGNORE
    0x800A03ECu, // Excel's answer to any call while a cell is edited
};
// The program's process went away between or during the calls.
constexpr std::array<std::uint32_t, 6> kGone{
    0x800706BAu, // RPC_S_SERVER_UNAVAILABLE
    0x800706BEu, // RPC_S_CALL_FAILED
    0x800706B5u, // RPC_S_UNKNOWN_IF
    0x80010108u, // RPC_E_DISCONNECTED
    0x80010007u, // RPC_E_SERVER_DIED
    0x80010012u, // RPC_E_SERVER_DIED_DNE
};

bool OneOf(std::uint32_t code, const auto& codes) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace

std::optional<DocumentWindow> FindDocumentWindow(IDesktop& desktop, WindowHandle topLevel) {
    const std::wstring name = desktop.ClassName(topLevel);
    if (name == L"OpusApp") {
        if (const WindowHandle document = desktop.FindDescendant(topLevel, L"_WwG"))
            return DocumentWindow{DocumentProgram::Word, document};
    } else if (name == L"XLMAIN") {
        if (const WindowHandle desk = desktop.FindDescendant(topLevel, L"XLDESK"))
            if (const WindowHandle document = desktop.FindDescendant(desk, L"EXCEL7"))
                return DocumentWindow{DocumentProgram::Excel, document};
    }
    return std::nullopt;
}

DocumentAnswer ClassifyReply(const DocumentReply& reply) {
    if (reply.noObject || reply.unexpected)
        return DocumentAnswer::NoObject;
    if (reply.failure == 0)
        return DocumentAnswer::Answered;
    if (OneOf(reply.failure, kBusy))
        return DocumentAnswer::Busy;
    if (OneOf(reply.failure, kGone))
        return DocumentAnswer::Gone;
    return DocumentAnswer::NoObject; // an answer the interface does not promise (an exception, say)
}

DocumentDecision DecideForDocument(const DocumentState& state) {
    if (state.protectedView)
        return {DocumentStep::Finish, SaveOutcome::ProtectedView};
    if (state.saved)
        return {DocumentStep::Finish, SaveOutcome::NothingToSave};
    if (state.savesItself)
        return {DocumentStep::Finish, SaveOutcome::SavesItself};
    if (state.readOnly)
        return {DocumentStep::Finish, SaveOutcome::ReadOnly};
    // Its Save would open Save As in front of the user: the keys' way asks for the name as it
    // always did.
    if (!state.hasPath)
        return {DocumentStep::UseKeys, SaveOutcome::Saved};
    return {DocumentStep::Save, SaveOutcome::Saved};
}

void DocumentSave::Begin(const Request& request) {
    request_ = request;
    const std::uint64_t now = system_.TickCountMs();
    cycleStart_ = now;
    if (!documents_.Outstanding())
        return Ask(DocumentRequest::Read, now);
    // A call of an earlier cycle is still under way: one that has taken too long already means
    // the program does not answer; a short one is waited for.
    if (callStart_ && now - *callStart_ >= kCallWaitMs)
        return Finish(SaveOutcome::NotResponding);
    Enter(Phase::WaitFree, now, kReplyPollMs);
}

void DocumentSave::CarryOver(std::uint64_t intervalMs) {
    system_.Trace(L"save-carried-over");
    request_.intervalMs = intervalMs;
    cycleStart_ = system_.TickCountMs();
}

void DocumentSave::Cancel() {
    if (Waiting())
        Finish(SaveOutcome::Cancelled);
}

void DocumentSave::tmrDocument_Timer() {
    const std::uint64_t now = system_.TickCountMs();
    switch (phase_) {
    case Phase::Idle:
        return;
    case Phase::WaitFree:
        return AdvanceWaitFree(now);
    case Phase::Reading:
    case Phase::Saving:
    case Phase::Confirming:
        return AdvanceCall(now);
    case Phase::WaitRetry:
    case Phase::WaitConfirm:
        return AdvanceWaitRetry(now);
    case Phase::WaitPause:
        return AdvancePause(now);
    }
}

// A call goes out only while the program takes calls: a disabled window shows a modal dialog,
// and the program refuses calls meanwhile.
void DocumentSave::Ask(DocumentRequest request, std::uint64_t now) {
    asked_ = request;
    if (!desktop_.IsWindow(request_.window))
        return Finish(SaveOutcome::NoTarget);
    if (!TakesKeys(desktop_, request_.window))
        return RetryLater(now);
    if (!documents_.Start(request, request_.document.program, request_.document.window))
        return Finish(SaveOutcome::NotResponding);
    callStart_ = now;
    if (request == DocumentRequest::Save)
        savedAt_ = now;
    const Phase phase = request == DocumentRequest::Save ? Phase::Saving
                        : phase_ == Phase::WaitConfirm   ? Phase::Confirming
                                                         : Phase::Reading;
    Enter(phase, now, kReplyPollMs);
}

void DocumentSave::AdvanceWaitFree(std::uint64_t now) {
    if (!documents_.Outstanding())
        return Ask(DocumentRequest::Read, now);
    if (callStart_ && now - *callStart_ >= kCallWaitMs)
        Finish(SaveOutcome::NotResponding);
}

// The reply is looked for on every poll; a call that has not come back within a few seconds
// ends the cycle. Its thread stays with it, and no new call is made until it is back.
void DocumentSave::AdvanceCall(std::uint64_t now) {
    if (const auto reply = documents_.TakeReply())
        return OnReply(*reply, now);
    if (callStart_ && now - *callStart_ >= kCallWaitMs)
        Finish(SaveOutcome::NotResponding);
}

void DocumentSave::OnReply(const DocumentReply& reply, std::uint64_t now) {
    switch (ClassifyReply(reply)) {
    case DocumentAnswer::Answered:
        return OnState(reply.state, now);
    case DocumentAnswer::Busy:
        return RetryLater(now);
    case DocumentAnswer::Gone:
        return Finish(SaveOutcome::NoTarget);
    case DocumentAnswer::NoObject:
        // A Save that failed leaves the document unsaved: the keys' way goes on without asking.
        return HandToKeys(phase_ != Phase::Reading);
    }
}

void DocumentSave::OnState(const DocumentState& state, std::uint64_t now) {
    if (phase_ == Phase::Saving || phase_ == Phase::Confirming) {
        if (state.saved)
            return Confirm();
        if (now - savedAt_ >= kConfirmWaitMs)
            return Finish(SaveOutcome::NotSavedByProgram);
        return Enter(Phase::WaitConfirm, now, kWaitPollMs);
    }
    const DocumentDecision decision = DecideForDocument(state);
    switch (decision.step) {
    case DocumentStep::Finish:
        return Finish(decision.outcome);
    case DocumentStep::UseKeys:
        return HandToKeys(true);
    case DocumentStep::Save:
        if (UserIsWorkingInIt())
            return Enter(Phase::WaitPause, now, kWaitPollMs);
        return Ask(DocumentRequest::Save, now);
    }
}

void DocumentSave::AdvanceWaitRetry(std::uint64_t now) {
    if (now - phaseStart_ >= kRetryAfterMs)
        Ask(phase_ == Phase::WaitConfirm ? DocumentRequest::Read : asked_, now);
}

// The Save waits for the user's pause while they work in that very program, as the keys do; a
// user working in another program is not waited for, since nothing of theirs is touched.
void DocumentSave::AdvancePause(std::uint64_t now) {
    if (!UserIsWorkingInIt())
        return Ask(DocumentRequest::Save, now);
    if (CycleOver(now))
        Finish(SaveOutcome::UserBusy);
}

void DocumentSave::Confirm() {
    if (request_.writeLog)
        log_.Write(request_.entry);
    system_.Trace(L"save-confirmed");
    Finish(SaveOutcome::Saved);
}

// A busy program is asked again on later polls within the cycle; one busy all cycle long does
// not answer. While confirming a Save, the document is read again a few times.
void DocumentSave::RetryLater(std::uint64_t now) {
    if (phase_ == Phase::Confirming || phase_ == Phase::WaitConfirm) {
        if (now - savedAt_ >= kConfirmWaitMs)
            return Finish(SaveOutcome::NotSavedByProgram);
        return Enter(Phase::WaitConfirm, now, kWaitPollMs);
    }
    if (CycleOver(now))
        return Finish(SaveOutcome::NotResponding);
    Enter(Phase::WaitRetry, now, kWaitPollMs);
}

bool DocumentSave::CycleOver(std::uint64_t now) const {
    const std::uint64_t limit = request_.intervalMs > 0 ? request_.intervalMs : kDefaultCycleMs;
    return now - cycleStart_ >= limit;
}

// The user has the program in front and has not paused yet.
bool DocumentSave::UserIsWorkingInIt() {
    const WindowHandle front = desktop_.ForegroundWindow();
    const bool inFront = front != 0 && desktop_.ProcessIdOf(front) == desktop_.ProcessIdOf(request_.window);
    return inFront && input_.MsSinceLastInput() < kPauseMs;
}

void DocumentSave::Enter(Phase phase, std::uint64_t now, unsigned pollMs) {
    phase_ = phase;
    phaseStart_ = now;
    view_.SetTimer(Timer::tmrDocument, pollMs, true);
}

void DocumentSave::Finish(SaveOutcome outcome) {
    phase_ = Phase::Idle;
    view_.SetTimer(Timer::tmrDocument, kReplyPollMs, false);
    if (onFinished_)
        onFinished_({false, false, outcome});
}

void DocumentSave::HandToKeys(bool unsaved) {
    phase_ = Phase::Idle;
    view_.SetTimer(Timer::tmrDocument, kReplyPollMs, false);
    if (onFinished_)
        onFinished_({true, unsaved, SaveOutcome::Saved});
}

} // namespace quillon
