#include "platform/win32/MainWindow.h"

#include "app/FormLayout.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/res/resource.h"

#include <commctrl.h>
#include <windowsx.h>

namespace quillon::win32 {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

struct ControlClass {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

// Check boxes and option buttons are not automatic: the core decides what a click does.
ControlClass ClassOf(const ControlDesign& design) {
    switch (design.kind) {
    case ControlKind::PushButton:
        return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::ListBox:
        return {L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::OptionButton:
        return {L"BUTTON",
                static_cast<DWORD>(BS_RADIOBUTTON | WS_TABSTOP |
                                   (design.control == Control::optOn ? WS_GROUP : 0)),
                0};
    case ControlKind::CheckBox:
        return {L"BUTTON", BS_3STATE | WS_TABSTOP | WS_GROUP, 0};
    case ControlKind::TextBox:
        return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::ComboBox:
        return {L"COMBOBOX", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::ProgressBar:
        return {PROGRESS_CLASSW, 0, 0};
    case ControlKind::Label:
        return {L"STATIC", SS_LEFT | SS_NOPREFIX | WS_GROUP, 0};
    }
    return {L"STATIC", 0, 0};
}

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

bool IsListBox(Control control) {
    return control == Control::List1 || control == Control::List2;
}

std::wstring WindowTextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The window told of the desktop's activity; one per process.
HWND g_activityWindow = nullptr;

// Out-of-context events arrive on the window's own thread, from its message loop. They are only
// passed on as a posted message, which the dispatch handles between other messages.
void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    if (hwnd != nullptr && (object == OBJID_WINDOW || object == OBJID_CLIENT) && g_activityWindow != nullptr)
        PostMessageW(g_activityWindow, kWindowActivityMessage, reinterpret_cast<WPARAM>(hwnd), 0);
}

} // namespace

MainWindow::~MainWindow() {
    if (hwnd_)
        DestroyWindow(hwnd_);
}

bool MainWindow::Create() {
    dpi_ = ScreenDpi();
    icon_.reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QUILLON), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QUILLON), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    alertIcon_.reset(
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QUILLON_ALERT), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = icon_.get();
    windowClass.hIconSm = smallIcon_.get();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass))
        return false;

    RECT frame{0, 0, Pixels(kClientWidthTwips), Pixels(kClientHeightTwips)};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const std::wstring caption(kWindowCaption);
    CreateWindowExW(0, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    if (hwnd_ == nullptr || !CreateControls())
        return false;
    WatchWindowActivity();
    return true;
}

// Which program the user works in, without a clock: Windows reports a new window in front;
// Wine reports only the focus that follows it. A window visited for a moment counts too.
void MainWindow::WatchWindowActivity() {
    g_activityWindow = hwnd_;
    foregroundHook_.reset(SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnWindowEvent,
                                          0, 0, WINEVENT_OUTOFCONTEXT));
    focusHook_.reset(
        SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnWindowEvent, 0, 0, WINEVENT_OUTOFCONTEXT));
}

bool MainWindow::CreateControls() {
    const int fontHeight = -MulDiv(kFontHundredthsOfPoint, dpi_, 72 * 100);
    font_.reset(CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    listFont_.reset(CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
    for (const ControlDesign& design : kFormControls) {
        const ControlClass kind = ClassOf(design);
        // A drop-down combo box's height includes its list.
        const int height =
            design.kind == ControlKind::ComboBox ? Pixels(design.height) * 6 : Pixels(design.height);
        const std::wstring text(design.text);
        const HWND control = CreateWindowExW(
            kind.exStyle, kind.className, text.c_str(),
            WS_CHILD | kind.style | (design.visible ? WS_VISIBLE : 0), Pixels(design.left),
            Pixels(design.top), Pixels(design.width), height, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(design.control))), instance_, nullptr);
        if (!control)
            return false;
        controls_[static_cast<int>(design.control)] = control;
        const HFONT font = design.control == Control::List2 ? listFont_.get() : font_.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (design.kind == ControlKind::CheckBox || design.kind == ControlKind::OptionButton)
            SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(design.initialValue), 0);
    }
    SendMessageW(Item(Control::ProgressBar1), PBM_SETRANGE32, 0, 100);
    return true;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

