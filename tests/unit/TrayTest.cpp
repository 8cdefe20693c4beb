#include "shell/IconMenu.h"
#include "shell/SytemMenu.h"
#include "shell/TrayMenu.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::AppHarness;

struct DecodeCase {
    double xTwips, twipsPerPixel;
    int code;
    friend void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.xTwips << '/' << c.twipsPerPixel; }
};

class TrayDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TrayDecode, DividesByTwipsPerPixelRoundingHalvesToEven) {
    EXPECT_EQ(DecodeTrayMessage(GetParam().xTwips, GetParam().twipsPerPixel), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Positions, TrayDecode,
                         ::testing::Values(DecodeCase{515 * 15, 15, 515}, DecodeCase{517 * 15, 15, 517},
                                           DecodeCase{516 * 15, 15, 516}, DecodeCase{1031, 2, 516},
                                           DecodeCase{1029, 2, 514}, DecodeCase{515 * 12, 12, 515},
                                           DecodeCase{7732, 15, 515}, DecodeCase{0, 15, 0}));

struct CallbackCase {
    const char* what;
    MouseMoveMessage message;
    bool isCallback;
    friend void PrintTo(const CallbackCase& c, std::ostream* os) { *os << c.what; }
};

class TrayCallback : public ::testing::TestWithParam<CallbackCase> {};

TEST_P(TrayCallback, TellsTheIconsCallbacksFromRealMouseMoves) {
    EXPECT_EQ(IsTrayCallback(GetParam().message), GetParam().isCallback) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, TrayCallback,
    ::testing::Values(CallbackCase{"sent by the shell", {1, 0x203, true, 515, 0}, true},
                      CallbackCase{"posted, pointer elsewhere", {1, 0x205, false, 40, 60}, true},
                      CallbackCase{"real move with left button at (515,0)", {1, 515, false, 515, 0}, false},
                      CallbackCase{"real move at (517,0)", {1, 517, false, 517, 0}, false},
                      CallbackCase{"wParam 0", {0, 0x203, true, 0, 0}, false},
                      CallbackCase{"wParam 2", {2, 0x205, true, 0, 0}, false},
                      CallbackCase{"y not 0", {1, (3 << 16) | 0x203, true, 0, 0}, false},
                      CallbackCase{"below the mouse range", {1, 0x1FF, true, 0, 0}, false},
                      CallbackCase{"above the mouse range", {1, 0x20F, true, 0, 0}, false},
                      CallbackCase{"first mouse message", {1, 0x200, true, 0, 0}, true},
                      CallbackCase{"last mouse message", {1, 0x20E, true, 0, 0}, true}));

TEST(TrayTip, IsTheTextANulAndBlanksToSixtyFourCharacters) {
    EXPECT_EQ(TipField(L"自动保存"), std::wstring(L"自动保存") + L'\0' + std::wstring(59, L' '));
    EXPECT_EQ(TipField(L"").size(), 64u);
    EXPECT_EQ(TipField(std::wstring(70, L'x')), std::wstring(64, L'x'));
}

class TrayMouse : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.desktop.calls.clear();
    }
    void IconMessage(int code) { h.app.Form_MouseMove({1, code, true, 0, 0}); }

    AppHarness h;
};

TEST_F(TrayMouse, DoubleClickBringsTheWindowBackAndSwitchesSavingOff) {
    h.view.SetState(WindowState::Minimized);
    h.view.SetValue(Control::optOn, 1);
    h.view.SetValue(Control::optOff, 0);
    h.view.SetText(Control::txtRemaining, L"12");
    h.desktop.calls.clear();
    IconMessage(0x203);
    EXPECT_EQ(h.view.State(), WindowState::Normal);
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    EXPECT_EQ(h.view.Value(Control::optOff), 1);
    EXPECT_TRUE(h.desktop.windows[h.view.handle].visible);
    EXPECT_EQ(h.desktop.calls.back(), (fakes::DesktopCall{"SetForegroundWindow", h.view.handle}));
    h.app.OnTimer(Timer::tmrLoop);
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"12") << "the countdown stands still";
}

TEST_F(TrayMouse, RightButtonUpOpensTheMenuAtThePointer) {
    h.view.SetList(Control::List1, {L"B ", L"A "});
    h.shell.cursor = {640, 480};
    IconMessage(0x205);
    ASSERT_EQ(h.shell.menus.size(), 1u);
    const std::vector<MenuItem>& programs = h.shell.menus[0][0].children;
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].text, L"B ");
    EXPECT_EQ(programs[1].text, L"A ");
    EXPECT_EQ(h.shell.menuPositions[0].x, 640);
    EXPECT_EQ(h.shell.menuPositions[0].y, 480);
}

