// One save cycle, from the countdown running out to its outcome: which window (the kept
// program's, followed when its window was closed and opened again), whether there is anything
// to save, and which way it is saved. This is the one place that decides the way:
//  - the programs of the document table (Word, Excel, PowerPoint, WPS Office, LibreOffice) through
//    their own documents (DocumentSave), unless the user asked for Save As every cycle;
//  - every other program, and a document the route hands back, only when there may be unsaved
//    work (UnsavedWork): a program with a save message of its own through it (MessageSave); an
//    editor without a classic menu whose title marks unsaved changes in a file with Ctrl+S; any
//    other with the File-menu keys (both SaveDelivery); one whose state Quillon cannot see and
//    whose menu it cannot use is left alone.
#pragma once

#include "scheduler/DocumentSave.h"
#include "scheduler/MessageSave.h"
#include "scheduler/SaveDelivery.h"
#include "scheduler/UnsavedCopy.h"
#include "scheduler/UnsavedWork.h"
#include "scheduler/Versions.h"
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
    // Saved: why no version of its file was kept before it; CopyNotKept: why no copy was kept.
    KeepResult keep = KeepResult::None;
    bool cut = false; // CopyKept: only the first part of a longer text was kept
    bool operator==(const SaveReport&) const = default;

    static SaveReport Of(SaveOutcome outcome, SaveOutcome cause = SaveOutcome::Saved,
                         std::wstring program = {}) {
        return {outcome, cause, std::move(program)};
    }
};

// How a window that no document route saves is saved.
enum class SaveWay {
    Keys,           // Alt+F, then the item's letter once its File menu is seen open
    Shortcut,       // Ctrl+S, confirmed by the mark leaving the title
    ProgramMessage, // the program's own save message, confirmed the same way
    CannotSee,      // left alone: no mark, no classic menu, nothing else Quillon can see
    Untouched,      // an editor that marks its title shows no mark: nothing to save
    Unnamed,        // an editor that marks its title shows a mark, but no file: only the user can name it
};
// Decided from the window's title and plain facts: its class, whether it has a classic menu bar.
// `saveAs`: Save As every cycle, which only the File menu's keys can ask for.
SaveWay ChooseSaveWay(IDesktop& desktop, WindowHandle window, bool saveAs);

// The ways a cycle saves a window, or keeps what cannot be saved.
struct SaveWays {
    SaveDelivery& keys;
    DocumentSave& document;
    MessageSave& message;
    UnsavedCopy& copy;
    Versions& versions;
};

class SaveCycle {
public:
    SaveCycle(IDesktop& desktop, ISystem& system, SaveWays ways, KeptProgram& kept, UnsavedWork& work,
              ProgramLists& lists);

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

    bool Busy() const { return keys_.Busy() || document_.Busy() || message_.Busy() || copy_.Busy(); }
    std::optional<SaveOutcome> LastOutcome() const { return lastOutcome_; }
    // Where the kept program is, for the tray when saving resumes with nothing to save yet.
    SaveReport Locate();

private:
    std::optional<SaveReport> Resolve(SaveRequest& request);
    bool TryDocumentRoute(const SaveRequest& request, WindowHandle window);
    void SaveTheWindow(bool knownUnsaved);
    void OnWindowSaveFinished(SaveOutcome outcome, bool userActedWhileHeld);
    void OnDocumentFinished(const DocumentSave::End& end);
    void Finish(SaveReport report);

    IDesktop& desktop_;
    ISystem& system_;
    SaveDelivery& keys_;
    DocumentSave& document_;
    MessageSave& message_;
    UnsavedCopy& copy_;
    Versions& versions_;
    KeptProgram& kept_;
    UnsavedWork& work_;
    ProgramLists& lists_;
    std::function<void(const SaveReport&)> onFinished_;
    std::function<void()> onKeptChanged_;
    SaveRequest request_; // the cycle under way
    std::optional<SaveOutcome> lastOutcome_;
};

} // namespace quillon