// Every message the program handles, in one place; all others get the default handling.
LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (form_ == nullptr)
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        form_->OnTaskbarCreated();
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_TIMER:
        form_->OnTimer(static_cast<Timer>(wParam));
        return 0;
    case kKeyboardChangedMessage:
        form_->OnKeyboardChanged();
        return 0;
    case kWindowActivityMessage:
        form_->OnWindowActivity(FromHwnd(reinterpret_cast<HWND>(wParam)));
        return 0;
    case WM_SIZE:
        form_->Form_Resize();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            form_->Form_Activate();
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_MOUSEMOVE:
        OnMouseMove(wParam, lParam);
        return 0;
    case WM_SYSCOMMAND:
        if (form_->OnSystemCommand(wParam))
            return 0;
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_CLOSE:
        form_->Form_QueryUnload();
        DestroyWindow(hwnd_);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            form_->Form_EndSession(); // the process is ended right after this returns
        return 0;
    case WM_DESTROY:
        form_->Form_Unload();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

void MainWindow::OnCommand(int id, int code) {
    const int index = id - kFirstControlId;
    if (index < 0 || index >= kControlCount)
        return; // Enter and Escape from the dialog keys, which mean nothing here
    const auto control = static_cast<Control>(index);
    const ControlKind kind = DesignOf(control).kind;
    const bool button =
        kind == ControlKind::PushButton || kind == ControlKind::CheckBox || kind == ControlKind::OptionButton;
    if (control == Control::cboTime && code == CBN_SELCHANGE)
        OnComboPick();
    else if (button && code == BN_CLICKED)
        form_->OnClick(control);
    else if ((control == Control::txtInterval && code == EN_CHANGE) ||
             (control == Control::List1 && code == LBN_SELCHANGE))
        form_->OnChange(control);
}

// The combo box reports a pick before its edit field shows it; the handler reads the field.
void MainWindow::OnComboPick() {
    const HWND combo = Item(Control::cboTime);
    const auto picked = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (picked == CB_ERR)
        return;
    std::wstring text(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, picked, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(combo, CB_GETLBTEXT, picked, reinterpret_cast<LPARAM>(text.data()))));
    SetWindowTextW(combo, text.c_str());
    form_->cboTime_Click();
}

void MainWindow::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    MouseMoveMessage message;
    message.wParam = wParam;
    message.lParam = lParam;
    message.sentFromOtherThread =
        (InSendMessageEx(nullptr) & ISMEX_SEND) != 0 || (InSendMessageEx(nullptr) & ISMEX_NOTIFY) != 0;
    const DWORD position = GetMessagePos();
    POINT cursor{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    ScreenToClient(hwnd_, &cursor);
    message.cursorClientX = cursor.x;
    message.cursorClientY = cursor.y;
    form_->Form_MouseMove(message);
}

std::wstring MainWindow::Text(Control control) const {
    return WindowTextOf(Item(control));
}

void MainWindow::SetText(Control control, const std::wstring& text) {
    SetWindowTextW(Item(control), text.c_str());
}

int MainWindow::Value(Control control) const {
    return static_cast<int>(SendMessageW(Item(control), BM_GETCHECK, 0, 0));
}