TEST_F(TrayMouse, OtherCodesAndRealMouseMovesDoNothing) {
    for (int code : {0x200, 0x201, 0x202, 0x204, 0x206, 0x204 + 0x100, 516})
        IconMessage(code);
    h.app.Form_MouseMove({1, 515, false, 515, 0});
    h.app.Form_MouseMove({2, 517, false, 517, 0});
    h.app.Form_MouseMove({0, 517, false, 517, 0});
    EXPECT_TRUE(h.shell.menus.empty());
    EXPECT_TRUE(h.desktop.calls.empty());
    EXPECT_TRUE(h.view.stateChanges.empty());
}

std::vector<std::wstring> Programs(int n) {
    std::vector<std::wstring> titles;
    for (int i = 0; i < n; ++i)
        titles.push_back(L"Program " + std::to_wstring(i) + L" ");
    return titles;
}

std::vector<std::wstring> Handles(int n) {
    std::vector<std::wstring> handles;
    for (int i = 0; i < n; ++i)
        handles.push_back(std::to_wstring(5000 + i));
    return handles;
}

TEST(TrayMenuLayout, TopLevelItemsStandInOrder) {
    for (bool startsWithWindows : {false, true}) {
        const std::vector<MenuItem> menu = BuildTrayMenu({}, startsWithWindows);
        ASSERT_EQ(menu.size(), 8u);
        EXPECT_EQ(menu[0].kind, MenuItem::Kind::Submenu);
        EXPECT_EQ(menu[0].text, L"应用程序");
        EXPECT_TRUE(menu[0].children.empty());
        EXPECT_EQ(menu[1].kind, MenuItem::Kind::Separator);
        EXPECT_EQ(menu[1].id, 71);
        EXPECT_EQ(menu[2].kind, MenuItem::Kind::Command);
        EXPECT_EQ(menu[2].id, 74);
        EXPECT_EQ(menu[2].text, L"设置时间...");
        EXPECT_EQ(menu[3].kind, MenuItem::Kind::Command);
        EXPECT_EQ(menu[3].text, L"打开历史版本");
        EXPECT_EQ(menu[4].kind, MenuItem::Kind::Separator);
        EXPECT_EQ(menu[4].id, 75);
        // Start with Windows stands before 退出, a separator between them, checked as it is set.
        EXPECT_EQ(menu[5].kind, MenuItem::Kind::Command);
        EXPECT_EQ(menu[5].id, 78);
        EXPECT_EQ(menu[5].text, L"开机时自动启动并继续保存");
        EXPECT_EQ(menu[5].checked, startsWithWindows);
        EXPECT_EQ(menu[6].kind, MenuItem::Kind::Separator);
        EXPECT_EQ(menu[7].id, 77);
        EXPECT_EQ(menu[7].text, L"退出");
        for (std::size_t i = 0; i < menu.size(); ++i)
            EXPECT_EQ(menu[i].checked, i == 5 && startsWithWindows) << i;
    }
}

struct ColumnCase {
    int programs;
    std::vector<int> columnStarts;
    friend void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.programs << " programs"; }
};

class TrayMenuColumns : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(TrayMenuColumns, EachColumnHoldsAtMostTwentyPrograms) {
    const auto titles = Programs(GetParam().programs);
    const std::vector<MenuItem> items = BuildTrayMenu(titles, false)[0].children;
    ASSERT_EQ(items.size(), titles.size());
    std::vector<int> starts;
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].kind, MenuItem::Kind::Command);
        EXPECT_EQ(items[i].id, 200 + static_cast<int>(i));
        EXPECT_EQ(items[i].text, titles[i]);
        if (items[i].startsColumn)
            starts.push_back(static_cast<int>(i));
    }
    EXPECT_EQ(starts, GetParam().columnStarts);
}

INSTANTIATE_TEST_SUITE_P(Counts, TrayMenuColumns,
                         ::testing::Values(ColumnCase{0, {}}, ColumnCase{20, {}}, ColumnCase{21, {20}},
                                           ColumnCase{45, {20, 40}}, ColumnCase{61, {20, 40, 60}}));

class TrayMenuDispatch : public TrayMouse {
protected:
    void Choose(int id) {
        h.shell.menuChoice = id;
        IconMessage(0x205);
    }
};

