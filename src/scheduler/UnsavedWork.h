// Whether the program being saved may hold unsaved work, so that a cycle takes the front from the
// user only when there is something to save. Asked in this order:
//  - a title mark of unsaved changes, once the window was seen to drop its mark at a save: from
//    then on its title says whether there is anything to save;
//  - otherwise the user's use of the program: a document changes only while the user works in
//    it, so a program none of whose windows has been in front since the last save (Quillon's own
//    moments in front do not count) has nothing new to save.
// The first cycle after a program is chosen knows nothing yet and saves. A window the keys could
// not save at all is left alone until the user has worked in it again.
// (A program that answers for its document itself, Word or Excel, is asked directly instead.)
#pragma once

#include "platform/Platform.h"
#include "scheduler/SaveOutcome.h"

#include <optional>
#include <string>

namespace quillon {

class UnsavedWork {
public:
    explicit UnsavedWork(IDesktop& desktop) : desktop_(desktop) {}

    enum class Verdict {
        Save,          // there may be unsaved work
        NothingToSave, // there is none
        WaitForUse,    // the keys could not save it: wait until the user has worked in it
    };

    // A program is chosen (or saving switched on): nothing is known about it yet.
    void Watch(std::uint32_t processId);
    // A window came to the front or took the focus. `byQuillon`: Quillon brought it there to save.
    void OnActivity(WindowHandle window, bool byQuillon);

    // Before a cycle takes anything from the user. `saveAs`: the user asked for Save As every
    // cycle, which opens whether or not something changed; `knownUnsaved`: its program said it
    // holds changes. A window the keys could not save waits for the user's use either way.
    Verdict Decide(WindowHandle window, bool saveAs, bool knownUnsaved = false);
    // A cycle that saved the window itself ended (its keys, or its program's own message), with the
    // front given back. `userActed`: the user typed or used the mouse while Quillon held the front,
    // perhaps in the window itself.
    void OnSaveEnded(WindowHandle window, SaveOutcome outcome, bool userActed);

    // Why a window waits for the user's use (the failure that started the wait).
    SaveOutcome WaitCause() const { return waitCause_; }
    bool MarksTitle() const { return marksTitle_; }

private:
    bool InFront(WindowHandle window);
    bool UsedSinceSave(WindowHandle window);

    IDesktop& desktop_;
    std::uint32_t processId_ = 0;
    bool known_ = false;        // a save was confirmed since it was chosen
    bool usedSinceSave_ = false;
    bool marksTitle_ = false;   // its title was seen to drop its mark at a save
    bool markedAtSave_ = false; // its title had a mark when the last save began
    bool markedAtBegin_ = false;
    bool waitingForUse_ = false;
    SaveOutcome waitCause_ = SaveOutcome::MenuNotOpened;
};

} // namespace quillon
