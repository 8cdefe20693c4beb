#include "shell/SytemMenu.h"

#include "app/FormLayout.h"

namespace quillon {

std::wstring AboutMessage(const std::wstring& version) {
    return std::wstring(kProgramTitle) + L"\r\n版本 " + version + L"\r\nBrellon Studios";
}

void SystemMenu::AppendAboutEntry() {
    if (!shell_.SystemMenuHasCommand(sysmenu::kAboutCommand))
        shell_.AppendSystemMenuItem(sysmenu::kAboutCommand, sysmenu::kAboutText);
}

bool SystemMenu::OnSystemCommand(std::uintptr_t wParam) {
    if (wParam != static_cast<std::uintptr_t>(sysmenu::kAboutCommand))
        return false;
    shell_.ShowMessage(AboutMessage(version_), sysmenu::kAboutCaption);
    return true;
}

} // namespace quillon
