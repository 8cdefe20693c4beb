// How one save cycle ended: saved, nothing to save, or why it could not save. Both ways of saving
// (the File-menu keys and a program's own document) end with one of these.
#pragma once

namespace quillon {

enum class SaveOutcome {
    Saved,           // the program took the save: its menu took the letter, or its document saved
    NoTarget,        // nothing to save into: no program chosen, closed, reused, Quillon's own
    Occupied,        // the window is disabled, or shows a modal dialog or a menu of its own
    UserBusy,        // the user kept typing, using the mouse or a menu for the whole cycle
    KeysHeld,        // a guarded key or button was down for the whole cycle, or when typing began
    NotResponding,   // the program did not answer, or the system takes it for hung
    Elevated,        // the program runs elevated above Quillon
    NotForeground,   // the window never came to the front ready for keys
    MenuNotOpened,   // Alt+F visibly did nothing in time: no menu bar, another mnemonic, too slow
    UserInterrupted, // the user pressed a key or used the mouse between the steps
    FrontLost,       // the window lost the front between the steps
    LetterNotTaken,  // the menu stayed open after the letter: it has no such item
    Incomplete,      // the system did not take every key event
    Busy,            // a save was still under way when the next cycle came
    Cancelled,       // saving was switched off before the save was made
    NothingToSave,   // the program says it holds no changes, or nobody worked in it since the last save
    WaitingForUse,   // the keys could not save it last time: left alone until the user works in it again
    WaitingForProgram, // the chosen document's window is gone: waiting for it to be opened again
    SeveralAlike,    // several windows show the chosen document: none of them is guessed at
    ReadOnly,        // the program's document is read-only
    ProtectedView,   // the window shows a document in Protected View, which cannot be changed
    SavesItself,     // the program saves the document continuously itself
    NotSavedByProgram, // the program's document still held changes after its Save, or its Save failed
    NeverSaved,      // the document has no file yet: only the user can give it a name
    NoSingleDocument, // the program cannot tell which of its documents the window shows
    CannotSeeState,  // the program shows no sign of unsaved changes that Quillon can see, and no File menu
    TitleChanged,    // a save by the title found another document shown than the marked one it began with
    FileNotWritten,  // the program said its document is saved, but its file did not change
    CopyKept,        // a document never saved: a copy of its content was kept in the history
    CopyNotKept,     // a document never saved: no copy could be kept (the report says why)
};

// The keys could not save the window at all (no File menu that opens, no save item in it, a save
// the program did not make): trying again is no use until the user has worked in it.
bool CannotSaveWithKeys(SaveOutcome outcome);

// The user's work is not at risk: it was saved, holds nothing new, or cannot be changed.
bool IsSafe(SaveOutcome outcome);

// The mark a cycle leaves on the debugger's output when it ends without saving, naming why;
// nothing for a save.
const wchar_t* SkipTrace(SaveOutcome outcome);

} // namespace quillon
