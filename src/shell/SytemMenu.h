// The "关于..." (About) entry of the main window's system menu.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon {

namespace sysmenu {
constexpr int kAboutCommand = 2;
inline const std::wstring kAboutText = L"关于...";
inline const std::wstring kAboutCaption = L"提示";
} // namespace sysmenu

// The About message: the program's title, its version and the studio.
std::wstring AboutMessage(const std::wstring& version);

class SystemMenu {
public:
    SystemMenu(IShellUi& shell, std::wstring version) : shell_(shell), version_(std::move(version)) {}

    // Appends the entry unless the menu already has it.
    void AppendAboutEntry();
    // Handles a system command; true when it was the About entry. Compared unmasked, since the
    // About id lies in the four low bits that the system's own commands leave to the system.
    bool OnSystemCommand(std::uintptr_t wParam);

private:
    IShellUi& shell_;
    std::wstring version_;
};

} // namespace quillon
