// The notification-area icon: its record, its tip, adding and removing it, and the decoding of
// its mouse messages, which arrive as mouse moves over the main window.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon {

namespace tray {
constexpr std::uint32_t kIconId = 1;
constexpr std::uint32_t NifMessage = 1, NifIcon = 2, NifTip = 4;
constexpr std::uint32_t kCallbackMessage = 0x200; // WM_MOUSEMOVE
constexpr int kTipChars = 64;
constexpr int WmMouseFirst = 0x200, WmMouseLast = 0x20E;
constexpr int WmLButtonDblClk = 0x203, WmRButtonUp = 0x205;
inline const std::wstring kTip = L"自动保存";
} // namespace tray

// The tip field: the text and a NUL, left-aligned in 64 characters, the rest blank.
std::wstring TipField(const std::wstring& text);

// The mouse message code carried by a mouse move's X coordinate in twips (halves to even).
int DecodeTrayMessage(double xTwips, double twipsPerPixel);

// What the window knows about one WM_MOUSEMOVE it received.
struct MouseMoveMessage {
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    bool sentFromOtherThread = false;         // it did not come from the window's own input queue
    int cursorClientX = 0, cursorClientY = 0; // where the pointer was when the message was made
};

// True for the icon's callbacks, false for the pointer really moving over the window: a callback
// names the icon in wParam and a mouse message in lParam, and either arrives from the shell's
// thread or does not match where the pointer was.
bool IsTrayCallback(const MouseMoveMessage& message);

class TrayIcon {
public:
    explicit TrayIcon(ITray& tray) : tray_(tray) {}

    // Fills the record for `window` with `icon`, writes the tip and adds the icon. `alertIcon` is
    // the one shown instead while something is wrong.
    void Add(WindowHandle window, std::uintptr_t icon, std::uintptr_t alertIcon = 0);
    // Adds the icon again with the same record (the taskbar was re-created).
    void Readd();
    void SetTrayTip(const std::wstring& text);
    // Changes the tip, and shows the alert icon or the normal one, in one request.
    void ShowState(const std::wstring& tip, bool alert);
    // Removes the icon; removing one that is gone already does no harm.
    void Remove();

    const TrayIconRecord& Record() const { return record_; }

private:
    ITray& tray_;
    TrayIconRecord record_;
    std::uintptr_t icon_ = 0;
    std::uintptr_t alertIcon_ = 0;
};

} // namespace quillon
