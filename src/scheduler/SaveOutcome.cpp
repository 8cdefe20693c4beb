#include "scheduler/SaveOutcome.h"

namespace quillon {

bool CannotSaveWithKeys(SaveOutcome outcome) {
    return outcome == SaveOutcome::MenuNotOpened || outcome == SaveOutcome::LetterNotTaken ||
           outcome == SaveOutcome::NotSavedByProgram || outcome == SaveOutcome::NeverSaved ||
           outcome == SaveOutcome::FileNotWritten;
}

bool IsSafe(SaveOutcome outcome) {
    switch (outcome) {
    case SaveOutcome::Saved:
    case SaveOutcome::NothingToSave:
    case SaveOutcome::WaitingForProgram:
    case SaveOutcome::ProtectedView:
    case SaveOutcome::SavesItself:
    case SaveOutcome::CopyKept:
        return true;
    default:
        return false;
    }
}

const wchar_t* SkipTrace(SaveOutcome outcome) {
    switch (outcome) {
    case SaveOutcome::Saved:
        return nullptr;
    case SaveOutcome::NoTarget:
        return L"save-skipped no-target";
    case SaveOutcome::Occupied:
        return L"save-skipped occupied";
    case SaveOutcome::UserBusy:
        return L"save-skipped user-busy";
    case SaveOutcome::KeysHeld:
        return L"save-skipped keys-held";
    case SaveOutcome::NotResponding:
        return L"save-skipped not-responding";
    case SaveOutcome::Elevated:
        return L"save-skipped elevated";
    case SaveOutcome::NotForeground:
        return L"save-skipped not-foreground";
    case SaveOutcome::MenuNotOpened:
        return L"save-skipped menu-not-opened";
    case SaveOutcome::UserInterrupted:
        return L"save-skipped user-interrupted";
    case SaveOutcome::FrontLost:
        return L"save-skipped front-lost";
    case SaveOutcome::LetterNotTaken:
        return L"save-skipped letter-not-taken";
    case SaveOutcome::Incomplete:
        return L"save-skipped incomplete";
    case SaveOutcome::Busy:
        return L"save-skipped busy";
    case SaveOutcome::Cancelled:
        return L"save-skipped cancelled";
    case SaveOutcome::NothingToSave:
        return L"save-skipped nothing-to-save";
    case SaveOutcome::WaitingForUse:
        return L"save-skipped waiting-for-use";
    case SaveOutcome::WaitingForProgram:
        return L"save-skipped waiting-for-program";
    case SaveOutcome::SeveralAlike:
        return L"save-skipped several-alike";
    case SaveOutcome::ReadOnly:
        return L"save-skipped read-only";
    case SaveOutcome::ProtectedView:
        return L"save-skipped protected-view";
    case SaveOutcome::SavesItself:
        return L"save-skipped saves-itself";
    case SaveOutcome::NotSavedByProgram:
        return L"save-skipped not-saved-by-program";
    case SaveOutcome::NeverSaved:
        return L"save-skipped never-saved";
    case SaveOutcome::NoSingleDocument:
        return L"save-skipped no-single-document";
    case SaveOutcome::CannotSeeState:
        return L"save-skipped cannot-see-state";
    case SaveOutcome::TitleChanged:
        return L"save-skipped title-changed";
    case SaveOutcome::FileNotWritten:
        return L"save-skipped file-not-written";
    case SaveOutcome::CopyKept:
        return L"copy-kept";
    case SaveOutcome::CopyNotKept:
        return L"save-skipped copy-not-kept";
    }
    return L"save-skipped";
}

} // namespace quillon
