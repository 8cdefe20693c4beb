// The narrow interface between Quillon's portable core and the operating system.
// Nothing in here includes a Windows header: the Win32 layer implements these interfaces,
// and the unit tests implement them with in-memory fakes.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// A top-level window handle as the program keeps it: a 32-bit signed integer
// (handles are 32 bits wide on 64-bit Windows too, and sign-extend when widened).
using WindowHandle = std::int32_t;

// A local date and time, to the second.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    auto operator<=>(const LocalTime&) const = default;
};

struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct WindowPlacementInfo {
    int showCmd = 0; // 1 normal, 2 minimised, 3 maximised, 0 when it could not be read
    PixelRect normalPosition;
};

enum class ShowCommand { Hide, ShowNormal };

// Whether a process runs with an elevated (administrator) token.
enum class Elevation { NotElevated, Elevated, Unknown };

// A thread's keyboard and menu state as another program can see it.
struct ThreadInput {
    bool known = false;       // false when the thread could not be read
    WindowHandle active = 0;  // its active top-level window
    WindowHandle focus = 0;   // the window with its keyboard focus
    WindowHandle caret = 0;   // the window that shows its caret
    bool inMenu = false;      // in a menu's modal loop
    bool systemMenu = false;  // that menu is a window's system menu
    WindowHandle menuOwner = 0;
    bool menuShown = false;   // a popup menu of the thread is on the screen (a menu dropped down)
    bool operator==(const ThreadInput&) const = default;
};

// Other programs' windows: enumeration, their titles and styles, and activation.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Calls `visit` once per top-level window, topmost first, before it returns.
    virtual void EnumerateWindows(const std::function<void(WindowHandle)>& visit) = 0;
    // The title as read through a buffer of `bufferChars` characters.
    virtual std::wstring WindowText(WindowHandle window, int bufferChars) = 0;
    virtual WindowPlacementInfo Placement(WindowHandle window) = 0;
    virtual std::uint32_t Style(WindowHandle window) = 0; // 0 for a handle that names no window
    virtual bool IsWindow(WindowHandle window) = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    // False for a disabled window, such as the owner of a modal dialog.
    virtual bool IsEnabled(WindowHandle window) = 0;
    // The process that owns the window; 0 when the handle names no window.
    virtual std::uint32_t ProcessIdOf(WindowHandle window) = 0;
    // Whether the window's program answers a message within `timeoutMs`; a hung one does not.
    virtual bool Answers(WindowHandle window, unsigned timeoutMs) = 0;
    // Whether the system takes the window's program for hung (it has not read its messages for
    // seconds); asking it costs no wait.
    virtual bool IsHung(WindowHandle window) = 0;
    // What the thread of `window` shows of its input: its active and focused windows, its caret,
    // and the menu it is in.
    virtual ThreadInput InputOf(WindowHandle window) = 0;
    // Asks the owner of an open menu to close it, without waiting for its program.
    virtual void CancelMenu(WindowHandle menuOwner) = 0;
    // Gives `control` of `window` the keyboard focus again where the system allows it, waiting
    // for the window's program no longer than a moment.
    virtual void RestoreFocus(WindowHandle window, WindowHandle control) = 0;
    virtual bool SetForegroundWindow(WindowHandle window) = 0;
    // Restores a minimised window without waiting for its program, which may not be answering.
    virtual bool OpenIcon(WindowHandle window) = 0;
    // Minimises another program's window without activating anything and without waiting.
    virtual void Minimize(WindowHandle window) = 0;
    virtual WindowHandle ForegroundWindow() = 0;
    virtual bool BelongsToThisProcess(WindowHandle window) = 0;
    virtual Elevation ProcessElevation(WindowHandle window) = 0;
    virtual Elevation OwnElevation() = 0;
    virtual int ShowWindow(WindowHandle window, ShowCommand command) = 0;
    virtual WindowHandle OwnerOf(WindowHandle window) = 0;
    virtual std::wstring ClassName(WindowHandle window) = 0;
    // The first window of class `className` among the descendants of `window`; 0 when none.
    virtual WindowHandle FindDescendant(WindowHandle window, const std::wstring& className) = 0;
    // The full path of the program file of the process that owns the window; empty when it
    // cannot be read (the window is gone, or its process may not be asked).
    virtual std::wstring ExecutablePath(WindowHandle window) = 0;
    // When the process began, a mark that tells it from a later process given the same id;
    // nothing once it has ended (or when it may not be asked).
    virtual std::optional<std::uint64_t> ProcessStartTime(std::uint32_t processId) = 0;
    // The command line the window's process was started with; empty when it cannot be read.
    virtual std::wstring CommandLineOf(WindowHandle window) = 0;
    // Whether the window has a classic menu bar (one the system draws, which Alt+F opens).
    virtual bool HasMenuBar(WindowHandle window) = 0;
    // Sends a message that carries no pointer to another program's window and waits at most
    // `timeoutMs` for its answer, giving up at once on a program the system takes for hung;
    // nothing when it did not answer.
    virtual std::optional<std::intptr_t> SendPlainMessage(WindowHandle window, std::uint32_t message,
                                                          std::uintptr_t wParam, std::intptr_t lParam,
                                                          unsigned timeoutMs) = 0;
    // Asks a window to close, as its close box does (a dialog takes it for Cancel), without waiting.
    virtual void AskToClose(WindowHandle window) = 0;
};

