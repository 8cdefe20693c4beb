#include "scheduler/DocumentSave.h"

#include "scheduler/DocumentPrograms.h"
#include "scheduler/History.h"
#include "scheduler/SaveDispatch.h"
#include "windows/Enumeration.h"

#include <algorithm>
#include <array>
#include <utility>

namespace quillon {
namespace {

// Excel's generic run-time error: while a cell is edited it refuses every call with it, but a
// Save() that answers it failed (a share gone, a disk full, a file made read-only).
constexpr std::uint32_t kExcelRunTimeError = 0x800A03ECu;
// The program refuses calls for now: its message filter rejects them (a modal dialog, a menu),
// or Excel is in the middle of editing a cell.
constexpr std::array<std::uint32_t, 4> kBusy{
    0x80010001u, // RPC_E_CALL_REJECTED
    0x8001010Au, // RPC_E_SERVERCALL_RETRYLATER
    0x800AC472u, // VBA_E_IGNORE
    kExcelRunTimeError,
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

bool KeysSaveNew(const DocumentTarget& target) {
    return InfoOf(target.program).keysSaveNew;
}

} // namespace

std::optional<DocumentTarget> FindDocumentTarget(IDesktop& desktop, WindowHandle topLevel) {
    const std::wstring topClass = desktop.ClassName(topLevel);
    const auto programs = DocumentPrograms();
    if (std::none_of(programs.begin(), programs.end(),
                     [&](const DocumentProgramInfo& info) { return topClass == info.topClass; }))
        return std::nullopt;
    const DocumentProgramInfo* info = FindDocumentProgram(topClass, desktop.ExecutablePath(topLevel));
    if (!info)
        return std::nullopt;
    WindowHandle document = info->documentWindow[0] ? topLevel : 0;
    for (const wchar_t* className : info->documentWindow)
        if (className && document)
            document = desktop.FindDescendant(document, className);
    // A program reached only through its document window's object has nothing to ask without one.
    const bool nativeOnly =
        info->reaches[0] == DocumentReach::NativeObject && info->reaches[1] == info->reaches[0];
    if (document == 0 && nativeOnly)
        return std::nullopt;
    return DocumentTarget{info->program, desktop.ProcessIdOf(topLevel), topLevel, document,
                          ReadWindowTitle(desktop, topLevel)};
}

DocumentAnswer ClassifyReply(const DocumentReply& reply) {
    if (reply.notOneDocument)
        return DocumentAnswer::NotOneDocument;
    if (reply.noObject || reply.unexpected)
        return DocumentAnswer::NoObject;
    // Without its alerts known to be off, the program is asked again as a busy one.
    if (reply.alertsNotOff)
        return DocumentAnswer::Busy;
    if (reply.failure == 0)
        return DocumentAnswer::Answered;
    if (OneOf(reply.failure, kGone))
        return DocumentAnswer::Gone;
    const bool saveFailed = reply.saveCalled && !reply.saveMade;
    if (OneOf(reply.failure, kBusy) && !(saveFailed && reply.failure == kExcelRunTimeError))
        return DocumentAnswer::Busy;
    if (saveFailed)
        return DocumentAnswer::Failed;
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
    // Its Save would open Save As in front of the user: its content is kept instead.
    if (!state.hasPath)
        return {DocumentStep::Copy, SaveOutcome::CopyKept};
    return {DocumentStep::Save, SaveOutcome::Saved};
}

void DocumentSave::Begin(const Request& request) {
    request_ = request;
    cycleStart_ = system_.TickCountMs();
    reportedUnderWay_ = false;
    Ask(DocumentRequest::Read, cycleStart_);
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

void DocumentSave::Release() {
    if (!Busy())
        return;
    if (phase_ == Phase::Saving || phase_ == Phase::Copying)
        owed_.Adopt(request_.target, call_);
    else if (call_ != 0)
        documents_.Abandon(call_);
    call_ = 0;
    phase_ = Phase::Idle;
    UpdateTimer();
}

// Ending Quillon ends its worker threads with it: a Save under way would never put the alerts
// back. So it is waited for a moment, and then every program's alerts are put back if they still
// must be.
void DocumentSave::BeforeExit() {
    if (phase_ == Phase::Saving || phase_ == Phase::Copying)
        owed_.Adopt(request_.target, std::exchange(call_, 0));
    owed_.BeforeExit(kExitWaitMs);
}

void DocumentSave::tmrDocument_Timer() {
    const std::uint64_t now = system_.TickCountMs();
    owed_.Poll(now);
    Advance(now);
    if (phase_ == Phase::Idle)
        UpdateTimer();
}

void DocumentSave::Advance(std::uint64_t now) {
    switch (phase_) {
    case Phase::Idle:
        return;
    case Phase::Reading:
    case Phase::Saving:
    case Phase::Copying:
    case Phase::Confirming:
        return AdvanceCall(now);
    case Phase::WaitRetry:
    case Phase::WaitConfirm:
        return AdvanceWaitRetry(now);
    case Phase::WaitPause:
        return AdvancePause(now);
    case Phase::WaitVersion:
        return AskChange(now);
    case Phase::WaitWritten:
        return AdvanceWritten(now);
    }
}

// A call goes out only while the program takes calls: a disabled window shows a modal dialog,
// and the program refuses calls meanwhile. A program the system takes for hung is not asked.
void DocumentSave::Ask(DocumentRequest request, std::uint64_t now) {
    asked_ = request;
    const WindowHandle window = request_.target.window;
    if (!desktop_.IsWindow(window))
        return Finish(SaveOutcome::NoTarget);
    if (desktop_.IsHung(window))
        return Finish(SaveOutcome::NotResponding);
    occupied_ = !TakesKeys(desktop_, window);
    if (occupied_)
        return RetryLater(now);
    DocumentAsk ask;
    ask.request = request;
    ask.target = request_.target;
    if (request == DocumentRequest::Save || request == DocumentRequest::SaveCopy)
        ask.userAlerts = owed_.OwedTo(request_.target);
    if (request == DocumentRequest::SaveCopy) {
        ask.keep.history = system_.HistoryFolder();
        ask.keep.now = system_.LocalNow();
        ask.keep.copyTo = ask.keep.history + L"\\" + history::kUnsavedFolder + L"\\" +
                          history::CopyName(request_.target.title, request_.target.window, ask.keep.now);
    }
    call_ = documents_.Start(ask);
    if (call_ == 0)
        return Finish(SaveOutcome::NotResponding);
    callStart_ = now;
    if (request == DocumentRequest::Save)
        savedAt_ = now;
    const Phase phase = request == DocumentRequest::Save       ? Phase::Saving
                        : request == DocumentRequest::SaveCopy ? Phase::Copying
                        : phase_ == Phase::WaitConfirm         ? Phase::Confirming
                                                               : Phase::Reading;
    Enter(phase, now, kReplyPollMs);
}

// Every Save and copy, first or asked again, waits for the user's pause while they work in that
// program; a Save, for the version of its file to be kept too.
void DocumentSave::AskChange(std::uint64_t now) {
    if (UserWorksIn(desktop_, input_, request_.target.window, kPauseMs))
        return Enter(Phase::WaitPause, now, kWaitPollMs);
    if (asked_ == DocumentRequest::Save && !versions_.ReadyToSave(now))
        return Enter(Phase::WaitVersion, now, kReplyPollMs);
    Ask(asked_, now);
}

// The reply is looked for on every poll. A read that has not come back within a few seconds ends
// the cycle, and its worker is left with it. A Save is waited for as long as it takes, into the
// next cycles: a large workbook on a slow share takes its time, and counts once confirmed.
void DocumentSave::AdvanceCall(std::uint64_t now) {
    if (const auto reply = documents_.TakeReply(call_)) {
        call_ = 0;
        return OnReply(*reply, now);
    }
    if (phase_ != Phase::Saving && phase_ != Phase::Copying) {
        if (now - callStart_ >= kCallWaitMs) {
            documents_.Abandon(call_);
            call_ = 0;
            Finish(SaveOutcome::NotResponding);
        }
        return;
    }
    if (!reportedUnderWay_ && CycleOver(now) && desktop_.IsHung(request_.target.window)) {
        reportedUnderWay_ = true;
        Report({false, false, SaveOutcome::NotResponding, true});
    }
}

void DocumentSave::OnReply(const DocumentReply& reply, std::uint64_t now) {
    owed_.Note(request_.target, reply);
    if (phase_ == Phase::Saving)
        return OnSaveReply(reply, now);
    if (phase_ == Phase::Copying)
        return OnCopyReply(reply, now);
    // While confirming, the Save was made: a document that does not answer is not read as unsaved.
    if (!OnAnswer(ClassifyReply(reply), reply, now))
        NoObject(false);
}

// A Save that was made is confirmed by the state read after it, or read again when that read
// was refused: it is never made twice. One the program refused is asked again; one that failed
// is no save.
void DocumentSave::OnSaveReply(const DocumentReply& reply, std::uint64_t now) {
    const DocumentAnswer answer = ClassifyReply(reply);
    if (reply.saveMade && answer != DocumentAnswer::Gone && answer != DocumentAnswer::Answered)
        return Enter(Phase::WaitConfirm, now, kWaitPollMs);
    if (OnAnswer(answer, reply, now))
        return;
    if (answer == DocumentAnswer::Failed && reply.failure == kExcelRunTimeError)
        return Finish(SaveOutcome::NotSavedByProgram);
    NoObject(true);
}

// A copy the program made is kept; one that has no room says so. A program that gives no copy
// (no such member, a copy that failed, no object) keeps the way it had before such copies: a
// File menu that asks for the name, or the tip asking the user to give one.
void DocumentSave::OnCopyReply(const DocumentReply& reply, std::uint64_t now) {
    const DocumentAnswer answer = ClassifyReply(reply);
    if (answer == DocumentAnswer::Answered) {
        switch (reply.keep.result) {
        case KeepResult::Kept:
            return Finish(SaveOutcome::CopyKept);
        case KeepResult::NoRoom:
        case KeepResult::NoHistory:
        case KeepResult::TooLarge:
        case KeepResult::Failed:
            return Finish(SaveOutcome::CopyNotKept, reply.keep.result);
        default:
            break;
        }
    } else if (answer != DocumentAnswer::NoObject && answer != DocumentAnswer::Failed &&
               OnAnswer(answer, reply, now)) {
        return;
    }
    if (KeysSaveNew(request_.target))
        return HandToKeys(true);
    Finish(SaveOutcome::NeverSaved);
}

// What every reply may say; false for a document object that does not answer as documented.
bool DocumentSave::OnAnswer(DocumentAnswer answer, const DocumentReply& reply, std::uint64_t now) {
    switch (answer) {
    case DocumentAnswer::Answered:
        OnState(reply.state, now);
        return true;
    case DocumentAnswer::Busy:
        RetryLater(now);
        return true;
    case DocumentAnswer::Gone:
        Finish(SaveOutcome::NoTarget);
        return true;
    case DocumentAnswer::NotOneDocument:
        Finish(SaveOutcome::NoSingleDocument);
        return true;
    case DocumentAnswer::NoObject:
    case DocumentAnswer::Failed:
        break;
    }
    return false;
}

void DocumentSave::OnState(const DocumentState& state, std::uint64_t now) {
    if (phase_ == Phase::Saving || phase_ == Phase::Confirming) {
        if (state.saved)
            return Enter(Phase::WaitWritten, now, kWaitPollMs);
        if (now - savedAt_ >= kConfirmWaitMs)
            return Finish(SaveOutcome::NotSavedByProgram);
        return Enter(Phase::WaitConfirm, now, kWaitPollMs);
    }
    const DocumentDecision decision = DecideForDocument(state);
    switch (decision.step) {
    case DocumentStep::Finish:
        return Finish(decision.outcome);
    case DocumentStep::Copy:
        asked_ = DocumentRequest::SaveCopy;
        return AskChange(now);
    case DocumentStep::Save:
        asked_ = DocumentRequest::Save;
        versions_.Begin(history::FileOfDocument(state.name));
        return AskChange(now);
    }
}

void DocumentSave::AdvanceWaitRetry(std::uint64_t now) {
    if (now - phaseStart_ < kRetryAfterMs)
        return;
    if (phase_ == Phase::WaitConfirm)
        return Ask(DocumentRequest::Read, now);
    if (asked_ == DocumentRequest::Save || asked_ == DocumentRequest::SaveCopy)
        return AskChange(now);
    Ask(asked_, now);
}

// The Save waits for the user's pause while they work in that very program, as the keys do; a
// user working in another program is not waited for, since nothing of theirs is touched.
void DocumentSave::AdvancePause(std::uint64_t now) {
    if (!UserWorksIn(desktop_, input_, request_.target.window, kPauseMs))
        return AskChange(now);
    if (CycleOver(now))
        Finish(SaveOutcome::UserBusy);
}

// The document says it is saved; the save counts once its file, where it is known, shows it.
void DocumentSave::AdvanceWritten(std::uint64_t now) {
    if (const auto outcome = versions_.Confirm(now, log_, request_.writeLog, request_.entry))
        Finish(*outcome);
}

// A busy program is asked again on later polls within the cycle; one busy all cycle long does
// not answer, or shows a dialog. While confirming a Save, the document is read again a few times.
void DocumentSave::RetryLater(std::uint64_t now) {
    if (phase_ == Phase::Confirming || phase_ == Phase::WaitConfirm) {
        if (now - savedAt_ >= kConfirmWaitMs)
            return Finish(SaveOutcome::NotSavedByProgram);
        return Enter(Phase::WaitConfirm, now, kWaitPollMs);
    }
    if (CycleOver(now))
        return Finish(occupied_ ? SaveOutcome::Occupied : SaveOutcome::NotResponding);
    Enter(Phase::WaitRetry, now, kWaitPollMs);
}

// A document object that does not answer as documented. A program whose File menu the keys can
// use goes the keys' way with all its checks; any other cannot be saved with keys. After a Save
// that was made, the document is not taken for unsaved.
void DocumentSave::NoObject(bool unsaved) {
    const bool confirming = phase_ == Phase::Confirming || phase_ == Phase::WaitConfirm;
    if (confirming)
        return Finish(SaveOutcome::NotSavedByProgram);
    if (unsaved && !KeysSaveNew(request_.target))
        return Finish(SaveOutcome::NotSavedByProgram);
    HandToKeys(unsaved);
}

bool DocumentSave::CycleOver(std::uint64_t now) const {
    const std::uint64_t limit = request_.intervalMs > 0 ? request_.intervalMs : kDefaultCycleMs;
    return now - cycleStart_ >= limit;
}

void DocumentSave::Enter(Phase phase, std::uint64_t now, unsigned pollMs) {
    phase_ = phase;
    phaseStart_ = now;
    pollMs_ = pollMs;
    UpdateTimer();
}

// The route's timer runs while a cycle is under way or alerts are owed to a program.
void DocumentSave::UpdateTimer() {
    const bool running = phase_ != Phase::Idle || owed_.Busy();
    view_.SetTimer(Timer::tmrDocument, phase_ != Phase::Idle ? pollMs_ : kWaitPollMs, running);
}

void DocumentSave::Finish(SaveOutcome outcome, KeepResult copy) {
    phase_ = Phase::Idle;
    UpdateTimer();
    Report({false, false, outcome, false, copy});
}

void DocumentSave::HandToKeys(bool unsaved) {
    phase_ = Phase::Idle;
    UpdateTimer();
    Report({true, unsaved, SaveOutcome::Saved, false});
}

void DocumentSave::Report(const End& end) {
    if (onFinished_)
        onFinished_(end);
}

} // namespace quillon