void MainWindow::SetValue(Control control, int value) {
    SendMessageW(Item(control), BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

bool MainWindow::Enabled(Control control) const {
    return IsWindowEnabled(Item(control)) != FALSE;
}

void MainWindow::SetEnabled(Control control, bool enabled) {
    EnableWindow(Item(control), enabled ? TRUE : FALSE);
}

void MainWindow::ListClear(Control list) {
    SendMessageW(Item(list), IsListBox(list) ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
}

void MainWindow::ListInsert(Control list, int index, const std::wstring& text) {
    SendMessageW(Item(list), IsListBox(list) ? LB_INSERTSTRING : CB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::ListRemove(Control list, int index) {
    SendMessageW(Item(list), IsListBox(list) ? LB_DELETESTRING : CB_DELETESTRING, static_cast<WPARAM>(index),
                 0);
}

int MainWindow::ListCount(Control list) const {
    return static_cast<int>(SendMessageW(Item(list), IsListBox(list) ? LB_GETCOUNT : CB_GETCOUNT, 0, 0));
}

std::wstring MainWindow::ListText(Control list, int index) const {
    const bool listBox = IsListBox(list);
    const LRESULT length = SendMessageW(Item(list), listBox ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, index, 0);
    if (length < 0)
        return L"";
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(Item(list), listBox ? LB_GETTEXT : CB_GETLBTEXT, index,
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return text;
}

int MainWindow::ListIndex(Control list) const {
    return static_cast<int>(SendMessageW(Item(list), IsListBox(list) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0));
}

void MainWindow::SetListIndex(Control list, int index) {
    SendMessageW(Item(list), IsListBox(list) ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// A list box redrawn and re-measured after every one of a thousand inserts keeps the window busy
// for seconds; drawn once at the end it takes a moment.
void MainWindow::BeginListUpdate(Control list, int count) {
    const HWND box = Item(list);
    SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    if (IsListBox(list) && count > 0)
        SendMessageW(box, LB_INITSTORAGE, static_cast<WPARAM>(count), static_cast<LPARAM>(count) * 64);
}

void MainWindow::EndListUpdate(Control list) {
    const HWND box = Item(list);
    SendMessageW(box, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(box, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainWindow::ShowProgress(int max, int value) {
    SendMessageW(Item(Control::ProgressBar1), PBM_SETRANGE32, 0, max);
    SendMessageW(Item(Control::ProgressBar1), PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void MainWindow::SetTimer(Timer timer, unsigned intervalMs, bool enabled) {
    const auto id = static_cast<UINT_PTR>(timer);
    if (enabled && intervalMs > 0)
        ::SetTimer(hwnd_, id, intervalMs, nullptr);
    else
        KillTimer(hwnd_, id);
}

WindowHandle MainWindow::Handle() const {
    return FromHwnd(hwnd_);
}

WindowState MainWindow::State() const {
    if (IsIconic(hwnd_))
        return WindowState::Minimized;
    return IsZoomed(hwnd_) ? WindowState::Maximized : WindowState::Normal;
}

void MainWindow::SetState(WindowState state) {
    ShowWindow(hwnd_, state == WindowState::Minimized   ? SW_MINIMIZE
                      : state == WindowState::Maximized ? SW_MAXIMIZE
                                                        : SW_RESTORE);
}

void MainWindow::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

void MainWindow::Close() {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
}

std::uintptr_t MainWindow::IconHandle() const {
    return reinterpret_cast<std::uintptr_t>(smallIcon_.get());
}

std::uintptr_t MainWindow::AlertIconHandle() const {
    return reinterpret_cast<std::uintptr_t>(alertIcon_.get());
}

double MainWindow::WidthTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return (r.right - r.left) * TwipsPerPixelX();
}

double MainWindow::HeightTwips() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return (r.bottom - r.top) * TwipsPerPixelY();
}

void MainWindow::MoveTwips(double left, double top) {
    SetWindowPos(hwnd_, nullptr, static_cast<int>(left / TwipsPerPixelX()),
                 static_cast<int>(top / TwipsPerPixelY()), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double MainWindow::TwipsPerPixelX() const {
    return 1440.0 / dpi_;
}

double MainWindow::TwipsPerPixelY() const {
    return 1440.0 / dpi_;
}

} // namespace quillon::win32
