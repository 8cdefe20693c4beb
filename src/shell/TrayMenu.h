// The tray icon's popup menu: the running programs (in columns of 20), the set-time command with
// its input box, and exit.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "schedule/Interval.h"
#include "schedule/Numbers.h"
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

// A window title as a menu item shows it literally: "&" would underline the next letter and a
// tab would split the text into two columns.
std::wstring MenuItemText(const std::wstring& title);

// The menu for the given program titles, in the order it is shown.
std::vector<MenuItem> BuildTrayMenu(const std::vector<std::wstring>& programs);

class TrayMenu {
public:
    TrayMenu(IFormView& view, IShellUi& shell, SettingsStore& settings, TrayIcon& icon, const Numbers& numbers,
             bool& timerSet, AcceptedInterval& accepted)
        : view_(view), shell_(shell), settings_(settings), icon_(icon), numbers_(numbers), timerSet_(timerSet),
          accepted_(accepted) {}

    void OpenAndDispatch();
    // Carries out the chosen command; `shownHandles` are the List2 entries of the programs the
    // menu showed, so a choice names the same window even if the lists changed meanwhile.
    void Dispatch(int command, const std::vector<std::wstring>& shownHandles);
    void SetTimeCommand();

private:
    void SelectProgram(const std::wstring& handle);

    IFormView& view_;
    IShellUi& shell_;
    SettingsStore& settings_;
    TrayIcon& icon_;
    const Numbers& numbers_;
    bool& timerSet_;
    AcceptedInterval& accepted_;
};

} // namespace quillon