TEST_F(TrayMenuDispatch, AProgramIdSelectsThatEntryAndNothingElse) {
    h.view.SetList(Control::List1, Programs(45));
    h.view.SetList(Control::List2, Handles(45));
    h.view.SetText(Control::txtRemaining, L"9");
    Choose(220);
    EXPECT_EQ(h.view.ListIndex(Control::List1), 20);
    EXPECT_EQ(h.view.Value(Control::optOff), 1);
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"9");
    EXPECT_TRUE(h.registry.writes.empty());
}

TEST_F(TrayMenuDispatch, DismissingAndUnknownIdsChangeNothing) {
    h.view.SetList(Control::List1, Programs(3), 1);
    for (int id : {0, 71, 75, 199, 203, 1000, -1}) {
        Choose(id);
        EXPECT_EQ(h.view.ListIndex(Control::List1), 1) << id;
    }
    EXPECT_TRUE(h.shell.inputBoxes.empty());
    EXPECT_TRUE(h.tray.iconExists);
}

TEST_F(TrayMenuDispatch, SetTimeTakesTheTypedFigureAsSecondsWhateverTheUnit) {
    h.view.SetText(Control::cboTime, L"分");
    h.view.SetText(Control::txtInterval, L"2");
    h.shell.answers = {L"30"};
    Choose(74);
    ASSERT_EQ(h.shell.inputBoxes.size(), 1u);
    EXPECT_EQ(h.shell.inputBoxes[0].prompt, L"请输入设定自动保存时间:");
    EXPECT_EQ(h.shell.inputBoxes[0].title, L"设置时间");
    EXPECT_EQ(h.shell.inputBoxes[0].defaultText, L"10000");
    EXPECT_EQ(h.view.Text(Control::txtInterval), L"30");
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"30");
    EXPECT_EQ(h.Stored("TimerInterval"), L"30");
    EXPECT_TRUE(h.app.TimerSet);
    EXPECT_EQ(h.app.Progress().Max(), 100) << "the bar is left alone";
}

TEST_F(TrayMenuDispatch, ACancelledSetTimeRestartsFromTheCurrentInterval) {
    h.view.SetText(Control::txtInterval, L"15");
    h.shell.answers = {L""};
    Choose(74);
    EXPECT_EQ(h.view.Text(Control::txtInterval), L"15");
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"15");
    EXPECT_EQ(h.Stored("TimerInterval"), L"15");
}

TEST_F(TrayMenuDispatch, AcceptingTheDefaultSetsTenThousand) {
    Choose(74);
    EXPECT_EQ(h.view.Text(Control::txtInterval), L"10000");
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"10000");
    EXPECT_EQ(h.Stored("TimerInterval"), L"10000");
}

TEST_F(TrayMenuDispatch, TheHistoryOpensInTheFileBrowser) {
    Choose(79);
    EXPECT_EQ(h.shell.openedFolders, std::vector<std::wstring>{h.system.history});
}

TEST_F(TrayMenuDispatch, ExitRemovesTheIconBeforeEndingTheProcess) {
    h.shell.menuChoice = 77;
    EXPECT_THROW(IconMessage(0x205), fakes::ProcessExited);
    EXPECT_EQ(h.tray.calls.back().request, TrayRequest::Delete);
    EXPECT_FALSE(h.tray.iconExists);
}

TEST_F(TrayMenuDispatch, TitlesAreShownLiterallyNotAsMenuMarkup) {
    const auto items = BuildTrayMenu({L"R&D notes ", L"a\tb ", L"&& "}, false)[0].children;
    EXPECT_EQ(items[0].text, L"R&&D notes ");
    EXPECT_EQ(items[1].text, L"a b ");
    EXPECT_EQ(items[2].text, L"&&&& ");
}

TEST_F(TrayMenuDispatch, EntriesBeyondSixteenBitIdsCanBePicked) {
    h.view.SetList(Control::List1, Programs(33000));
    h.view.SetList(Control::List2, Handles(33000));
    Choose(200 + 32800);
    EXPECT_EQ(h.view.ListIndex(Control::List1), 32800);
}

TEST_F(TrayMenuDispatch, SetTimeRefusesWhatTheWindowRefusesAndChangesNothing) {
    h.view.SetText(Control::txtInterval, L"15");
    h.view.SetText(Control::txtRemaining, L"7");
    for (const wchar_t* typed : {L"0", L"-5", L"abc", L"1e10", L" "}) {
        h.shell.answers = {typed};
        Choose(74);
        EXPECT_EQ(h.view.Text(Control::txtInterval), L"15") << typed;
        EXPECT_EQ(h.view.Text(Control::txtRemaining), L"7") << typed;
    }
    EXPECT_TRUE(h.registry.writes.empty());
    EXPECT_FALSE(h.app.TimerSet);
    h.view.SetText(Control::txtInterval, L"0");
    h.shell.answers = {L""}; // cancelled: the window's interval, which is no number above 0 either
    Choose(74);
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"7");
    EXPECT_TRUE(h.registry.writes.empty());
}

