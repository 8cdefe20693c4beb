#include "shell/TrayMenu.h"

#include <cstdint>

namespace quillon {

std::vector<MenuItem> BuildTrayMenu(const std::vector<std::wstring>& programs) {
    MenuItem submenu{MenuItem::Kind::Submenu, 0, traymenu::kPrograms, false, {}};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const bool newColumn = i != 0 && i % traymenu::kProgramsPerColumn == 0;
        submenu.children.push_back({MenuItem::Kind::Command,
                                    traymenu::kFirstProgram + static_cast<int>(i),
                                    programs[i],
                                    newColumn,
                                    {}});
    }
    return {
        submenu,
        {MenuItem::Kind::Separator, traymenu::kSeparator1, L"", false, {}},
        {MenuItem::Kind::Command, traymenu::kSetTime, traymenu::kSetTimeText, false, {}},
        {MenuItem::Kind::Separator, traymenu::kSeparator2, L"", false, {}},
        {MenuItem::Kind::Command, traymenu::kExit, traymenu::kExitText, false, {}},
    };
}

void TrayMenu::OpenAndDispatch() {
    const ScreenPoint at = shell_.CursorPos();
    std::vector<std::wstring> programs;
    for (int i = 0; i < view_.ListCount(Control::List1); ++i)
        programs.push_back(view_.ListText(Control::List1, i));
    const auto command = static_cast<std::int16_t>(shell_.TrackPopupMenu(BuildTrayMenu(programs), at));
    Dispatch(command);
}

void TrayMenu::Dispatch(int command) {
    const int program = command - traymenu::kFirstProgram;
    if (program >= 0 && program < view_.ListCount(Control::List1)) {
        view_.SetListIndex(Control::List1, program);
    } else if (command == traymenu::kSetTime) {
        SetTimeCommand();
    } else if (command == traymenu::kExit) {
        icon_.Remove();
        shell_.ExitProcess();
    }
}

void TrayMenu::SetTimeCommand() {
    std::wstring text = shell_.InputBox(traymenu::kPrompt, traymenu::kInputTitle, traymenu::kInputDefault);
    if (text.empty())
        text = view_.Text(Control::txtInterval);
    view_.SetText(Control::txtInterval, text);
    timerSet_ = true;
    settings_.Save(settings::TimerInterval, view_.Text(Control::txtInterval));
    view_.SetText(Control::txtRemaining, view_.Text(Control::txtInterval));
}

} // namespace quillon
