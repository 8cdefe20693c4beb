#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <winternl.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace quillon::win32 {
namespace {

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context) {
    (*reinterpret_cast<const std::function<void(WindowHandle)>*>(context))(FromHwnd(hwnd));
    return TRUE;
}

// A dropped-down menu is a visible window of the menu class on its thread; menu mode alone may
// be the menu bar with nothing dropped down, or a menu that is ending.
BOOL CALLBACK FindShownPopupMenu(HWND hwnd, LPARAM found) {
    wchar_t name[16] = {};
    if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, name, 16) && lstrcmpW(name, L"#32768") == 0) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

bool ShowsPopupMenu(DWORD thread) {
    bool found = false;
    EnumThreadWindows(thread, FindShownPopupMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct FocusRequest {
    HWND window;
    HWND control;
};

DWORD WINAPI SetFocusJoined(void* parameter) {
    const std::unique_ptr<FocusRequest> request(static_cast<FocusRequest*>(parameter));
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // a thread joins input only with a queue
    const DWORD ours = GetCurrentThreadId();
    const DWORD theirs = GetWindowThreadProcessId(request->window, nullptr);
    if (theirs == 0 || !AttachThreadInput(ours, theirs, TRUE))
        return 0;
    if (GetForegroundWindow() == request->window)
        SetFocus(request->control);
    AttachThreadInput(ours, theirs, FALSE);
    return 0;
}

constexpr DWORD kFocusWaitMs = 100;

void RestoreFocusBriefly(HWND window, HWND control) {
    auto request = std::make_unique<FocusRequest>(FocusRequest{window, control});
    UniqueKernelHandle worker(CreateThread(nullptr, 0, SetFocusJoined, request.get(), 0, nullptr));
    if (!worker)
        return;
    request.release(); // the thread owns it now
    WaitForSingleObject(worker.get(), kFocusWaitMs);
}

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

struct DescendantSearch {
    const std::wstring* className;
    HWND found;
};

// The first visible one (Notepad++ keeps a second editing view hidden), else the first.
BOOL CALLBACK FindDescendantOfClass(HWND hwnd, LPARAM context) {
    auto* search = reinterpret_cast<DescendantSearch*>(context);
    wchar_t name[256] = {};
    if (!GetClassNameW(hwnd, name, 256) || *search->className != name)
        return TRUE;
    if (!search->found)
        search->found = hwnd;
    if (!IsWindowVisible(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

bool ReadRemote(HANDLE process, std::uint64_t address, void* into, std::size_t bytes) {
    SIZE_T read = 0;
    return address != 0 && address <= UINTPTR_MAX &&
           ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)), into,
                             bytes, &read) &&
           read == bytes;
}

// The command line in a process's parameters, which its environment block points to: `Pointer` is
// the width of the process's pointers, and the offsets are those of its PEB and parameters.
template <class Pointer>
std::wstring CommandLineInPeb(HANDLE process, std::uint64_t peb, std::size_t parametersAt, std::size_t lineAt) {
    Pointer parameters = 0;
    struct {
        std::uint16_t length, maximum;
        Pointer buffer;
    } line{};
    if (!ReadRemote(process, peb + parametersAt, &parameters, sizeof parameters) ||
        !ReadRemote(process, static_cast<std::uint64_t>(parameters) + lineAt, &line, sizeof line))
        return L"";
    std::wstring text(line.length / 2, L'\0');
    return ReadRemote(process, line.buffer, text.data(), text.size() * sizeof(wchar_t)) ? text : L"";
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

bool Win32Desktop::IsHung(WindowHandle window) {
    return IsHungAppWindow(ToHwnd(window)) != FALSE;
}

ThreadInput Win32Desktop::InputOf(WindowHandle window) {
    const DWORD thread = GetWindowThreadProcessId(ToHwnd(window), nullptr);
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ThreadInput in;
    if (thread == 0 || !GetGUIThreadInfo(thread, &info))
        return in;
    in.known = true;
    in.active = FromHwnd(info.hwndActive);
    in.focus = FromHwnd(info.hwndFocus);
    in.caret = FromHwnd(info.hwndCaret);
    in.inMenu = (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0;
    in.systemMenu = (info.flags & GUI_SYSTEMMENUMODE) != 0;
    in.menuOwner = FromHwnd(info.hwndMenuOwner);
    in.menuShown = in.inMenu && ShowsPopupMenu(thread);
    return in;
}

// WM_CANCELMODE ends a thread's menu loop (the default handling of its owner closes the menu);
// sent without waiting, so a program that hangs cannot hang Quillon with it.
void Win32Desktop::CancelMenu(WindowHandle menuOwner) {
    SendNotifyMessageW(ToHwnd(menuOwner), WM_CANCELMODE, 0, 0);
}

// A window brought back to the front normally puts the focus back itself. When its program did
// not, the focus can only be set from inside its thread's input state. That is done on a thread
// of its own, joined to the program's input for the one call, and waited for only a moment: a
// program that stops answering meanwhile keeps that thread, never Quillon's window.
void Win32Desktop::RestoreFocus(WindowHandle window, WindowHandle control) {
    const HWND hwnd = ToHwnd(window);
    const HWND focus = ToHwnd(control);
    if (focus == nullptr || InputOf(window).focus == control || !IsChild(hwnd, focus))
        return;
    RestoreFocusBriefly(hwnd, focus);
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

void Win32Desktop::Minimize(WindowHandle window) {
    const HWND hwnd = ToHwnd(window);
    if (!IsIconic(hwnd))
        ShowWindowAsync(hwnd, SW_SHOWMINNOACTIVE);
}

WindowHandle Win32Desktop::ForegroundWindow() {
    return FromHwnd(GetForegroundWindow());
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

std::wstring Win32Desktop::ClassName(WindowHandle window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(ToHwnd(window), name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// EnumChildWindows visits every descendant, not only the direct children.
WindowHandle Win32Desktop::FindDescendant(WindowHandle window, const std::wstring& className) {
    DescendantSearch search{&className, nullptr};
    EnumChildWindows(ToHwnd(window), FindDescendantOfClass, reinterpret_cast<LPARAM>(&search));
    return FromHwnd(search.found);
}

// The limited query right is granted for any process of the same user, elevated or not.
std::wstring Win32Desktop::ExecutablePath(WindowHandle window) {
    DWORD processId = 0;
    if (!GetWindowThreadProcessId(ToHwnd(window), &processId))
        return L"";
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return L"";
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
            path.resize(size);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768)
            return L"";
        path.resize(path.size() * 2);
    }
}

// The process's creation time: a process given the same id later was created later.
std::optional<std::uint64_t> Win32Desktop::ProcessStartTime(std::uint32_t processId) {
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    DWORD code = 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process || !GetExitCodeProcess(process.get(), &code) || code != STILL_ACTIVE ||
        !GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return std::nullopt;
    return static_cast<std::uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// Windows 8.1 and later give the command line of any process whole. Elsewhere (Wine among them) it
// is read from the process's parameters, where its bitness lets this one read them: a 32-bit
// program cannot read a 64-bit one's.
std::wstring Win32Desktop::CommandLineOf(WindowHandle window) {
    using QueryProcess = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    constexpr ULONG kBasicInformation = 0, kWow64Information = 26, kCommandLineInformation = 60;
    DWORD processId = 0;
    const auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query || !GetWindowThreadProcessId(ToHwnd(window), &processId))
        return L"";
    const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return L"";
    std::vector<std::uint64_t> buffer(8 * 1024 + 4); // a command line of 32767 characters, and its header
    if (query(process.get(), kCommandLineInformation, buffer.data(), static_cast<ULONG>(buffer.size() * 8),
              nullptr) == 0) {
        const auto* line = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
        return std::wstring(line->Buffer, line->Length / sizeof(wchar_t));
    }
    // A 32-bit process seen from a 64-bit one has a 32-bit environment block of its own (Wine answers
    // a flag where Windows gives its address).
    ULONG_PTR wow64Peb = 0;
    if (sizeof(void*) == 8 && query(process.get(), kWow64Information, &wow64Peb, sizeof wow64Peb, nullptr) == 0 &&
        wow64Peb > 0xFFFF)
        if (std::wstring line = CommandLineInPeb<std::uint32_t>(process.get(), wow64Peb, 0x10, 0x40); !line.empty())
            return line;
    BOOL ownWow64 = FALSE, targetWow64 = FALSE;
    PROCESS_BASIC_INFORMATION basic{};
    const bool sameBitness = sizeof(void*) == 8 || !IsWow64Process(GetCurrentProcess(), &ownWow64) || !ownWow64 ||
                             (IsWow64Process(process.get(), &targetWow64) && targetWow64);
    if (!sameBitness || query(process.get(), kBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return L"";
    const auto peb = reinterpret_cast<std::uintptr_t>(basic.PebBaseAddress);
    return sizeof(void*) == 8 ? CommandLineInPeb<std::uint64_t>(process.get(), peb, 0x20, 0x70)
                              : CommandLineInPeb<std::uint32_t>(process.get(), peb, 0x10, 0x40);
}

// Another program's menu bar is a handle to its menu; whether the system draws it for the window
// is what matters, and GetMenu answers that for any window.
bool Win32Desktop::HasMenuBar(WindowHandle window) {
    const LONG_PTR style = GetWindowLongPtrW(ToHwnd(window), GWL_STYLE);
    return (style & WS_CHILD) == 0 && GetMenu(ToHwnd(window)) != nullptr;
}

std::optional<std::intptr_t> Win32Desktop::SendPlainMessage(WindowHandle window, std::uint32_t message,
                                                            std::uintptr_t wParam, std::intptr_t lParam,
                                                            unsigned timeoutMs) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(ToHwnd(window), message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_NORMAL, timeoutMs,
                             &result))
        return std::nullopt;
    return static_cast<std::intptr_t>(result);
}

void Win32Desktop::AskToClose(WindowHandle window) {
    PostMessageW(ToHwnd(window), WM_CLOSE, 0, 0);
}

} // namespace quillon::win32