// Saving on, the window hidden in the tray, the user working in another program: the state that
// users live in all day.
class HiddenInTheTray : public TrayMouse {
protected:
    static constexpr WindowHandle kA = 100, kB = 101, kC = 102;

    void SetUp() override {
        TrayMouse::SetUp();
        h.desktop.Add(kA, L"a.txt - Notepad");
        h.desktop.Add(kB, L"b.txt - Notepad");
        h.StartSaving(kB);
        ASSERT_FALSE(h.desktop.windows[h.view.handle].visible) << "switching on hides the window";
        h.desktop.SetForeground(kA); // the user works in a.txt
    }
    std::wstring SelectedHandle() const {
        const int index = h.view.ListIndex(Control::List1);
        return index < 0 ? L"" : h.view.ListText(Control::List2, index);
    }
    int MenuIdOf(const std::wstring& title) const {
        for (const MenuItem& item : h.shell.menus.back()[0].children)
            if (item.text == title)
                return item.id;
        return -1;
    }
    void NextCycle() { h.NextCycle(); }
};

TEST_F(HiddenInTheTray, OpeningAndDismissingTheMenuKeepsTheSelectionTheSwitchAndTheNextSave) {
    const int enumerations = h.desktop.enumerations;
    h.shell.whileMenuOpen = [&] {
        h.app.Form_Activate(); // the menu activates its owner, the hidden window
        h.app.OnTimer(Timer::tmrRefresh);
        h.app.OnTimer(Timer::tmrLoop);
    };
    IconMessage(0x205);
    EXPECT_EQ(h.desktop.enumerations, enumerations) << "no refresh while hidden";
    EXPECT_EQ(SelectedHandle(), L"101");
    EXPECT_EQ(h.view.Value(Control::optOn), 1);
    EXPECT_TRUE(h.view.Enabled(Control::optOn)) << "F2 and F3 keep working";
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"2") << "the countdown ran on during the menu";
    h.shell.whileMenuOpen = nullptr;
    NextCycle();
    ASSERT_EQ(h.input.batches.size(), 2u) << "Alt+F, then the letter";
    EXPECT_EQ(h.input.batches[0].target, kB);
    EXPECT_EQ(h.desktop.windows[kB].chosen, L"S");
}

TEST_F(HiddenInTheTray, AProgramPickedFromTheMenuIsTheOneSavedEvenIfTheListsChangedMeanwhile) {
    h.shell.whileMenuOpen = [&] {
        // The lists are filled again while the menu is open, with a new window first.
        h.desktop.Add(kC, L"c.txt - Notepad");
        h.desktop.zOrder = {kC, kA, h.view.handle, kB};
        h.app.OnClick(Control::Command1);
        h.app.OnTimer(Timer::tmrWait);
    };
    h.shell.menuChoice = 200; // filled in below from the menu as it was shown
    h.shell.answers.clear();
    // Find the id of a.txt in the menu that will be shown: the order at the time of the click.
    const auto& items = h.view.ListItems(Control::List1);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == L"a.txt - Notepad ")
            h.shell.menuChoice = 200 + static_cast<int>(i);
    IconMessage(0x205);
    EXPECT_EQ(MenuIdOf(L"a.txt - Notepad "), h.shell.menuChoice);
    EXPECT_EQ(SelectedHandle(), L"100") << "exactly the program that was picked";
    h.desktop.SetForeground(kB);
    h.shell.whileMenuOpen = nullptr;
    NextCycle();
    ASSERT_EQ(h.input.batches.size(), 2u) << "Alt+F, then the letter";
    EXPECT_EQ(h.input.batches[0].target, kA);
    EXPECT_EQ(h.desktop.windows[kA].chosen, L"S");
}