// Virtual-key codes the core names.
namespace vk {
constexpr std::uint8_t LButton = 0x01, RButton = 0x02, MButton = 0x04, XButton1 = 0x05, XButton2 = 0x06;
constexpr std::uint8_t Shift = 0x10, Control = 0x11, Menu = 0x12;
constexpr std::uint8_t Escape = 0x1B, LWin = 0x5B, RWin = 0x5C, F2 = 0x71, F3 = 0x72;
// A key that no keyboard produces and no program acts on.
constexpr std::uint8_t Unassigned = 0xE8;
} // namespace vk

struct KeyEvent {
    std::uint8_t virtualKey = 0;
    bool down = true;
    bool operator==(const KeyEvent&) const = default;
};

// Synthetic keyboard input and the live state of keys and mouse buttons.
class IInput {
public:
    virtual ~IInput() = default;
    virtual bool IsKeyDown(std::uint8_t virtualKey) = 0;
    // How long ago the user last pressed a key or moved or clicked the mouse, anywhere.
    virtual std::uint64_t MsSinceLastInput() = 0;
    // Types the events in one uninterruptible batch into `target`'s thread; returns how many were inserted.
    virtual std::size_t SendKeys(const std::vector<KeyEvent>& events, WindowHandle target) = 0;
};

enum class KeyboardRead { Ok, InputLost, Failed };

// The keyboard device read by the F2/F3 watch: the down state of every DirectInput key code.
class IKeyboardDevice {
public:
    virtual ~IKeyboardDevice() = default;
    // InputLost: the device was taken away (another program's exclusive use, the session
    // locked) and must be acquired again before it reports keys.
    virtual KeyboardRead ReadState(std::array<std::uint8_t, 256>& state) = 0;
    virtual bool Acquire() = 0;
    virtual void Unacquire() = 0;
    // True when the window is told whenever F2 or F3 goes down or up (it then calls the watch),
    // so the device needs reading only then, while one of them is held, and by a slow safety
    // poll in case a signal is lost.
    virtual bool SignalsChanges() const = 0;
};

enum class KeyboardSetupStep { CreateDirectInput, CreateDevice, SetDataFormat, SetCooperativeLevel, Acquire };

struct KeyboardSetup {
    std::unique_ptr<IKeyboardDevice> device; // null when a step failed
    KeyboardSetupStep failedStep = KeyboardSetupStep::CreateDirectInput;
    std::uint32_t errorCode = 0;
};

// The registry as the A functions see it: ANSI key paths, names and data.
using RegKey = std::uintptr_t;
namespace reg {
constexpr std::uint32_t HKeyLocalMachine = 0x80000002u;
constexpr std::uint32_t AccessMask = 0x2003Fu;
constexpr std::uint32_t ReadAccess = 0x20019u; // KEY_READ: what a standard user is granted under HKLM
constexpr std::uint32_t RegSz = 1, RegExpandSz = 2, RegBinary = 3, RegDword = 4, RegMultiSz = 7;
} // namespace reg

