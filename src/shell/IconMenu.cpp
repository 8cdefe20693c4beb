#include "shell/IconMenu.h"

#include <cmath>

namespace quillon {

std::wstring TipField(const std::wstring& text) {
    std::wstring field = text + L'\0';
    field.resize(tray::kTipChars, L' ');
    return field;
}

int DecodeTrayMessage(double xTwips, double twipsPerPixel) {
    return static_cast<int>(std::nearbyint(xTwips / twipsPerPixel));
}

bool IsTrayCallback(const MouseMoveMessage& message) {
    const auto lParam = static_cast<std::uintptr_t>(message.lParam);
    const int x = static_cast<int>(lParam & 0xFFFF);
    const int y = static_cast<int>((lParam >> 16) & 0xFFFF);
    if (message.wParam != tray::kIconId || y != 0 || x < tray::WmMouseFirst || x > tray::WmMouseLast)
        return false;
    if (message.sentFromOtherThread)
        return true;
    return message.cursorClientX != x || message.cursorClientY != y;
}

void TrayIcon::Add(WindowHandle window, std::uintptr_t icon, std::uintptr_t alertIcon) {
    icon_ = icon;
    alertIcon_ = alertIcon != 0 ? alertIcon : icon;
    record_.size = tray_.RecordSize();
    record_.window = window;
    record_.id = tray::kIconId;
    record_.flags = tray::NifMessage | tray::NifIcon | tray::NifTip;
    record_.icon = icon;
    record_.callbackMessage = tray::kCallbackMessage;
    SetTrayTip(tray::kTip);
    tray_.Notify(TrayRequest::Add, record_);
}

void TrayIcon::Readd() {
    if (record_.window != 0)
        tray_.Notify(TrayRequest::Add, record_);
}

void TrayIcon::SetTrayTip(const std::wstring& text) {
    record_.tip = TipField(text.substr(0, tray::kTipChars));
    record_.flags |= tray::NifTip;
    tray_.Notify(TrayRequest::Modify, record_);
}

void TrayIcon::ShowState(const std::wstring& tip, bool alert) {
    record_.icon = alert ? alertIcon_ : icon_;
    SetTrayTip(tip);
}

void TrayIcon::Remove() {
    TrayIconRecord removal = record_;
    removal.flags = tray::NifMessage | tray::NifIcon | tray::NifTip;
    tray_.Notify(TrayRequest::Delete, removal);
}

} // namespace quillon
