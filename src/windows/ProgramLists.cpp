#include "windows/ProgramLists.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cwchar>
#include <string_view>

namespace quillon {
namespace {

constexpr std::uint32_t kVisibleAndBorder = 0x10800000u; // WS_VISIBLE | WS_BORDER

constexpr std::array<std::wstring_view, 6> kHiddenPrefixes{L" ", L"MS", L"WIN", L"DD", L"OLE", L"Ole"};

std::optional<WindowHandle> ParseHandle(const std::wstring& text) {
    if (text.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 10);
    if (*end != L'\0' || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<WindowHandle>(value);
}

} // namespace

bool IsVisibleBordered(IDesktop& desktop, const WindowRecord& record) {
    return (desktop.Style(record.hWnd) & kVisibleAndBorder) == kVisibleAndBorder;
}

bool HasHiddenPrefix(const std::wstring& title) {
    for (std::wstring_view prefix : kHiddenPrefixes)
        if (std::wstring_view(title).starts_with(prefix))
            return true;
    return false;
}

void ProgramLists::RefreshWindowList() {
    table_.Erase();
    view_.ListClear(Control::List1);
    view_.ListClear(Control::List2);
    desktop_.EnumerateWindows([this](WindowHandle window) { table_.EnumWindowsProc(desktop_, window); });
    view_.SetTimer(Timer::tmrWait, 1000, true);
    fillPending_ = true;
}

void ProgramLists::tmrWait_Timer() {
    view_.SetTimer(Timer::tmrWait, 1000, false);
    fillPending_ = false;
    listedProcess_.clear();
    const bool visibleOnly = view_.Value(Control::chkVisible) == 1;
    const int n = table_.WindowCount;
    view_.BeginListUpdate(Control::List1, n);
    view_.BeginListUpdate(Control::List2, n);
    for (int i = 1; i <= n; ++i) {
        const WindowRecord& record = table_[i];
        // Quillon's own windows are left out of the visible programs by what they are, wherever
        // they stand: hidden in the tray, or below another window when the refresh started.
        const bool qualifies = visibleOnly ? IsVisibleBordered(desktop_, record) &&
                                                 !desktop_.BelongsToThisProcess(record.hWnd)
                                           : !HasHiddenPrefix(record.Title);
        if (qualifies) {
            view_.ListInsert(Control::List1, 0, record.Title);
            view_.ListInsert(Control::List2, 0, std::to_wstring(record.hWnd));
            listedProcess_[record.hWnd] = desktop_.ProcessIdOf(record.hWnd);
        } else {
            --table_.WindowCount;
        }
    }
    view_.EndListUpdate(Control::List2);
    view_.EndListUpdate(Control::List1);
    if (kept_.WantsSelection())
        SelectKeptProgram();
}

// The kept program's entry is selected again after the fill that first lists it: the program
// remembered from the last run, or the window that took over its document.
void ProgramLists::SelectKeptProgram() {
    const int listed = std::min(view_.ListCount(Control::List1), view_.ListCount(Control::List2));
    const ProgramIdentity& identity = kept_.Identity();
    std::optional<int> found;
    for (int i = 0; i < listed; ++i) {
        const auto handle = ParseHandle(view_.ListText(Control::List2, i));
        if (!handle)
            continue;
        const bool same = *handle == kept_.Window().window ||
                          (identity.Known() && ShowsSameDocument(desktop_, *handle, identity));
        if (!same)
            continue;
        if (found)
            return; // several alike: none is guessed at
        found = i;
    }
    if (!found)
        return;
    view_.SetListIndex(Control::List1, *found);
    if (const auto window = SelectedWindow(); window && window->window != kept_.Window().window)
        kept_.Choose(*window, SelectedTitle());
    kept_.SelectionShown();
}

void ProgramLists::tmrRefresh_Timer() {
    const std::wstring interval = view_.Text(Control::txtInterval);
    if (interval.empty())
        return;
    const bool selected = view_.ListIndex(Control::List1) >= 0;
    const auto number = numbers_.Parse(interval);
    const bool intervalAvailable = timerSet_ || (number && *number > 0 && interval[0] < L'A');
    SetEnabledIfChanged(Control::optOn, selected && intervalAvailable);
    SetEnabledIfChanged(Control::cmdKill, view_.Value(Control::optOn) == 0);
}

void ProgramLists::SetEnabledIfChanged(Control control, bool enabled) {
    if (view_.Enabled(control) != enabled)
        view_.SetEnabled(control, enabled);
}

std::optional<WindowHandle> ProgramLists::SelectedHandle() const {
    const int index = view_.ListIndex(Control::List1);
    if (index < 0 || index >= view_.ListCount(Control::List2))
        return std::nullopt;
    return ParseHandle(view_.ListText(Control::List2, index));
}

std::optional<ListedWindow> ProgramLists::SelectedWindow() const {
    const auto handle = SelectedHandle();
    if (!handle)
        return std::nullopt;
    const auto owner = listedProcess_.find(*handle);
    return ListedWindow{*handle, owner == listedProcess_.end() ? 0u : owner->second};
}

std::optional<int> ProgramLists::IndexOf(WindowHandle window) const {
    const std::wstring handle = std::to_wstring(window);
    const int count = view_.ListCount(Control::List2);
    for (int i = 0; i < count; ++i)
        if (view_.ListText(Control::List2, i) == handle)
            return i;
    return std::nullopt;
}

std::optional<std::wstring> ProgramLists::ListedTitleOf(WindowHandle window) const {
    const auto index = IndexOf(window);
    if (!index || *index >= view_.ListCount(Control::List1))
        return std::nullopt;
    return view_.ListText(Control::List1, *index);
}

void ProgramLists::SelectWhenListed(WindowHandle window) {
    const auto index = IndexOf(window);
    if (index && *index < view_.ListCount(Control::List1)) {
        view_.SetListIndex(Control::List1, *index);
        kept_.SelectionShown();
        return;
    }
    if (!fillPending_) // a fill on its way selects it anyway
        RefreshWindowList();
}

std::wstring ProgramLists::SelectedTitle() const {
    const int index = view_.ListIndex(Control::List1);
    return index < 0 ? L"" : view_.ListText(Control::List1, index);
}

} // namespace quillon