class IRawRegistry {
public:
    virtual ~IRawRegistry() = default;
    virtual std::optional<RegKey> OpenKey(std::uint32_t root, const std::string& path,
                                          std::uint32_t access) = 0;
    virtual std::optional<RegKey> CreateKey(std::uint32_t root, const std::string& path,
                                            const std::string& keyClass, std::uint32_t access) = 0;
    // Reads at most `capacity` bytes; fails when the value is missing or larger than that.
    virtual bool QueryValue(RegKey key, const std::string& name, std::size_t capacity, std::uint32_t& type,
                            std::vector<std::uint8_t>& data) = 0;
    virtual bool SetStringValue(RegKey key, const std::string& name, const std::string& data) = 0;
    virtual void CloseKey(RegKey key) = 0;
};

// Per-user text values under HKEY_CURRENT_USER, through the registry's W functions: what only
// this user may read (a window title can name a private document) and can always write.
class IUserRegistry {
public:
    virtual ~IUserRegistry() = default;
    // The text of a REG_SZ value of at most `maxChars` characters; nothing when the key or the
    // value is missing, of another type, longer, or holds a NUL before its end.
    virtual std::optional<std::wstring> ReadText(const std::wstring& keyPath, const std::wstring& name,
                                                 std::size_t maxChars) = 0;
    // Stores the text as REG_SZ, creating the key when needed; true when it was stored.
    virtual bool WriteText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) = 0;
    // Removes the value; true when it is gone (also when it was never there).
    virtual bool DeleteValue(const std::wstring& keyPath, const std::wstring& name) = 0;
};

// Another program's own document, reached through the object model the program publishes for
// other programs (scheduler/DocumentPrograms.h names the programs and how each is reached):
// whether it holds unsaved changes, and its Save. A program's object may take as long to answer
// as the program does, so every call runs on a worker thread and the caller only looks for the
// reply; a call stuck in a program that does not answer keeps its worker, and later calls get
// another one.
enum class DocumentProgram {
    Word, Excel, PowerPoint, WpsWriter, WpsSpreadsheets, WpsPresentation, WpsOffice, LibreOffice
};

enum class DocumentRequest {
    Read,          // the document's state
    Save,          // Save() with the program's alerts known to be off and put back after it, then the state
    RestoreAlerts, // puts the program's alerts back to the setting given (an earlier put-back was refused)
    // A never-saved document's content into the history (`keep.copyTo`, its extension added), the
    // document left as it is: SaveCopyAs with the alerts off as for Save(), WordOpenXML, storeToURL.
    SaveCopy,
    // The rest are about files, and take no program's object: the file `keep.file` as it is on disk
    // into the history (`keep.copyTo`), unless its newest version there is the same; its last-write
    // time; and the text of the window `keep.control`, unless it is the one last copied.
    KeepVersion,
    FileTime,
    CopyText,
};

// A program's setting of its alerts (DisplayAlerts) as its object model holds it: the automation
// type (VT_BOOL, VT_I2 or VT_I4) and the value, so that exactly what the user had is put back.
struct AlertsSetting {
    std::uint16_t type = 0;
    std::int32_t value = 0;
    bool operator==(const AlertsSetting&) const = default;
};

// The document a call is about: the one the listed window shows.
struct DocumentTarget {
    DocumentProgram program = DocumentProgram::Word;
    std::uint32_t processId = 0;     // the process of its window: the program
    WindowHandle window = 0;         // the program's top-level window
    WindowHandle documentWindow = 0; // its innermost document window, asked for its object; 0: none
    std::wstring title;              // the top-level window's title, to tell its document among the program's
    bool operator==(const DocumentTarget&) const = default;
};

// A program of the document table has up to three applications behind one window (integrated
// WPS Office), each with alerts of its own: settings are kept by the application's place in its row.
constexpr std::size_t kMostApplications = 3;
using UserAlerts = std::array<std::optional<AlertsSetting>, kMostApplications>;

