// The document route: Word and Excel are saved through their own documents, as Microsoft
// documents it for other programs, instead of with keys. The document says whether it holds
// unsaved changes, and its Save is made without a key typed and without the front taken from the
// user. A document the route must not save (never saved yet, Protected View, read-only, saved
// continuously by its program) is left alone or handed to the keys, and a program that does not
// answer costs the cycle, never Quillon's window: every call runs on a thread of its own
// (IDocuments) and is only looked for here.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/SaveOutcome.h"

#include <functional>
#include <optional>
#include <string>

namespace quillon {

// A program's innermost document window, where its document object is reached.
struct DocumentWindow {
    DocumentProgram program = DocumentProgram::Word;
    WindowHandle window = 0;
    bool operator==(const DocumentWindow&) const = default;
};

// Word's document window (class _WwG under its top-level OpusApp) or Excel's (EXCEL7 under
// XLDESK under XLMAIN); nothing for any other window.
std::optional<DocumentWindow> FindDocumentWindow(IDesktop& desktop, WindowHandle topLevel);

// What a reply means for the route.
enum class DocumentAnswer {
    Answered, // the document said what it holds
    Busy,     // the program refused the call for now (a dialog open, a cell being edited)
    Gone,     // the program went away
    NoObject, // no document object, or one that answers what its interface does not promise
};
DocumentAnswer ClassifyReply(const DocumentReply& reply);

// What the route does with what the document said.
enum class DocumentStep {
    Save,    // it holds changes and can be saved in place
    UseKeys, // never saved: its Save would ask for a name, so the keys' way goes on
    Finish,  // nothing to do; the outcome says why
};
struct DocumentDecision {
    DocumentStep step;
    SaveOutcome outcome = SaveOutcome::NothingToSave;
    bool operator==(const DocumentDecision&) const = default;
};
DocumentDecision DecideForDocument(const DocumentState& state);

class DocumentSave {
public:
    static constexpr std::uint64_t kCallWaitMs = 5000;  // a call unanswered this long: the program does not answer
    static constexpr std::uint64_t kRetryAfterMs = 250; // a busy program is asked again
    static constexpr std::uint64_t kConfirmWaitMs = 3000; // after its Save, the document must say it is saved
    static constexpr std::uint64_t kPauseMs = 1500;     // the user's pause, while they work in that program
    static constexpr std::uint64_t kDefaultCycleMs = 10000;
    static constexpr unsigned kReplyPollMs = 10;
    static constexpr unsigned kWaitPollMs = 100;

    DocumentSave(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, IDocuments& documents,
                 ActivityLog& log)
        : view_(view), desktop_(desktop), input_(input), system_(system), documents_(documents), log_(log) {}

    struct Request {
        DocumentWindow document;
        WindowHandle window = 0; // its top-level window
        std::wstring entry;      // for the log line
        bool writeLog = false;
        std::uint64_t intervalMs = 0;
    };
    // How the route ended: with an outcome of its own, or handing the cycle to the keys' way
    // (`unsaved`: the document said it holds changes).
    struct End {
        bool useKeys = false;
        bool unsaved = false;
        SaveOutcome outcome = SaveOutcome::Saved;
    };
    void OnFinished(std::function<void(const End&)> listener) { onFinished_ = std::move(listener); }

    void Begin(const Request& request);
    // The next cycle came while this one still waits for the user's pause or for a busy program:
    // it goes on as the new cycle's.
    void CarryOver(std::uint64_t intervalMs);
    // Saving was switched off: a route that has not asked for the Save yet ends here.
    void Cancel();
    void tmrDocument_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    // Nothing has been asked of the document that changes it: the route waits, or reads.
    bool Waiting() const {
        return Busy() && phase_ != Phase::Saving && phase_ != Phase::Confirming && phase_ != Phase::WaitConfirm;
    }

private:
    enum class Phase { Idle, WaitFree, Reading, WaitRetry, WaitPause, Saving, Confirming, WaitConfirm };

    void Ask(DocumentRequest request, std::uint64_t now);
    void AdvanceWaitFree(std::uint64_t now);
    void AdvanceCall(std::uint64_t now);
    void OnReply(const DocumentReply& reply, std::uint64_t now);
    void OnState(const DocumentState& state, std::uint64_t now);
    void AdvanceWaitRetry(std::uint64_t now);
    void AdvancePause(std::uint64_t now);
    void Confirm();
    void RetryLater(std::uint64_t now);
    bool CycleOver(std::uint64_t now) const;
    bool UserIsWorkingInIt();
    void Enter(Phase phase, std::uint64_t now, unsigned pollMs);
    void Finish(SaveOutcome outcome);
    void HandToKeys(bool unsaved);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    IDocuments& documents_;
    ActivityLog& log_;
    std::function<void(const End&)> onFinished_;

    Phase phase_ = Phase::Idle;
    Request request_;
    DocumentRequest asked_ = DocumentRequest::Read;
    std::uint64_t cycleStart_ = 0;
    std::uint64_t phaseStart_ = 0;
    std::uint64_t savedAt_ = 0;
    std::optional<std::uint64_t> callStart_; // when the call now (or last) under way began
};

} // namespace quillon
