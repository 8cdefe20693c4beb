// The tray icon's popup menu: the running programs (in columns of 20), the set-time command with
// its input box, the history of the user's documents, start with Windows, and exit.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "schedule/Interval.h"
#include "schedule/Numbers.h"
#include "settings/Registry.h"
#include "settings/UserSettings.h"
#include "shell/IconMenu.h"

#include <functional>
#include <vector>

namespace quillon {

namespace traymenu {
constexpr int kSeparator1 = 71, kSetTime = 74, kSeparator2 = 75, kSeparator3 = 76, kExit = 77;
constexpr int kStartWithWindows = 78, kOpenHistory = 79;
constexpr int kFirstProgram = 200;
constexpr int kProgramsPerColumn = 20;
inline const std::wstring kPrograms = L"应用程序";
inline const std::wstring kSetTimeText = L"设置时间...";
inline const std::wstring kExitText = L"退出";
inline const std::wstring kStartWithWindowsText = L"开机时自动启动并继续保存";
inline const std::wstring kOpenHistoryText = L"打开历史版本";
inline const std::wstring kPrompt = L"请输入设定自动保存时间:";
inline const std::wstring kInputTitle = L"设置时间";
inline const std::wstring kInputDefault = L"10000";
} // namespace traymenu

// A window title as a menu item shows it literally: "&" would underline the next letter and a
// tab would split the text into two columns.
std::wstring MenuItemText(const std::wstring& title);

// The menu for the given program titles, in the order it is shown; `startsWithWindows` checks
// its entry.
std::vector<MenuItem> BuildTrayMenu(const std::vector<std::wstring>& programs, bool startsWithWindows);

class TrayMenu {
public:
    TrayMenu(IFormView& view, IShellUi& shell, ISystem& system, SettingsStore& settings, UserSettings& userSettings,
             TrayIcon& icon, const Numbers& numbers, bool& timerSet, AcceptedInterval& accepted)
        : view_(view), shell_(shell), system_(system), settings_(settings), userSettings_(userSettings),
          icon_(icon), numbers_(numbers), timerSet_(timerSet), accepted_(accepted) {}

    // Called when a program picked from the menu was selected in List1.
    void OnProgramPicked(std::function<void()> listener) { onProgramPicked_ = std::move(listener); }
    // Called when 退出 was chosen, before the process ends.
    void OnExit(std::function<void()> listener) { onExit_ = std::move(listener); }

    void OpenAndDispatch();
    // Carries out the chosen command; `shownHandles` are the List2 entries of the programs the
    // menu showed, so a choice names the same window even if the lists changed meanwhile.
    void Dispatch(int command, const std::vector<std::wstring>& shownHandles);
    void SetTimeCommand();

private:
    void SelectProgram(const std::wstring& handle);
    void ToggleStartWithWindows();

    IFormView& view_;
    IShellUi& shell_;
    ISystem& system_;
    SettingsStore& settings_;
    UserSettings& userSettings_;
    TrayIcon& icon_;
    const Numbers& numbers_;
    bool& timerSet_;
    AcceptedInterval& accepted_;
    std::function<void()> onProgramPicked_;
    std::function<void()> onExit_;
    bool startsWithWindows_ = false; // as the open menu showed it
};

} // namespace quillon