// What a request about the history names: the file, where in the history its copy goes (a full
// path; a copy's extension is the platform's to add), the history itself (pruned as it is
// written), and for a text, its window and the mark of the text copied last.
struct KeepAsk {
    std::wstring file;
    std::wstring copyTo;
    std::wstring history;
    LocalTime now;
    WindowHandle control = 0;
    std::uint64_t lastHash = 0;
    bool operator==(const KeepAsk&) const = default;
};

struct DocumentAsk {
    DocumentRequest request = DocumentRequest::Read;
    DocumentTarget target;
    KeepAsk keep;
    // Save: the user's own alerts settings still owed to the program, by application (its present
    // "none" is then not the user's); RestoreAlerts: the setting to put back, at `application`.
    UserAlerts userAlerts;
    std::uint8_t application = 0; // RestoreAlerts: the application whose alerts are put back
    bool operator==(const DocumentAsk&) const = default;
};

struct DocumentState {
    bool protectedView = false; // the window is a Protected View window, which holds no document to save
    bool saved = true;          // the program holds no unsaved changes
    bool hasPath = false;       // the document has been saved to a file before
    bool readOnly = false;
    bool savesItself = false;   // the program saves it continuously itself (AutoSaveOn)
    std::wstring name;          // what the program names it by: FullName, or LibreOffice's location
    bool operator==(const DocumentState&) const = default;
};

// What a request about the history came to.
enum class KeepResult {
    None,      // not asked
    Kept,      // written whole into the history
    Unchanged, // the same as the newest version kept, or as the text copied last: nothing written
    NoFile,    // the file is not there (any more)
    TooLarge,  // larger than the history keeps
    Locked,    // another program holds the file without sharing it
    NoRoom,    // the disk, or the history, has no room for it
    NoHistory, // the history's folder cannot be made or written to
    Refused,   // the program gave no copy (it refused, or has no way to give one)
    Failed,    // reading or writing failed otherwise
    TooSlow,   // it took too long to be waited for (the caller's verdict, never a reply's)
};
struct KeepReply {
    KeepResult result = KeepResult::None;
    std::optional<std::uint64_t> lastWrite; // the file's last-write time, when it is there
    std::wstring path;                      // the copy written
    std::uint64_t hash = 0;                 // CopyText: the mark of the text read
    bool cut = false;                       // CopyText: only the first part of a longer text was copied
    bool operator==(const KeepReply&) const = default;
};

struct DocumentReply {
    std::uint32_t failure = 0;  // the HRESULT of the call that failed; 0 when every call succeeded
    bool noObject = false;      // the program gave no document object
    bool unexpected = false;    // the object answered what its interface does not promise
    bool notOneDocument = false; // no single document of the program is the one its window shows
    bool alertsNotOff = false;  // the alerts could not be read or switched off: no Save() was made
    bool saveCalled = false;    // Save() was called (`failure` is its own when it alone failed)
    bool saveMade = false;      // Save() returned success; a failure after it is the state read after
    // The user's alerts setting of a Save (read before they were switched off, or the one given)
    // or of a RestoreAlerts; `alertsPutBack` says whether the program has it again.
    std::optional<AlertsSetting> alerts;
    bool alertsPutBack = true;
    std::uint8_t alertsApplication = 0; // the application of the row they belong to
    DocumentState state;        // what the document said, when nothing failed
    KeepReply keep;             // what a request about the history came to
    bool operator==(const DocumentReply&) const = default;
};

using DocumentCallId = std::uint32_t; // 0: no call

class IDocuments {
public:
    virtual ~IDocuments() = default;
    // Starts the call on a worker thread: an idle one, or a new one while earlier calls are stuck
    // in programs that do not answer. 0, and nothing starts, when no worker can be had.
    virtual DocumentCallId Start(const DocumentAsk& ask) = 0;
    // The call's reply once it came; nothing before. Given once.
    virtual std::optional<DocumentReply> TakeReply(DocumentCallId call) = 0;
    // The caller no longer waits for the call: its reply is dropped when it comes, and its worker
    // takes calls again only then.
    virtual void Abandon(DocumentCallId call) = 0;
    // Waits at most `timeoutMs` for the call's reply: only at exit, when nothing else is left to do.
    virtual std::optional<DocumentReply> WaitForReply(DocumentCallId call, unsigned timeoutMs) = 0;
};