TEST_F(HiddenInTheTray, TheTipSaysHowTheLastCycleWentAndTheIconWarnsWhileSavesKeepFailing) {
    const auto tip = [&] { return h.Tip(); };
    h.desktop.windows[kB].menu.kind = fakes::FakeMenu::Kind::None; // Alt+F opens nothing there
    for (int cycle = 1; cycle <= 3; ++cycle) {
        const int takes = h.desktop.CountOf("SetForegroundWindow", kB);
        NextCycle();
        // After the first try the window is left alone until the user works in it again.
        EXPECT_EQ(tip(), cycle == 1 ? L"自动保存：未能保存，文件菜单没有打开"
                                    : L"自动保存：未能保存，文件菜单没有打开（您再使用这个程序后重试）")
            << cycle;
        EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow", kB) - takes, cycle == 1 ? 1 : 0) << cycle;
        EXPECT_EQ(h.tray.shown.icon, cycle < 3 ? h.view.iconHandle : h.view.alertIconHandle) << cycle;
    }
    EXPECT_EQ(h.desktop.windows[kB].text, L"");
    h.desktop.windows[kB].menu.kind = fakes::FakeMenu::Kind::FileMenu;
    h.system.dateTime = L"2024-03-05 14:08:00";
    h.app.OnWindowActivity(kB); // the user works in it again
    NextCycle();
    EXPECT_EQ(tip(), L"自动保存：上次保存于 2024-03-05 14:08:00");
    EXPECT_EQ(h.tray.shown.icon, h.view.iconHandle) << "the warning goes with the next save";
    EXPECT_TRUE(h.shell.messages.empty()) << "nothing pops up";
}

TEST_F(HiddenInTheTray, ComingBackWithTheDoubleClickListsTheProgramsAgainOnce) {
    h.shell.whileMenuOpen = [&] { h.app.Form_Activate(); };
    IconMessage(0x205); // leaves the hidden window active
    const int enumerations = h.desktop.enumerations;
    IconMessage(0x203);
    EXPECT_EQ(h.desktop.enumerations, enumerations + 1);
    h.app.Form_Activate(); // the activation the show raises changes nothing more
    EXPECT_EQ(h.desktop.enumerations, enumerations + 1);
}

TEST_F(HiddenInTheTray, TurningOffWithF3EndsASaveThatWaitsForAHeldKey) {
    h.input.down.insert(vk::Control);
    for (int i = 0; i < 4; ++i)
        h.app.OnTimer(Timer::tmrLoop);
    h.RunDelivery(300);
    ASSERT_TRUE(h.app.Delivery().Busy());
    h.system.keyboard.Press(kDikF3);
    h.app.OnTimer(Timer::tmrKey);
    EXPECT_EQ(h.view.Value(Control::optOff), 1);
    EXPECT_EQ(h.app.Delivery().LastOutcome(), SaveOutcome::Cancelled);
    h.input.down.clear();
    h.RunDelivery(2000);
    EXPECT_TRUE(h.input.batches.empty()) << "nothing typed after the switch";
    EXPECT_EQ(h.system.files.count(L"C:\\Tools\\quillon.log"), 0u);
}

class AboutEntry : public ::testing::Test {
protected:
    fakes::FakeShellUi shell;
    SystemMenu menu{shell, L"2.3.4"};
};

TEST_F(AboutEntry, IsAppendedOnceAfterTheStandardEntries) {
    menu.AppendAboutEntry();
    menu.AppendAboutEntry();
    ASSERT_EQ(shell.systemMenu.size(), 7u);
    EXPECT_EQ(shell.systemMenu[5].first, 0xF060);
    EXPECT_EQ(shell.systemMenu[6], (std::pair<int, std::wstring>{2, L"关于..."}));
}

TEST_F(AboutEntry, CommandTwoShowsTheAboutMessageCaptionedNotice) {
    EXPECT_TRUE(menu.OnSystemCommand(2));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0].caption, L"提示");
    const std::wstring& text = shell.messages[0].text;
    EXPECT_NE(text.find(L"岚舟自动保存"), std::wstring::npos);
    EXPECT_NE(text.find(L"2.3.4"), std::wstring::npos);
    EXPECT_NE(text.find(L"Brellon Studios"), std::wstring::npos);
}

TEST_F(AboutEntry, OtherSystemCommandsAreLeftToTheSystem) {
    for (std::uintptr_t wParam : {0xF060u, 0xF012u, 0xF002u, 0u, 3u, 0x12u})
        EXPECT_FALSE(menu.OnSystemCommand(wParam)) << std::hex << wParam;
    if constexpr (sizeof(std::uintptr_t) == 8) {
        EXPECT_FALSE(menu.OnSystemCommand(static_cast<std::uintptr_t>(0x100000002ull)));
    }
    EXPECT_TRUE(shell.messages.empty());
}

TEST_F(AboutEntry, TheMainWindowRoutesSystemCommandsToIt) {
    AppHarness h;
    EXPECT_TRUE(h.app.OnSystemCommand(2));
    EXPECT_FALSE(h.app.OnSystemCommand(0xF020));
    ASSERT_EQ(h.shell.messages.size(), 1u);
    EXPECT_NE(h.shell.messages[0].text.find(L"1.0.0"), std::wstring::npos);
}

} // namespace
} // namespace quillon
