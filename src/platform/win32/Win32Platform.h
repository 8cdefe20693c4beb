// The Win32 implementations of the core's platform interfaces.
#pragma once

#include "platform/Platform.h"

#include <windows.h>

#include <array>
#include <set>
#include <utility>

namespace quillon::win32 {

// Posted to the main window when the keyboard device signals a key change.
constexpr UINT kKeyboardChangedMessage = WM_APP + 1;
// Posted to the main window when a window came to the front or took the focus (wParam: it).
constexpr UINT kWindowActivityMessage = WM_APP + 2;

class Win32Desktop final : public IDesktop {
public:
    void EnumerateWindows(const std::function<void(WindowHandle)>& visit) override;
    std::wstring WindowText(WindowHandle window, int bufferChars) override;
    WindowPlacementInfo Placement(WindowHandle window) override;
    std::uint32_t Style(WindowHandle window) override;
    bool IsWindow(WindowHandle window) override;
    bool IsWindowVisible(WindowHandle window) override;
    bool IsEnabled(WindowHandle window) override;
    std::uint32_t ProcessIdOf(WindowHandle window) override;
    bool Answers(WindowHandle window, unsigned timeoutMs) override;
    bool IsHung(WindowHandle window) override;
    ThreadInput InputOf(WindowHandle window) override;
    void CancelMenu(WindowHandle menuOwner) override;
    void RestoreFocus(WindowHandle window, WindowHandle control) override;
    bool SetForegroundWindow(WindowHandle window) override;
    bool OpenIcon(WindowHandle window) override;
    void Minimize(WindowHandle window) override;
    WindowHandle ForegroundWindow() override;
    bool BelongsToThisProcess(WindowHandle window) override;
    Elevation ProcessElevation(WindowHandle window) override;
    Elevation OwnElevation() override;
    int ShowWindow(WindowHandle window, ShowCommand command) override;
    WindowHandle OwnerOf(WindowHandle window) override;
    std::wstring ClassName(WindowHandle window) override;
    WindowHandle FindDescendant(WindowHandle window, const std::wstring& className) override;
    std::wstring ExecutablePath(WindowHandle window) override;
    std::optional<std::uint64_t> ProcessStartTime(std::uint32_t processId) override;
    std::wstring CommandLineOf(WindowHandle window) override;
    bool HasMenuBar(WindowHandle window) override;
    std::optional<std::intptr_t> SendPlainMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                                  std::intptr_t lParam, unsigned timeoutMs) override;
    void AskToClose(WindowHandle window) override;
};

class Win32Input final : public IInput {
public:
    bool IsKeyDown(std::uint8_t virtualKey) override;
    std::uint64_t MsSinceLastInput() override;
    std::size_t SendKeys(const std::vector<KeyEvent>& events, WindowHandle target) override;
};

class Win32Registry final : public IRawRegistry {
public:
    std::optional<RegKey> OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access) override;
    std::optional<RegKey> CreateKey(std::uint32_t root, const std::string& path, const std::string& keyClass,
                                    std::uint32_t access) override;
    bool QueryValue(RegKey key, const std::string& name, std::size_t capacity, std::uint32_t& type,
                    std::vector<std::uint8_t>& data) override;
    bool SetStringValue(RegKey key, const std::string& name, const std::string& data) override;
    void CloseKey(RegKey key) override;
};

class Win32UserRegistry final : public IUserRegistry {
public:
    std::optional<std::wstring> ReadText(const std::wstring& keyPath, const std::wstring& name,
                                         std::size_t maxChars) override;
    bool WriteText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) override;
    bool DeleteValue(const std::wstring& keyPath, const std::wstring& name) override;
};

// The document route's calls, each on a worker thread: an idle one, or a new one while the others
// are held by calls, up to four. The workers, and the libraries they need, come with the first call.
class Win32Documents final : public IDocuments {
public:
    Win32Documents();
    ~Win32Documents() override;
    Win32Documents(const Win32Documents&) = delete;
    Win32Documents& operator=(const Win32Documents&) = delete;
    DocumentCallId Start(const DocumentAsk& ask) override;
    std::optional<DocumentReply> TakeReply(DocumentCallId call) override;
    void Abandon(DocumentCallId call) override;
    std::optional<DocumentReply> WaitForReply(DocumentCallId call, unsigned timeoutMs) override;

    struct Worker; // a worker thread and what it shares with the window's thread

private:
    static constexpr std::size_t kMostWorkers = 4;

    Worker* IdleWorker();
    Worker* NewWorker();
    Worker* AwaitedWorker(DocumentCallId call);

    std::array<Worker*, kMostWorkers> workers_{}; // never freed: a worker stuck in a call may still answer
    DocumentCallId lastCall_ = 0;
};

class Win32Tray final : public ITray {
public:
    bool Notify(TrayRequest request, const TrayIconRecord& record) override;
    std::uint32_t RecordSize() const override;

private:
    bool Send(TrayRequest request, const TrayIconRecord& record);
    // The icons asked to be added and not deleted since, by window and id. A change to any other
    // icon can only fail in the shell; it fails here, without the wait for the shell's answer (the
    // load writes the tip before it adds the icon).
    std::set<std::pair<WindowHandle, std::uint32_t>> added_;
};

class Win32ShellUi final : public IShellUi {
public:
    Win32ShellUi(HINSTANCE instance, HWND mainWindow) : instance_(instance), main_(mainWindow) {}
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override;
    std::wstring InputBox(const std::wstring& prompt, const std::wstring& title,
                          const std::wstring& defaultText) override;
    ScreenPoint CursorPos() override;
    int TrackPopupMenu(const std::vector<MenuItem>& menu, ScreenPoint at) override;
    bool SystemMenuHasCommand(int id) override;
    bool AppendSystemMenuItem(int id, const std::wstring& text) override;
    bool OpenFolder(const std::wstring& folder) override;
    [[noreturn]] void ExitProcess() override;

private:
    HINSTANCE instance_;
    HWND main_;
};

class Win32System final : public ISystem {
public:
    explicit Win32System(HINSTANCE instance) : instance_(instance) {}
    std::uint64_t TickCountMs() override;
    LocalTime LocalNow() override;
    std::wstring HistoryFolder() override;
    std::wstring NowAsGeneralDate() override;
    std::wstring ExecutableFolder() override;
    std::wstring ExecutablePath() override;
    bool AppendBytes(const std::wstring& path, const std::string& bytes) override;
    bool RemoveFile(const std::wstring& path) override;
    bool FileExists(const std::wstring& path) override;
    std::string ToAnsi(const std::wstring& text) override;
    std::wstring FromAnsi(const std::string& text) override;
    wchar_t DecimalSeparator() override;
    KeyboardSetup OpenKeyboard(WindowHandle mainWindow) override;
    int FullScreenWidth() override;
    int FullScreenHeight() override;
    void Trace(const wchar_t* event) override;

private:
    HINSTANCE instance_;
};

// The keyboard device: DirectInput 7 on the system keyboard, background and non-exclusive, so
// F2 and F3 are seen whichever program has the focus and still reach that program.
KeyboardSetup OpenDirectInputKeyboard(HINSTANCE instance, HWND window);

} // namespace quillon::win32