// The notification-area icon record: the first and smallest form of the platform's record.
struct TrayIconRecord {
    std::uint32_t size = 0;
    WindowHandle window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    std::uintptr_t icon = 0;
    std::wstring tip; // 64-character field: the text, a NUL, blanks
    bool operator==(const TrayIconRecord&) const = default;
};

enum class TrayRequest { Add = 0, Modify = 1, Delete = 2 };

class ITray {
public:
    virtual ~ITray() = default;
    virtual bool Notify(TrayRequest request, const TrayIconRecord& record) = 0;
    virtual std::uint32_t RecordSize() const = 0; // the version-1 record's size in this build
};

// A popup menu described as data; the platform builds, shows and destroys the real one.
struct MenuItem {
    enum class Kind { Command, Separator, Submenu };
    Kind kind = Kind::Command;
    int id = 0;
    std::wstring text;
    bool startsColumn = false; // a new column with a bar before it
    std::vector<MenuItem> children;
    bool checked = false; // a command shown with a check mark
    bool operator==(const MenuItem&) const = default;
};

struct ScreenPoint {
    int x = 0, y = 0;
};

// Modal interaction and the shell around the main window.
class IShellUi {
public:
    virtual ~IShellUi() = default;
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption) = 0;
    // The typed text, or an empty text when cancelled.
    virtual std::wstring InputBox(const std::wstring& prompt, const std::wstring& title,
                                  const std::wstring& defaultText) = 0;
    virtual ScreenPoint CursorPos() = 0;
    // Shows the menu at `at` owned by the main window; returns the chosen id, 0 when dismissed.
    virtual int TrackPopupMenu(const std::vector<MenuItem>& menu, ScreenPoint at) = 0;
    virtual bool SystemMenuHasCommand(int id) = 0;
    virtual bool AppendSystemMenuItem(int id, const std::wstring& text) = 0;
    // Opens the folder in the shell's file browser, making it first when it is missing.
    virtual bool OpenFolder(const std::wstring& folder) = 0;
    [[noreturn]] virtual void ExitProcess() = 0;
};

// Time, files and text conversion.
class ISystem {
public:
    virtual ~ISystem() = default;
    virtual std::uint64_t TickCountMs() = 0;
    virtual LocalTime LocalNow() = 0;
    // Where the history of the user's documents lives: under the user's local application data.
    virtual std::wstring HistoryFolder() = 0;
    // The local date and time as the system's general date-and-time text.
    virtual std::wstring NowAsGeneralDate() = 0;
    virtual std::wstring ExecutableFolder() = 0;
    // The running program file's full path.
    virtual std::wstring ExecutablePath() = 0;
    virtual bool AppendBytes(const std::wstring& path, const std::string& bytes) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    virtual bool FileExists(const std::wstring& path) = 0;
    virtual std::string ToAnsi(const std::wstring& text) = 0;
    virtual std::wstring FromAnsi(const std::string& text) = 0;
    virtual wchar_t DecimalSeparator() = 0;
    virtual KeyboardSetup OpenKeyboard(WindowHandle mainWindow) = 0;
    // Client area of a full-screen window on the primary monitor, in pixels.
    virtual int FullScreenWidth() = 0;
    virtual int FullScreenHeight() = 0;
    // A timing mark for the benchmarks and for debugging: "quillon: <event> t=<ms>" on the
    // debugger's output, nothing the user sees.
    virtual void Trace(const wchar_t* event) = 0;
};

struct Platform {
    IDesktop& desktop;
    IInput& input;
    IRawRegistry& registry;
    ITray& tray;
    IShellUi& shell;
    ISystem& system;
    IUserRegistry& userRegistry;
    IDocuments& documents;
};

} // namespace quillon
