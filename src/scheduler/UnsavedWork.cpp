#include "scheduler/UnsavedWork.h"

#include "windows/Enumeration.h"
#include "windows/TitleMarks.h"

namespace quillon {

void UnsavedWork::Watch(std::uint32_t processId) {
    processId_ = processId;
    known_ = usedSinceSave_ = marksTitle_ = markedAtSave_ = markedAtBegin_ = waitingForUse_ = false;
}

// A brief visit counts: a click into the window and a word typed in it change the document.
void UnsavedWork::OnActivity(WindowHandle window, bool byQuillon) {
    if (byQuillon || processId_ == 0 || desktop_.ProcessIdOf(window) != processId_)
        return;
    usedSinceSave_ = true;
    waitingForUse_ = false;
}

UnsavedWork::Verdict UnsavedWork::Decide(WindowHandle window, bool saveAs, bool knownUnsaved) {
    const bool marked = SplitUnsavedMark(ReadWindowTitle(desktop_, window)).marked;
    markedAtBegin_ = marked;
    // The mark the title had when the last save began is gone: only a save takes it away.
    if (markedAtSave_ && !marked)
        marksTitle_ = true;
    // Only the user's coming back to it ends the wait, not its staying in front: every try
    // would type into the window the user works in.
    if (waitingForUse_)
        return Verdict::WaitForUse;
    if (saveAs || knownUnsaved)
        return Verdict::Save;
    if (marksTitle_)
        return marked ? Verdict::Save : Verdict::NothingToSave;
    if (!known_)
        return Verdict::Save;
    return UsedSinceSave(window) ? Verdict::Save : Verdict::NothingToSave;
}

void UnsavedWork::OnSaveEnded(WindowHandle window, SaveOutcome outcome, bool userActed) {
    if (outcome == SaveOutcome::Saved) {
        known_ = true;
        // A user still working in the window may change it again at once, and one who went to it
        // while Quillon held it may have typed there; a window saved from behind, with the user
        // still, got the front back to the user's own window.
        usedSinceSave_ = InFront(window) || userActed;
        markedAtSave_ = markedAtBegin_;
        if (markedAtSave_ && !SplitUnsavedMark(ReadWindowTitle(desktop_, window)).marked)
            marksTitle_ = true;
    } else if (CannotSaveWithKeys(outcome)) {
        waitingForUse_ = true;
        waitCause_ = outcome;
    }
}

bool UnsavedWork::InFront(WindowHandle window) {
    const WindowHandle front = desktop_.ForegroundWindow();
    return front != 0 && (front == window || desktop_.ProcessIdOf(front) == processId_);
}

bool UnsavedWork::UsedSinceSave(WindowHandle window) {
    return usedSinceSave_ || InFront(window);
}

} // namespace quillon
