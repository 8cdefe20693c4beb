#include "windows/Enumeration.h"

namespace quillon {
namespace {

constexpr int kTitleBufferChars = 256;

std::wstring StateText(int showCmd) {
    switch (showCmd) {
    case 1:
        return L"Normal";
    case 2:
        return L"Minimized";
    case 3:
        return L"Maximized";
    default:
        return L"";
    }
}

} // namespace

std::wstring ReadWindowTitle(IDesktop& desktop, WindowHandle window) {
    std::wstring title = desktop.WindowText(window, kTitleBufferChars);
    if (title.size() > kTitleBufferChars - 1)
        title.resize(kTitleBufferChars - 1);
    return title;
}

bool WindowTable::EnumWindowsProc(IDesktop& desktop, WindowHandle window) {
    // The count is 16-bit; a desktop with more windows than that keeps the first ones.
    if (WindowCount == kMaxRecords)
        return true;
    ++WindowCount;
    WindowRecord& record = records_.emplace_back();
    record.hWnd = window;
    record.Title = ReadWindowTitle(desktop, window) + L" ";
    const WindowPlacementInfo placement = desktop.Placement(window);
    record.State = StateText(placement.showCmd);
    record.Left = placement.normalPosition.left;
    record.Top = placement.normalPosition.top;
    record.Right = placement.normalPosition.right;
    record.Bottom = placement.normalPosition.bottom;
    return true;
}

} // namespace quillon
