#include "shell/TrayMenu.h"

#include <algorithm>

namespace quillon {

std::wstring MenuItemText(const std::wstring& title) {
    std::wstring text;
    text.reserve(title.size());
    for (wchar_t c : title) {
        if (c == L'&')
            text += L"&&";
        else
            text += c == L'\t' ? L' ' : c;
    }
    return text;
}

std::vector<MenuItem> BuildTrayMenu(const std::vector<std::wstring>& programs, bool startsWithWindows) {
    MenuItem submenu{MenuItem::Kind::Submenu, 0, traymenu::kPrograms, false, {}};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const bool newColumn = i != 0 && i % traymenu::kProgramsPerColumn == 0;
        submenu.children.push_back({MenuItem::Kind::Command,
                                    traymenu::kFirstProgram + static_cast<int>(i),
                                    MenuItemText(programs[i]),
                                    newColumn,
                                    {}});
    }
    return {
        submenu,
        {MenuItem::Kind::Separator, traymenu::kSeparator1, L"", false, {}},
        {MenuItem::Kind::Command, traymenu::kSetTime, traymenu::kSetTimeText, false, {}},
        {MenuItem::Kind::Command, traymenu::kOpenHistory, traymenu::kOpenHistoryText, false, {}},
        {MenuItem::Kind::Separator, traymenu::kSeparator2, L"", false, {}},
        {MenuItem::Kind::Command, traymenu::kStartWithWindows, traymenu::kStartWithWindowsText, false, {},
         startsWithWindows},
        {MenuItem::Kind::Separator, traymenu::kSeparator3, L"", false, {}},
        {MenuItem::Kind::Command, traymenu::kExit, traymenu::kExitText, false, {}},
    };
}

void TrayMenu::OpenAndDispatch() {
    const ScreenPoint at = shell_.CursorPos();
    std::vector<std::wstring> programs, handles;
    const int listed = view_.ListCount(Control::List1);
    const int known = view_.ListCount(Control::List2);
    for (int i = 0; i < listed; ++i) {
        programs.push_back(view_.ListText(Control::List1, i));
        handles.push_back(i < known ? view_.ListText(Control::List2, i) : L"");
    }
    startsWithWindows_ = userSettings_.StartsWithWindows();
    Dispatch(shell_.TrackPopupMenu(BuildTrayMenu(programs, startsWithWindows_), at), handles);
}

void TrayMenu::Dispatch(int command, const std::vector<std::wstring>& shownHandles) {
    const long long program = static_cast<long long>(command) - traymenu::kFirstProgram;
    if (program >= 0 && program < static_cast<long long>(shownHandles.size())) {
        SelectProgram(shownHandles[static_cast<std::size_t>(program)]);
    } else if (command == traymenu::kSetTime) {
        SetTimeCommand();
    } else if (command == traymenu::kStartWithWindows) {
        ToggleStartWithWindows();
    } else if (command == traymenu::kOpenHistory) {
        if (const std::wstring history = system_.HistoryFolder(); !history.empty())
            shell_.OpenFolder(history);
    } else if (command == traymenu::kExit) {
        if (onExit_)
            onExit_();
        icon_.Remove();
        shell_.ExitProcess();
    }
}

// Selects the entry that now holds the chosen window; a window that is no longer listed selects
// nothing.
void TrayMenu::SelectProgram(const std::wstring& handle) {
    const int count = std::min(view_.ListCount(Control::List1), view_.ListCount(Control::List2));
    for (int i = 0; i < count; ++i) {
        if (view_.ListText(Control::List2, i) == handle) {
            view_.SetListIndex(Control::List1, i);
            if (onProgramPicked_)
                onProgramPicked_();
            return;
        }
    }
}

// Checked, Quillon is started at the user's logon and saves the program it saved last; the
// entry shows what the registry holds, so a refused write leaves it as it was.
void TrayMenu::ToggleStartWithWindows() {
    userSettings_.SetStartsWithWindows(!startsWithWindows_);
}

// The figure is taken as seconds whatever unit the window shows. What 设置时间 in the window
// refuses (not a number above 0, or longer than the longest interval) changes nothing here either.
void TrayMenu::SetTimeCommand() {
    std::wstring text = shell_.InputBox(traymenu::kPrompt, traymenu::kInputTitle, traymenu::kInputDefault);
    if (text.empty())
        text = view_.Text(Control::txtInterval);
    const auto seconds = numbers_.Parse(text);
    if (!seconds || !IsAcceptableInterval(*seconds))
        return;
    view_.SetText(Control::txtInterval, text);
    timerSet_ = true;
    accepted_.seconds = text;
    settings_.Save(settings::TimerInterval, view_.Text(Control::txtInterval));
    view_.SetText(Control::txtRemaining, view_.Text(Control::txtInterval));
}

} // namespace quillon
