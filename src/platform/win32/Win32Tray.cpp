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
// (Chinese on a Western system) goes through the Unicode record instead, the rest of the record
// unchanged, so the user reads it whatever the system's language. Every call waits for the shell
// to answer, so the record is sent once, in the form that holds its tip.
bool NotifyUnicode(DWORD message, const TrayIconRecord& record, const std::wstring& tip) {
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V1_SIZE;
    data.hWnd = ToHwnd(record.window);
    data.uID = record.id;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.icon);
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    return Shell_NotifyIconW(message, &data) != FALSE;
}

} // namespace

bool Win32Tray::Notify(TrayRequest request, const TrayIconRecord& record) {
    const auto icon = std::make_pair(record.window, record.id);
    if (request == TrayRequest::Modify && added_.count(icon) == 0)
        return false;
    // An add that failed may still have reached the shell (one that answered late, say): its
    // icon counts as added as well.
    if (request == TrayRequest::Add)
        added_.insert(icon);
    else if (request == TrayRequest::Delete)
        added_.erase(icon);
    return Send(request, record);
}

bool Win32Tray::Send(TrayRequest request, const TrayIconRecord& record) {
    const DWORD message = static_cast<DWORD>(request);
    const std::wstring tip = TipText(record.tip);
    bool lossy = false;
    const std::string ansiTip = ToAnsi(tip, &lossy);
    if (lossy && request != TrayRequest::Delete && (record.flags & NIF_TIP))
        return NotifyUnicode(message, record, tip);
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = ToHwnd(record.window);
    data.uID = record.id;
    data.uFlags = record.flags;
    data.uCallbackMessage = record.callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.icon);
    std::memcpy(data.szTip, ansiTip.data(), std::min(ansiTip.size(), sizeof data.szTip - 1));
    return Shell_NotifyIconA(message, &data) != FALSE;
}

std::uint32_t Win32Tray::RecordSize() const {
    return NOTIFYICONDATAA_V1_SIZE;
}

} // namespace quillon::win32
