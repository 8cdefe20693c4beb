#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

namespace quillon::win32 {
namespace {

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context) {
    (*reinterpret_cast<const std::function<void(WindowHandle)>*>(context))(FromHwnd(hwnd));
    return TRUE;
}

// A key that no keyboard produces and no program acts on: typing it makes Quillon the process
// that received the last input, which Windows requires before it lets a program change the
// foreground window. Alt is avoided on purpose: it would open menus and release a held Alt.
constexpr WORD kUnassignedKey = 0xE8;

Elevation ElevationOfProcess(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &rawToken))
        return Elevation::Unknown;
    UniqueKernelHandle token(rawToken);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return Elevation::Unknown;
    return elevation.TokenIsElevated ? Elevation::Elevated : Elevation::NotElevated;
}

} // namespace

void Win32Desktop::EnumerateWindows(const std::function<void(WindowHandle)>& visit) {
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&visit));
}

std::wstring Win32Desktop::WindowText(WindowHandle window, int bufferChars) {
    std::wstring buffer(static_cast<std::size_t>(bufferChars), L'\0');
    const int length = GetWindowTextW(ToHwnd(window), buffer.data(), bufferChars);
    buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return buffer;
}

WindowPlacementInfo Win32Desktop::Placement(WindowHandle window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    WindowPlacementInfo info;
    if (!GetWindowPlacement(ToHwnd(window), &placement))
        return info;
    info.showCmd = static_cast<int>(placement.showCmd);
    const RECT& r = placement.rcNormalPosition;
    info.normalPosition = {r.left, r.top, r.right, r.bottom};
    return info;
}

std::uint32_t Win32Desktop::Style(WindowHandle window) {
    return static_cast<std::uint32_t>(GetWindowLongW(ToHwnd(window), GWL_STYLE));
}

bool Win32Desktop::IsWindow(WindowHandle window) {
    return ::IsWindow(ToHwnd(window)) != FALSE;
}

bool Win32Desktop::IsWindowVisible(WindowHandle window) {
    return ::IsWindowVisible(ToHwnd(window)) != FALSE;
}

bool Win32Desktop::IsEnabled(WindowHandle window) {
    return IsWindowEnabled(ToHwnd(window)) != FALSE;
}

std::uint32_t Win32Desktop::ProcessIdOf(WindowHandle window) {
    DWORD process = 0;
    return GetWindowThreadProcessId(ToHwnd(window), &process) ? process : 0;
}

// WM_NULL does nothing in any program; a program that has not read its messages for several
// seconds is given up on at once instead of after the time-out. Messages sent to Quillon meanwhile
// wait until the answer came (SMTO_BLOCK), so no handler runs in the middle of the one that asks.
bool Win32Desktop::Answers(WindowHandle window, unsigned timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(ToHwnd(window), WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG | SMTO_ERRORONEXIT,
                               timeoutMs, &result) != 0;
}

bool Win32Desktop::InMenuMode(WindowHandle window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(ToHwnd(window), nullptr), &info))
        return false;
    return (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0;
}

WindowHandle Win32Desktop::FocusOf(WindowHandle window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(ToHwnd(window), nullptr), &info))
        return 0;
    return FromHwnd(info.hwndFocus);
}

// A window brought back to the front normally puts the focus back itself. When its program did
// not, the focus can only be set from inside its thread's input state: joined for that one call,
// and only while the program answers, so a hung program cannot hang Quillon with it.
void Win32Desktop::RestoreFocus(WindowHandle window, WindowHandle control) {
    const HWND hwnd = ToHwnd(window);
    const HWND focus = ToHwnd(control);
    if (focus == nullptr || FocusOf(window) == control || !IsChild(hwnd, focus) || !Answers(window, 50))
        return;
    const DWORD theirs = GetWindowThreadProcessId(hwnd, nullptr);
    const DWORD ours = GetCurrentThreadId();
    if (theirs == ours || !AttachThreadInput(ours, theirs, TRUE))
        return;
    SetFocus(focus);
    AttachThreadInput(ours, theirs, FALSE);
}

bool Win32Desktop::SetForegroundWindow(WindowHandle window) {
    return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

// OpenIcon waits for the window's program to restore it; a program that hangs would hang
// Quillon with it. Only a minimised window is restored, and without waiting.
bool Win32Desktop::OpenIcon(WindowHandle window) {
    const HWND hwnd = ToHwnd(window);
    if (!IsIconic(hwnd))
        return false;
    return ShowWindowAsync(hwnd, SW_RESTORE) != FALSE;
}

bool Win32Desktop::RetryForeground(WindowHandle window) {
    INPUT tap[2]{};
    for (INPUT& input : tap) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = kUnassignedKey;
    }
    tap[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, tap, sizeof(INPUT));
    return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

WindowHandle Win32Desktop::ForegroundWindow() {
    return FromHwnd(GetForegroundWindow());
}

bool Win32Desktop::IsReadyForInput(WindowHandle window) {
    const HWND hwnd = ToHwnd(window);
    if (GetForegroundWindow() != hwnd)
        return false;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info))
        return false;
    return info.hwndActive == hwnd && info.hwndFocus != nullptr;
}

bool Win32Desktop::BelongsToThisProcess(WindowHandle window) {
    DWORD process = 0;
    GetWindowThreadProcessId(ToHwnd(window), &process);
    return process == GetCurrentProcessId();
}

Elevation Win32Desktop::ProcessElevation(WindowHandle window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(ToHwnd(window), &processId))
        return Elevation::Unknown;
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return Elevation::Unknown;
    return ElevationOfProcess(process.get());
}

Elevation Win32Desktop::OwnElevation() {
    return ElevationOfProcess(GetCurrentProcess());
}

int Win32Desktop::ShowWindow(WindowHandle window, ShowCommand command) {
    return ::ShowWindow(ToHwnd(window), command == ShowCommand::Hide ? SW_HIDE : SW_SHOWNORMAL);
}

WindowHandle Win32Desktop::OwnerOf(WindowHandle window) {
    return FromHwnd(GetWindow(ToHwnd(window), GW_OWNER));
}

} // namespace quillon::win32
