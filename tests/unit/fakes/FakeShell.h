// The notification area and the modal shell: icon requests, message boxes, the input box, the
// popup menu and the system menu. ExitProcess throws ProcessExited so a test can catch it.
#pragma once

#include "platform/Platform.h"

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillon::fakes {

struct TrayCall {
    TrayRequest request;
    TrayIconRecord record;
};

class FakeTray : public ITray {
public:
    bool Notify(TrayRequest request, const TrayIconRecord& record) override {
        calls.push_back({request, record});
        switch (request) {
        case TrayRequest::Add:
            if (iconExists)
                return false;
            iconExists = true;
            shown = record;
            return true;
        case TrayRequest::Modify:
            if (!iconExists)
                return false;
            shown = record;
            return true;
        case TrayRequest::Delete:
            if (!iconExists || record.window != shown.window || record.id != shown.id)
                return false;
            iconExists = false;
            return true;
        }
        return false;
    }
    std::uint32_t RecordSize() const override { return 88; }
    int CountOf(TrayRequest request) const {
        int n = 0;
        for (const TrayCall& call : calls)
            n += call.request == request;
        return n;
    }

    bool iconExists = false;
    TrayIconRecord shown;
    std::vector<TrayCall> calls;
};

struct ProcessExited {};

struct MessageShown {
    std::wstring text, caption;
};

struct InputBoxShown {
    std::wstring prompt, title, defaultText;
};

class FakeShellUi : public IShellUi {
public:
    void ShowMessage(const std::wstring& text, const std::wstring& caption) override {
        messages.push_back({text, caption});
    }
    // Answers with the next scripted text; with none scripted, the user accepts the default.
    std::wstring InputBox(const std::wstring& prompt, const std::wstring& title,
                          const std::wstring& defaultText) override {
        inputBoxes.push_back({prompt, title, defaultText});
        if (answers.empty())
            return defaultText;
        std::wstring answer = answers.front();
        answers.pop_front();
        return answer;
    }
    ScreenPoint CursorPos() override { return cursor; }
    int TrackPopupMenu(const std::vector<MenuItem>& menu, ScreenPoint at) override {
        menus.push_back(menu);
        menuPositions.push_back(at);
        if (whileMenuOpen)
            whileMenuOpen(); // what happens in the menu's own message loop
        return menuChoice;
    }
    bool SystemMenuHasCommand(int id) override {
        for (const auto& item : systemMenu)
            if (item.first == id)
                return true;
        return false;
    }
    bool AppendSystemMenuItem(int id, const std::wstring& text) override {
        systemMenu.emplace_back(id, text);
        return true;
    }
    bool OpenFolder(const std::wstring& folder) override {
        openedFolders.push_back(folder);
        return true;
    }
    [[noreturn]] void ExitProcess() override {
        ++exits;
        throw ProcessExited{};
    }

    std::vector<MessageShown> messages;
    std::vector<InputBoxShown> inputBoxes;
    std::deque<std::wstring> answers;
    ScreenPoint cursor{1800, 1050};
    std::vector<std::vector<MenuItem>> menus;
    std::vector<ScreenPoint> menuPositions;
    int menuChoice = 0;
    std::function<void()> whileMenuOpen;
    // The standard entries of a window's system menu, by command id.
    std::vector<std::pair<int, std::wstring>> systemMenu{{0xF120, L"Restore"},  {0xF010, L"Move"},
                                                         {0xF000, L"Size"},     {0xF020, L"Minimize"},
                                                         {0xF030, L"Maximize"}, {0xF060, L"Close"}};
    int exits = 0;
    std::vector<std::wstring> openedFolders;
};

} // namespace quillon::fakes
