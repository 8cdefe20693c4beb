#include "scheduler/SaveCycle.h"

#include "scheduler/History.h"
#include "windows/Enumeration.h"
#include "windows/TitleMarks.h"

#include <string_view>

namespace quillon {

namespace {

// Notepad++, whose documented message saves its current document, and Windows 11's Notepad,
// which shows its unsaved state only through UI Automation.
constexpr wchar_t kNotepadPlusPlus[] = L"Notepad++";
constexpr wchar_t kNotepad[] = L"Notepad";
constexpr wchar_t kNotepadTextBox[] = L"NotepadTextBox";

// Editors that draw their own menus and mark unsaved changes in their titles: Electron's windows
// (VS Code, Typora), Sublime Text's and Qt's (Kate and many more; Qt names the class after its
// version, "Qt5152QWindowIcon").
bool MarksItsTitle(std::wstring_view windowClass) {
    return windowClass == L"Chrome_WidgetWin_1" || windowClass == L"PX_WINDOW_CLASS" ||
           (windowClass.starts_with(L"Qt") && windowClass.ends_with(L"QWindowIcon"));
}

// The file whose document the window shows, where that is certain: a path in its title, or the file
// its program was started with when the title shows that file's name.
std::wstring FileShown(IDesktop& desktop, WindowHandle window, const std::wstring& document) {
    if (std::wstring file = history::FileOfDocument(document); !file.empty())
        return file;
    return NamesAFile(document) ? history::FileOnCommandLine(desktop.CommandLineOf(window), document) : L"";
}

} // namespace

SaveWay ChooseSaveWay(IDesktop& desktop, WindowHandle window, bool saveAs) {
    if (saveAs)
        return SaveWay::Keys;
    const MarkedTitle title = SplitUnsavedMark(ReadWindowTitle(desktop, window));
    const bool markedFile = title.marked && NamesAFile(title.document);
    const std::wstring windowClass = desktop.ClassName(window);
    if (windowClass == kNotepadPlusPlus)
        return markedFile ? SaveWay::ProgramMessage : SaveWay::Keys;
    const bool menuBar = desktop.HasMenuBar(window);
    if (markedFile && !menuBar)
        return SaveWay::Shortcut;
    // Its title shows all it holds: no mark, nothing to save; a mark without a file, a document
    // only the user can name. Its Alt+F would open the menu it draws for nothing.
    if (!menuBar && MarksItsTitle(windowClass))
        return title.marked ? SaveWay::Unnamed : SaveWay::Untouched;
    if (windowClass == kNotepad && desktop.FindDescendant(window, kNotepadTextBox) != 0)
        return SaveWay::CannotSee;
    return SaveWay::Keys;
}

SaveCycle::SaveCycle(IDesktop& desktop, ISystem& system, SaveWays ways, KeptProgram& kept, UnsavedWork& work,
                     ProgramLists& lists)
    : desktop_(desktop), system_(system), keys_(ways.keys), document_(ways.document), message_(ways.message),
      copy_(ways.copy), versions_(ways.versions), kept_(kept), work_(work), lists_(lists) {
    keys_.OnFinished(
        [this](SaveOutcome outcome) { OnWindowSaveFinished(outcome, keys_.UserActedWhileHoldingFront()); });
    // The message takes no front: nothing the user does meanwhile is mistaken for Quillon's.
    message_.OnFinished([this](SaveOutcome outcome) { OnWindowSaveFinished(outcome, false); });
    document_.OnFinished([this](const DocumentSave::End& end) { OnDocumentFinished(end); });
    copy_.OnFinished([this](SaveOutcome outcome, KeepResult why, bool cut) {
        SaveReport report = SaveReport::Of(outcome);
        report.keep = why;
        report.cut = cut;
        Finish(report);
    });
    // The one place where a window becomes the kept one also makes it the one whose use is
    // watched, whoever made it so: the user, the list's fill, or the window found again.
    kept_.OnWindowChanged([this](const ListedWindow& window) {
        work_.Watch(window.processId);
        document_.Release();
    });
}

void SaveCycle::Begin(SaveRequest request) {
    // A save that has taken nothing yet, or a document's Save still under way, goes on as the
    // new cycle's, for the same window.
    if (keys_.WaitingForPause() || document_.Busy() || message_.Waiting() || copy_.Waiting()) {
        system_.Trace(L"save-cycle");
        // It keeps what it was begun for (its window, document and way); the new cycle brings its
        // options and its length.
        SaveRequest carried = request_;
        carried.row = request.row;
        carried.writeLog = request.writeLog;
        carried.intervalMs = request.intervalMs;
        request = request_ = carried;
        if (document_.Busy())
            return document_.CarryOver(request.intervalMs);
        if (message_.Waiting())
            return message_.Begin(request);
        if (copy_.Waiting())
            return copy_.CarryOver(request.intervalMs);
        return keys_.Begin(request);
    }
    if (Busy()) {
        lastOutcome_ = SaveOutcome::Busy;
        return;
    }
    system_.Trace(L"save-cycle");
    if (const auto refused = Resolve(request))
        return Finish(*refused);
    request_ = request;
    const WindowHandle window =
        request.row.target == SaveTarget::Listed ? request.listed->window : desktop_.ForegroundWindow();
    if (TryDocumentRoute(request, window))
        return;
    SaveTheWindow(false);
}

void SaveCycle::Cancel() {
    keys_.Cancel();
    document_.Cancel();
    message_.Cancel();
    copy_.Cancel();
}

void SaveCycle::Restart() {
    work_.Watch(kept_.Window().processId);
}

// Quillon's own moments in front are no use of the program by the user.
void SaveCycle::OnWindowActivity(WindowHandle window) {
    work_.OnActivity(window, keys_.HoldsFront());
}

SaveReport SaveCycle::Locate() {
    SaveRequest request;
    request.row.target = SaveTarget::Listed;
    return Resolve(request).value_or(SaveReport::Of(SaveOutcome::Saved));
}

// The listed rows save the kept program: its window, or the one that shows its document now.
std::optional<SaveReport> SaveCycle::Resolve(SaveRequest& request) {
    if (request.row.target != SaveTarget::Listed)
        return std::nullopt;
    const KeptProgram::Resolution found = kept_.Resolve();
    switch (found.where) {
    case KeptProgram::Where::None:
        return SaveReport::Of(SaveOutcome::NoTarget);
    case KeptProgram::Where::Missing:
        return SaveReport::Of(SaveOutcome::WaitingForProgram, SaveOutcome::Saved, kept_.Identity().title);
    case KeptProgram::Where::SeveralAlike:
        return SaveReport::Of(SaveOutcome::SeveralAlike);
    case KeptProgram::Where::Followed:
        lists_.SelectWhenListed(found.window.window);
        break;
    case KeptProgram::Where::Here:
        if (kept_.RefreshTitle(system_.TickCountMs()) && onKeptChanged_)
            onKeptChanged_();
        break;
    }
    request.listed = found.window;
    request.entry = lists_.ListedTitleOf(found.window.window).value_or(kept_.ListedTitle());
    return std::nullopt;
}

// Word and Excel answer for their documents themselves, without a key. Save As every cycle is
// the user's own wish for the dialog, and a program running elevated above Quillon gets the keys'
// way with all its checks.
bool SaveCycle::TryDocumentRoute(const SaveRequest& request, WindowHandle window) {
    if (window == 0 || SplitSaveKeys(request.row.keys).item != L"S" || desktop_.BelongsToThisProcess(window))
        return false;
    const auto document = FindDocumentTarget(desktop_, window);
    if (!document || !MayTypeInto(desktop_.OwnElevation(), desktop_.ProcessElevation(window)))
        return false;
    document_.Begin({*document, request.entry, request.writeLog, request.intervalMs});
    return true;
}

// Every other window, for the listed rows only when there may be unsaved work (a document that
// said it holds changes goes straight on), and the way its title and facts allow.
void SaveCycle::SaveTheWindow(bool knownUnsaved) {
    if (request_.row.target != SaveTarget::Listed)
        return keys_.Begin(request_);
    const WindowHandle window = request_.listed->window;
    const bool saveAs = SplitSaveKeys(request_.row.keys).item != L"S";
    // A new document whose Save would open Save As in the user's face is kept in the history.
    if (const WindowHandle control = saveAs ? 0 : UnsavedTextControl(desktop_, window))
        return copy_.Begin(request_, control);
    const SaveWay way = ChooseSaveWay(desktop_, window, saveAs);
    if (way == SaveWay::CannotSee)
        return Finish(SaveReport::Of(SaveOutcome::CannotSeeState));
    if (way == SaveWay::Untouched)
        return Finish(SaveReport::Of(SaveOutcome::NothingToSave));
    if (way == SaveWay::Unnamed)
        return Finish(SaveReport::Of(SaveOutcome::NeverSaved));
    // A window the keys could not save waits for the user's use also when its document said it
    // holds changes.
    switch (work_.Decide(window, saveAs, knownUnsaved)) {
    case UnsavedWork::Verdict::NothingToSave:
        return Finish(SaveReport::Of(SaveOutcome::NothingToSave));
    case UnsavedWork::Verdict::WaitForUse:
        return Finish(SaveReport::Of(SaveOutcome::WaitingForUse, work_.WaitCause()));
    case UnsavedWork::Verdict::Save:
        break;
    }
    request_.document = SplitUnsavedMark(ReadWindowTitle(desktop_, window)).document;
    request_.file = saveAs ? L"" : FileShown(desktop_, window, request_.document);
    if (way == SaveWay::ProgramMessage)
        return message_.Begin(request_);
    request_.shortcut = way == SaveWay::Shortcut;
    keys_.Begin(request_);
}

void SaveCycle::OnWindowSaveFinished(SaveOutcome outcome, bool userActedWhileHeld) {
    if (request_.row.target == SaveTarget::Listed && request_.listed)
        work_.OnSaveEnded(request_.listed->window, outcome, userActedWhileHeld);
    Finish(SaveReport::Of(outcome));
}

void SaveCycle::OnDocumentFinished(const DocumentSave::End& end) {
    if (end.useKeys && !end.underWay)
        return SaveTheWindow(end.unsaved);
    Finish(SaveReport::Of(end.outcome));
}

void SaveCycle::Finish(SaveReport report) {
    if (report.outcome == SaveOutcome::Saved)
        report.keep = versions_.Missing();
    if (const wchar_t* skipped = SkipTrace(report.outcome))
        system_.Trace(skipped);
    lastOutcome_ = report.outcome;
    if (onFinished_)
        onFinished_(report);
}

} // namespace quillon
