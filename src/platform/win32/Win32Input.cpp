#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

namespace quillon::win32 {

bool Win32Input::IsKeyDown(std::uint8_t virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

std::uint64_t Win32Input::MsSinceLastInput() {
    LASTINPUTINFO info{};
    info.cbSize = sizeof info;
    if (!GetLastInputInfo(&info))
        return 0;
    // Both are 32-bit tick counts; the difference stays right when the count wraps.
    return static_cast<DWORD>(GetTickCount() - info.dwTime);
}

// Virtual-key events with their scan codes filled in from the target's keyboard layout, for
// programs that read scan codes; never scan-code-only events, which some systems deliver as key 0.
std::size_t Win32Input::SendKeys(const std::vector<KeyEvent>& events, WindowHandle target) {
    const HKL layout = GetKeyboardLayout(GetWindowThreadProcessId(ToHwnd(target), nullptr));
    std::vector<INPUT> inputs(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        INPUT& input = inputs[i];
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = events[i].virtualKey;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyExW(events[i].virtualKey, MAPVK_VK_TO_VSC, layout));
        input.ki.dwFlags = events[i].down ? 0 : KEYEVENTF_KEYUP;
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

} // namespace quillon::win32
