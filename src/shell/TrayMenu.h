// The tray icon's popup menu: the running programs (in columns of 20), the set-time command with
// its input box, and exit.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "settings/Registry.h"
#include "shell/IconMenu.h"

#include <vector>

namespace quillon {

namespace traymenu {
constexpr int kSeparator1 = 71, kSetTime = 74, kSeparator2 = 75, kExit = 77;
constexpr int kFirstProgram = 200;
constexpr int kProgramsPerColumn = 20;
inline const std::wstring kPrograms = L"应用程序";
inline const std::wstring kSetTimeText = L"设置时间...";
inline const std::wstring kExitText = L"退出";
inline const std::wstring kPrompt = L"请输入设定自动保存时间:";
inline const std::wstring kInputTitle = L"设置时间";
inline const std::wstring kInputDefault = L"10000";
} // namespace traymenu

// The menu for the given program titles, in the order it is shown.
std::vector<MenuItem> BuildTrayMenu(const std::vector<std::wstring>& programs);

class TrayMenu {
public:
    TrayMenu(IFormView& view, IShellUi& shell, SettingsStore& settings, TrayIcon& icon, bool& timerSet)
        : view_(view), shell_(shell), settings_(settings), icon_(icon), timerSet_(timerSet) {}

    void OpenAndDispatch();
    void Dispatch(int command);
    void SetTimeCommand();

private:
    IFormView& view_;
    IShellUi& shell_;
    SettingsStore& settings_;
    TrayIcon& icon_;
    bool& timerSet_;
};

} // namespace quillon
