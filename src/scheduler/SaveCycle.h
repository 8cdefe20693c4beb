// One save cycle, from the countdown running out to its outcome: which window (the kept
// program's, followed when its window was closed and opened again), whether there is anything
// to save, and which way it is saved. This is the one place that decides the way:
//  - Word and Excel through their own documents (DocumentSave), unless the user asked for
//    Save As every cycle;
//  - every other program, and a document the route hands back, with the File-menu keys
//    (SaveDelivery), only when there may be unsaved work (UnsavedWork).
#pragma once

#include "scheduler/DocumentSave.h"
#include "scheduler/SaveDelivery.h"
#include "scheduler/UnsavedWork.h"
#include "windows/KeptProgram.h"
#include "windows/ProgramLists.h"

#include <functional>
#include <optional>
#include <string>

namespace quillon {

// What a cycle tells the tray about itself.
struct SaveReport {
    SaveOutcome outcome = SaveOutcome::Saved;
    SaveOutcome cause = SaveOutcome::Saved; // WaitingForUse: the failure that started the wait
    std::wstring program;                   // WaitingForProgram: the title of the document awaited
    bool operator==(const SaveReport&) const = default;

    static SaveReport Of(SaveOutcome outcome, SaveOutcome cause = SaveOutcome::Saved, std::wstring program = {}) {
        return {outcome, cause, std::move(program)};
    }
};

class SaveCycle {
public:
    SaveCycle(IDesktop& desktop, ISystem& system, SaveDelivery& keys, DocumentSave& document, KeptProgram& kept,
              UnsavedWork& work, ProgramLists& lists);

    // Called with the outcome of every cycle that began (not for one refused as Busy).
    void OnFinished(std::function<void(const SaveReport&)> listener) { onFinished_ = std::move(listener); }
    // Called when what is known of the kept program changed (its title), so it can be stored.
    void OnKeptProgramChanged(std::function<void()> listener) { onKeptChanged_ = std::move(listener); }

    // Starts the cycle. For the listed rows the kept program is saved; `request.listed` and
    // `request.entry` are filled in here.
    void Begin(SaveRequest request);
    // Saving was switched off: a cycle that has not saved yet ends here.
    void Cancel();
    // Another program was chosen, or saving was switched on: nothing is known about its changes.
    void Restart();
    // A window came to the front or took the focus.
    void OnWindowActivity(WindowHandle window);

    bool Busy() const { return keys_.Busy() || document_.Busy(); }
    std::optional<SaveOutcome> LastOutcome() const { return lastOutcome_; }
    // Where the kept program is, for the tray when saving resumes with nothing to save yet.
    SaveReport Locate();

private:
    std::optional<SaveReport> Resolve(SaveRequest& request);
    bool TryDocumentRoute(const SaveRequest& request, WindowHandle window);
    void UseKeys(bool knownUnsaved);
    void OnKeysFinished(SaveOutcome outcome);
    void OnDocumentFinished(const DocumentSave::End& end);
    void Finish(const SaveReport& report);

    IDesktop& desktop_;
    ISystem& system_;
    SaveDelivery& keys_;
    DocumentSave& document_;
    KeptProgram& kept_;
    UnsavedWork& work_;
    ProgramLists& lists_;
    std::function<void(const SaveReport&)> onFinished_;
    std::function<void()> onKeptChanged_;
    SaveRequest request_; // the cycle under way
    std::optional<SaveOutcome> lastOutcome_;
};

} // namespace quillon
