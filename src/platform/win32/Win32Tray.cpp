#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace quillon::win32 {
namespace {

std::wstring TipText(const std::wstring& field) {
    return field.substr(0, field.find(L'\0'));
}

// The version-1 record keeps its tip in the ANSI code page. A tip that code page cannot hold
// (Chinese on a Western system) is written once more through the Unicode record, so the user
// reads it whatever the system's language.
void SetUnicodeTip(const TrayIconRecord& record, const std::wstring& tip) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = ToHwnd(record.window);
    data.uID = record.id;
    data.uFlags = NIF_TIP;
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

} // namespace

bool Win32Tray::Notify(TrayRequest request, const TrayIconRecord& record) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = ToHwnd(record.window);
    data.uID = record.id;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.icon);
    const std::wstring tip = TipText(record.tip);
    bool lossy = false;
    const std::string ansiTip = ToAnsi(tip, &lossy);
    std::memcpy(data.szTip, ansiTip.data(), std::min(ansiTip.size(), sizeof data.szTip - 1));
    const DWORD message = static_cast<DWORD>(request);
    const bool done = Shell_NotifyIconA(message, &data) != FALSE;
    if (done && lossy && request != TrayRequest::Delete && (record.flags & NIF_TIP))
        SetUnicodeTip(record, tip);
    return done;
}

std::uint32_t Win32Tray::RecordSize() const {
    return NOTIFYICONDATAA_V1_SIZE;
}

} // namespace quillon::win32
