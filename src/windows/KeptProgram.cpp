#include "windows/KeptProgram.h"

#include "windows/Enumeration.h"
#include "windows/TitleMarks.h"

#include <cwctype>
#include <vector>

namespace quillon {
namespace {

// File paths on Windows ignore letter case.
bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

} // namespace

ProgramIdentity IdentityOf(IDesktop& desktop, WindowHandle window) {
    return {desktop.ExecutablePath(window), desktop.ClassName(window),
            SplitUnsavedMark(ReadWindowTitle(desktop, window)).title};
}

// The cheap tests first: most windows differ from the kept one by their title already.
bool ShowsSameDocument(IDesktop& desktop, WindowHandle window, const ProgramIdentity& identity) {
    if (!desktop.IsWindowVisible(window) || desktop.BelongsToThisProcess(window))
        return false;
    if (SplitUnsavedMark(ReadWindowTitle(desktop, window)).title != identity.title)
        return false;
    return desktop.ClassName(window) == identity.windowClass &&
           SamePath(desktop.ExecutablePath(window), identity.executable);
}

void KeptProgram::Choose(const ListedWindow& window, const std::wstring& listedTitle) {
    listedTitle_ = listedTitle;
    identity_ = IdentityOf(desktop_, window.window);
    wantsSelection_ = false;
    SetWindow(window);
}

void KeptProgram::Remember(const ProgramIdentity& identity) {
    identity_ = identity;
    listedTitle_ = identity.title + L" ";
    wantsSelection_ = identity.Known();
    SetWindow({});
}

KeptProgram::Resolution KeptProgram::Resolve() {
    if (!Any())
        return {Where::None, {}};
    if (IsStillThere())
        return {Where::Here, window_};
    if (!identity_.Known()) // its program could not be read: no other window can be told to be it
        return {Where::None, {}};
    std::vector<WindowHandle> alike;
    desktop_.EnumerateWindows([&](WindowHandle candidate) {
        if (ShowsSameDocument(desktop_, candidate, identity_))
            alike.push_back(candidate);
    });
    if (alike.empty())
        return {Where::Missing, {}};
    if (alike.size() > 1)
        return {Where::SeveralAlike, {}};
    listedTitle_ = ReadWindowTitle(desktop_, alike.front()) + L" ";
    wantsSelection_ = true;
    SetWindow({alike.front(), desktop_.ProcessIdOf(alike.front())});
    return {Where::Followed, window_};
}

bool KeptProgram::RefreshTitle(std::uint64_t now) {
    if (!IsStillThere())
        return false;
    const MarkedTitle shown = SplitUnsavedMark(ReadWindowTitle(desktop_, window_.window));
    const bool namedAFile = NamesAFile(SplitUnsavedMark(identity_.title).document);
    if (shown.title == identity_.title || (namedAFile && !NamesAFile(shown.document))) {
        newTitle_.clear();
        return false;
    }
    if (shown.title != newTitle_) {
        newTitle_ = shown.title;
        newTitleSince_ = now;
    }
    if (now - newTitleSince_ < kTitleSettleMs)
        return false;
    identity_.title = newTitle_;
    newTitle_.clear();
    return true;
}

// Windows reuses handles: one kept for hours may name another program's window by now. A hidden
// window shows no document: a program hides its window while it closes it.
bool KeptProgram::IsStillThere() const {
    const WindowHandle window = window_.window;
    return window != 0 && desktop_.IsWindow(window) && desktop_.IsWindowVisible(window) &&
           !desktop_.BelongsToThisProcess(window) && desktop_.ProcessIdOf(window) == window_.processId;
}

void KeptProgram::SetWindow(const ListedWindow& window) {
    const bool changed = window.window != window_.window || window.processId != window_.processId;
    window_ = window;
    newTitle_.clear();
    if (changed && onWindowChanged_)
        onWindowChanged_(window_);
}

} // namespace quillon
