// The document route: the programs of the table (scheduler/DocumentPrograms.h: Word, Excel,
// PowerPoint, WPS Office, LibreOffice) are saved through their own documents, as each documents it
// for other programs, instead of with keys. The document says whether it holds unsaved changes,
// and its Save is made without a key typed and without the front taken from the user, the file
// it overwrites kept first (Versions). A document never saved yet, whose Save would ask for a
// name in front of the user, gets a copy of its content kept in the history instead, the document
// left as it is; one the route must not save (Protected View, read-only, saved continuously by its
// program) is left alone, and one it cannot reach as documented is handed to the keys. A program
// that does not answer costs the cycle, never Quillon's window: every call runs on a worker thread
// (IDocuments) and is only looked for here.
//
// The program's alerts are off only for the moment of a Save. What a program refused to take back
// is owed to it (AlertsOwed), and every Save consults and feeds that record.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/AlertsOwed.h"
#include "scheduler/SaveOutcome.h"
#include "scheduler/Versions.h"

#include <functional>
#include <optional>
#include <string>

namespace quillon {

// The document a top-level window of a program of the table shows, with its document window
// where the program has one; nothing for any other window.
std::optional<DocumentTarget> FindDocumentTarget(IDesktop& desktop, WindowHandle topLevel);

// What a reply means for the route.
enum class DocumentAnswer {
    Answered,   // the document said what it holds
    Busy,       // the program refused the call for now (a dialog open, a cell being edited), or its alerts
    Gone,       // the program went away
    NoObject,   // no document object, or one that answers what its interface does not promise
    Failed,     // its Save() failed
    NotOneDocument, // the program cannot tell which of its documents the window shows
};
DocumentAnswer ClassifyReply(const DocumentReply& reply);

// What the route does with what the document said.
enum class DocumentStep {
    Save,   // it holds changes and can be saved in place
    Copy,   // it holds changes and was never saved: a copy of its content is kept
    Finish, // nothing to do; the outcome says why
};
struct DocumentDecision {
    DocumentStep step;
    SaveOutcome outcome = SaveOutcome::NothingToSave;
    bool operator==(const DocumentDecision&) const = default;
};
DocumentDecision DecideForDocument(const DocumentState& state);

class DocumentSave {
public:
    static constexpr std::uint64_t kCallWaitMs = 5000;  // a read unanswered this long: no answer
    static constexpr std::uint64_t kRetryAfterMs = 250; // a busy program is asked again
    static constexpr std::uint64_t kConfirmWaitMs = 3000; // after its Save, the document must say it is saved
    static constexpr std::uint64_t kPauseMs = 1500;     // the user's pause, while they work in that program
    static constexpr std::uint64_t kDefaultCycleMs = 10000;
    static constexpr unsigned kExitWaitMs = 3000;       // at exit, for a Save under way and for the alerts
    static constexpr unsigned kReplyPollMs = 10;
    static constexpr unsigned kWaitPollMs = 100;

    DocumentSave(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, IDocuments& documents,
                 ActivityLog& log, AlertsOwed& owed, Versions& versions)
        : view_(view), desktop_(desktop), input_(input), system_(system), documents_(documents), log_(log),
          owed_(owed), versions_(versions) {}

    struct Request {
        DocumentTarget target;
        std::wstring entry; // for the log line
        bool writeLog = false;
        std::uint64_t intervalMs = 0;
    };
    // How the route ended: with an outcome of its own, or handing the cycle to the keys' way
    // (`unsaved`: the document said it holds changes). `underWay`: the cycle is over, but the Save
    // it asked for has not come back yet; the route waits for it and ends again when it does.
    struct End {
        bool useKeys = false;
        bool unsaved = false;
        SaveOutcome outcome = SaveOutcome::Saved;
        bool underWay = false;
        KeepResult copy = KeepResult::None; // CopyNotKept: why
    };
    void OnFinished(std::function<void(const End&)> listener) { onFinished_ = std::move(listener); }

    void Begin(const Request& request);
    // The next cycle came while this one is still under way: it goes on as the new cycle's.
    void CarryOver(std::uint64_t intervalMs);
    // Saving was switched off: a route that has not asked for the Save yet ends here.
    void Cancel();
    // Another program is saved from now on: a Save still under way for the last one is not waited
    // for, but what its reply says of the alerts still counts.
    void Release();
    // Quillon ends: a Save under way and the alerts owed to every program are given a moment.
    void BeforeExit();
    void tmrDocument_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    // Nothing has been asked of the document that changes it: the route waits, or reads.
    bool Waiting() const { return Busy() && !Asked(); }

private:
    enum class Phase {
        Idle, Reading, WaitRetry, WaitPause, WaitVersion, Saving, Copying, Confirming, WaitConfirm, WaitWritten
    };
    // Its Save or copy was asked for.
    bool Asked() const {
        return phase_ == Phase::Saving || phase_ == Phase::Copying || phase_ == Phase::Confirming ||
               phase_ == Phase::WaitConfirm || phase_ == Phase::WaitWritten;
    }

    void Advance(std::uint64_t now);
    void Ask(DocumentRequest request, std::uint64_t now);
    void AskChange(std::uint64_t now);
    void AdvanceCall(std::uint64_t now);
    void OnReply(const DocumentReply& reply, std::uint64_t now);
    void OnSaveReply(const DocumentReply& reply, std::uint64_t now);
    void OnCopyReply(const DocumentReply& reply, std::uint64_t now);
    bool OnAnswer(DocumentAnswer answer, const DocumentReply& reply, std::uint64_t now);
    void OnState(const DocumentState& state, std::uint64_t now);
    void AdvanceWaitRetry(std::uint64_t now);
    void AdvancePause(std::uint64_t now);
    void AdvanceWritten(std::uint64_t now);
    void RetryLater(std::uint64_t now);
    void NoObject(bool unsaved);
    bool CycleOver(std::uint64_t now) const;
    void Enter(Phase phase, std::uint64_t now, unsigned pollMs);
    void UpdateTimer();
    void Finish(SaveOutcome outcome, KeepResult copy = KeepResult::None);
    void HandToKeys(bool unsaved);
    void Report(const End& end);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    IDocuments& documents_;
    ActivityLog& log_;
    AlertsOwed& owed_;
    Versions& versions_;
    std::function<void(const End&)> onFinished_;

    Phase phase_ = Phase::Idle;
    Request request_;
    DocumentRequest asked_ = DocumentRequest::Read;
    std::uint64_t cycleStart_ = 0;
    std::uint64_t phaseStart_ = 0;
    std::uint64_t savedAt_ = 0;
    unsigned pollMs_ = kReplyPollMs;
    DocumentCallId call_ = 0; // the call under way, until its reply is taken or it is abandoned
    std::uint64_t callStart_ = 0;
    bool occupied_ = false;       // the last try found the program showing a dialog
    bool reportedUnderWay_ = false; // the cycle that asked for the Save under way has ended
};

} // namespace quillon
