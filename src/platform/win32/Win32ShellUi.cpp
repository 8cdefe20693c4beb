#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/res/resource.h"

#include <shellapi.h>

namespace quillon::win32 {
namespace {

struct InputBoxState {
    const std::wstring* prompt;
    const std::wstring* title;
    const std::wstring* defaultText;
    std::wstring result;
};

std::wstring DialogItemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        state = reinterpret_cast<InputBoxState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetWindowTextW(dialog, state->title->c_str());
        SetDlgItemTextW(dialog, IDC_INPUT_PROMPT, state->prompt->c_str());
        SetDlgItemTextW(dialog, IDC_INPUT_EDIT, state->defaultText->c_str());
        SendDlgItemMessageW(dialog, IDC_INPUT_EDIT, EM_SETSEL, 0, -1);
        SetForegroundWindow(dialog);
        SetFocus(GetDlgItem(dialog, IDC_INPUT_EDIT));
        return FALSE; // the focus is set already
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            state->result = DialogItemText(dialog, IDC_INPUT_EDIT);
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void AppendItems(HMENU menu, const std::vector<MenuItem>& items);

UINT ItemFlags(const MenuItem& item) {
    UINT flags = MF_BYPOSITION | (item.startsColumn ? MF_MENUBARBREAK : 0) | (item.checked ? MF_CHECKED : 0);
    switch (item.kind) {
    case MenuItem::Kind::Separator:
        return flags | MF_SEPARATOR;
    case MenuItem::Kind::Submenu:
        return flags | MF_POPUP | MF_STRING;
    case MenuItem::Kind::Command:
        return flags | MF_STRING;
    }
    return flags;
}

void AppendItems(HMENU menu, const std::vector<MenuItem>& items) {
    UINT position = 0;
    for (const MenuItem& item : items) {
        UINT_PTR idOrSubmenu = static_cast<UINT_PTR>(item.id);
        if (item.kind == MenuItem::Kind::Submenu) {
            const HMENU submenu = CreatePopupMenu();
            AppendItems(submenu, item.children);
            idOrSubmenu = reinterpret_cast<UINT_PTR>(submenu); // owned and destroyed by `menu`
        }
        const wchar_t* text = item.kind == MenuItem::Kind::Separator ? nullptr : item.text.c_str();
        InsertMenuW(menu, position++, ItemFlags(item), idOrSubmenu, text);
    }
}

} // namespace

void Win32ShellUi::ShowMessage(const std::wstring& text, const std::wstring& caption) {
    const HWND owner = IsWindowVisible(main_) ? main_ : nullptr;
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | (owner ? 0 : MB_SETFOREGROUND));
}

std::wstring Win32ShellUi::InputBox(const std::wstring& prompt, const std::wstring& title,
                                    const std::wstring& defaultText) {
    InputBoxState state{&prompt, &title, &defaultText, L""};
    const HWND owner = IsWindowVisible(main_) ? main_ : nullptr;
    const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_INPUTBOX), owner, InputBoxProc,
                                           reinterpret_cast<LPARAM>(&state));
    return result == IDOK ? state.result : L"";
}

ScreenPoint Win32ShellUi::CursorPos() {
    POINT point{};
    GetCursorPos(&point);
    return {point.x, point.y};
}

int Win32ShellUi::TrackPopupMenu(const std::vector<MenuItem>& menu, ScreenPoint at) {
    UniqueMenu popup(CreatePopupMenu());
    if (!popup)
        return 0;
    AppendItems(popup.get(), menu);
    // The menu closes on a click elsewhere only when its owner is the foreground window.
    SetForegroundWindow(main_);
    TPMPARAMS params{};
    params.cbSize = sizeof params;
    const BOOL chosen =
        TrackPopupMenuEx(popup.get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, at.x,
                         at.y, main_, &params);
    // Lets the next popup open normally instead of closing at once.
    PostMessageW(main_, WM_NULL, 0, 0);
    return static_cast<int>(chosen);
}

bool Win32ShellUi::SystemMenuHasCommand(int id) {
    const HMENU menu = GetSystemMenu(main_, FALSE);
    return menu != nullptr &&
           GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) != static_cast<UINT>(-1);
}

bool Win32ShellUi::AppendSystemMenuItem(int id, const std::wstring& text) {
    const HMENU menu = GetSystemMenu(main_, FALSE);
    return menu != nullptr && AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text.c_str()) != FALSE;
}

// The folder and its parent are made first where they are missing (a history nothing was kept in
// yet); the shell's file browser then shows it.
bool Win32ShellUi::OpenFolder(const std::wstring& folder) {
    const std::size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos)
        CreateDirectoryW(folder.substr(0, slash).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(main_, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return opened > 32;
}

void Win32ShellUi::ExitProcess() {
    ::ExitProcess(0);
}

} // namespace quillon::win32
