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

bool Win32Desktop::SetForegroundWindow(WindowHandle window) {
    return ::SetForegroundWindow(ToHwnd(window)) != FALSE;
}

bool Win32Desktop::OpenIcon(WindowHandle window) {
    return ::OpenIcon(ToHwnd(window)) != FALSE;
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
    // A window that shows a modal dialog is disabled: the keys would reach the dialog, or nothing.
    if (GetForegroundWindow() != hwnd || !IsWindowEnabled(hwnd))
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
