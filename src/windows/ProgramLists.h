// The two program lists: List1 shows the titles of running programs, the hidden List2 holds each
// one's window handle at the same index. A refresh enumerates at once; tmrWait fills the lists a
// second later. tmrRefresh keeps optOn and cmdKill available or not.
#pragma once

#include "app/FormView.h"
#include "schedule/Numbers.h"
#include "scheduler/SaveDispatch.h"
#include "windows/Enumeration.h"
#include "windows/KeptProgram.h"

#include <map>
#include <optional>

namespace quillon {

// True when the window is visible and has a border.
bool IsVisibleBordered(IDesktop& desktop, const WindowRecord& record);
// True when a title starts with one of the prefixes of system windows hidden by the plain filter.
bool HasHiddenPrefix(const std::wstring& title);

class ProgramLists {
public:
    ProgramLists(IFormView& view, IDesktop& desktop, const Numbers& numbers, const bool& timerSet,
                 KeptProgram& kept)
        : view_(view), desktop_(desktop), numbers_(numbers), timerSet_(timerSet), kept_(kept) {}

    void RefreshWindowList();
    void tmrWait_Timer();    // the one-shot fill
    void tmrRefresh_Timer(); // availability of optOn and cmdKill

    // The handle of the selected program, when an entry is selected and its handle is a number.
    std::optional<WindowHandle> SelectedHandle() const;
    // The selected program's window with the process that owned it when it was listed.
    std::optional<ListedWindow> SelectedWindow() const;
    // The text of the selected List1 entry, empty when none is selected.
    std::wstring SelectedTitle() const;
    // The List1 text of the entry listing `window`, when it is listed.
    std::optional<std::wstring> ListedTitleOf(WindowHandle window) const;
    // Selects the entry of `window` now when it is listed; otherwise lists the programs again,
    // and the fill selects it.
    void SelectWhenListed(WindowHandle window);

    const WindowTable& Table() const { return table_; }

private:
    void SetEnabledIfChanged(Control control, bool enabled);
    std::optional<int> IndexOf(WindowHandle window) const;
    void SelectKeptProgram();

    IFormView& view_;
    IDesktop& desktop_;
    const Numbers& numbers_;
    const bool& timerSet_;
    KeptProgram& kept_;
    WindowTable table_;
    std::map<WindowHandle, std::uint32_t> listedProcess_; // the owner of each listed window at the fill
    bool fillPending_ = false;                             // refreshed, and tmrWait not yet filled the lists
};

} // namespace quillon
