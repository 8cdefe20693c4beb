#include "windows/ProgramLists.h"

#include "fakes/FakeDesktop.h"
#include "fakes/FakeFormView.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::kWsBorder;
using fakes::kWsVisible;
using Strings = std::vector<std::wstring>;

class ProgramListsTest : public ::testing::Test {
protected:
    void RefreshAndFill() {
        lists.RefreshWindowList();
        ASSERT_TRUE(view.TimerRunning(Timer::tmrWait));
        lists.tmrWait_Timer();
    }
    const Strings& List1() const { return view.ListItems(Control::List1); }
    const Strings& List2() const { return view.ListItems(Control::List2); }

    fakes::FakeClock clock;
    fakes::FakeDesktop desktop{clock};
    fakes::FakeFormView view;
    Numbers numbers;
    bool timerSet = false;
    KeptProgram kept{desktop};
    ProgramLists lists{view, desktop, numbers, timerSet, kept};
};

TEST_F(ProgramListsTest, EachRecordHoldsTheTitleFollowedByASpace) {
    desktop.Add(11, L"Notepad");
    desktop.Add(12, L"");
    lists.RefreshWindowList();
    const WindowTable& table = lists.Table();
    ASSERT_EQ(table.WindowCount, 2);
    EXPECT_EQ(table[1].hWnd, 11);
    EXPECT_EQ(table[1].Title, L"Notepad ");
    EXPECT_EQ(table[2].Title, L" ");
}

TEST_F(ProgramListsTest, ALongTitleIsCutTo255Characters) {
    desktop.Add(11, std::wstring(300, L'x'));
    lists.RefreshWindowList();
    EXPECT_EQ(desktop.lastTitleBuffer, 256);
    EXPECT_EQ(lists.Table()[1].Title, std::wstring(255, L'x') + L" ");
}

TEST_F(ProgramListsTest, TheRecordCarriesTheShowStateAndTheNormalPosition) {
    const int states[] = {1, 2, 3, 0, 7};
    const wchar_t* texts[] = {L"Normal", L"Minimized", L"Maximized", L"", L""};
    for (int i = 0; i < 5; ++i)
        desktop.Add(20 + i, L"w").placement = {states[i], {10 * i, 20, 300 + i, 400}};
    lists.RefreshWindowList();
    for (int i = 0; i < 5; ++i) {
        const WindowRecord& record = lists.Table()[i + 1];
        EXPECT_EQ(record.State, texts[i]) << "show state " << states[i];
        EXPECT_EQ(record.Left, 10 * i);
        EXPECT_EQ(record.Top, 20);
        EXPECT_EQ(record.Right, 300 + i);
        EXPECT_EQ(record.Bottom, 400);
    }
}

TEST_F(ProgramListsTest, ARefreshReplacesTheTableRatherThanAddingToIt) {
    desktop.Add(11, L"A");
    desktop.Add(12, L"B");
    lists.RefreshWindowList();
    desktop.Close(11);
    lists.RefreshWindowList();
    ASSERT_EQ(lists.Table().WindowCount, 1);
    EXPECT_EQ(lists.Table().Size(), 1u);
    EXPECT_EQ(lists.Table()[1].hWnd, 12);
}

TEST_F(ProgramListsTest, NoWindowsLeaveAnEmptyTable) {
    view.SetValue(Control::chkVisible, 1);
    RefreshAndFill();
    EXPECT_EQ(lists.Table().WindowCount, 0);
    EXPECT_TRUE(List1().empty());
    EXPECT_TRUE(List2().empty());
}

TEST_F(ProgramListsTest, PrefixFilterListsInReverseEnumerationOrder) {
    view.SetValue(Control::chkVisible, 0);
    desktop.Add(101, L"P");
    desktop.Add(102, L"Q");
    desktop.Add(103, L"R");
    RefreshAndFill();
    EXPECT_EQ(List1(), (Strings{L"R ", L"Q ", L"P "}));
    EXPECT_EQ(List2(), (Strings{L"103", L"102", L"101"}));
    EXPECT_EQ(lists.Table().WindowCount, 3);
}

TEST_F(ProgramListsTest, VisibleFilterListsEveryProgramAndNeverQuillonWhereverItStands) {
    view.SetValue(Control::chkVisible, 1);
    desktop.Add(101, L"P");
    desktop.Add(102, L"岚舟自动保存").ownProcess = true; // below another window, or hidden in the tray
    desktop.Add(103, L"Q");
    desktop.Add(104, L"R");
    RefreshAndFill();
    EXPECT_EQ(List1(), (Strings{L"R ", L"Q ", L"P "})) << "the topmost program is listed too";
    EXPECT_EQ(List2(), (Strings{L"104", L"103", L"101"})) << "List2 stays in step with List1";
    EXPECT_EQ(lists.Table().WindowCount, 3);
}

TEST_F(ProgramListsTest, VisibleFilterLeavesOutAHiddenQuillonAndKeepsTheOnlyProgram) {
    view.SetValue(Control::chkVisible, 1);
    desktop.Add(101, L"only.txt - Notepad");
    desktop.Add(102, L"岚舟自动保存").ownProcess = true;
    desktop.windows[102].style = fakes::kWsCaption; // hidden in the tray: not visible
    RefreshAndFill();
    EXPECT_EQ(List1(), Strings{L"only.txt - Notepad "});
    EXPECT_EQ(List2(), Strings{L"101"});
}

TEST_F(ProgramListsTest, PrefixFilterSkipsUntitledAndSystemWindowsWithLetterCaseSignificant) {
    view.SetValue(Control::chkVisible, 0);
    const Strings skipped{L"",           L"MSCTFIME UI", L"WINWORD",
                          L"DDE Server", L"OLEChannel",  L"OleMainThreadWndName"};
    const Strings listed{L"Ms Paint", L"ole thing", L"Win32 app", L"dde", L"Notepad", L"M"};
    int handle = 1;
    for (const auto& title : skipped)
        desktop.Add(handle++, title);
    for (const auto& title : listed)
        desktop.Add(handle++, title);
    RefreshAndFill();
    EXPECT_EQ(List1(), (Strings{L"M ", L"Notepad ", L"dde ", L"Win32 app ", L"ole thing ", L"Ms Paint "}));
    EXPECT_EQ(List2(), (Strings{L"12", L"11", L"10", L"9", L"8", L"7"}));
    EXPECT_EQ(lists.Table().WindowCount, 6);
    EXPECT_EQ(lists.Table().Size(), 12u) << "the table keeps every record";
}

TEST_F(ProgramListsTest, VisibleFilterWantsBothTheVisibleAndTheBorderBits) {
    view.SetValue(Control::chkVisible, 1);
    desktop.Add(1, L"Quillon").ownProcess = true;                 // Quillon's own: left out
    desktop.Add(2, L"Hidden").style = kWsBorder;                  // not visible
    desktop.Add(3, L"Borderless").style = kWsVisible;             // no border
    desktop.Add(4, L"").style = kWsVisible | kWsBorder;           // untitled but bordered
    desktop.Add(5, L"Editor").style = kWsVisible | kWsBorder | 1; // other bits do not matter
    RefreshAndFill();
    EXPECT_EQ(List1(), (Strings{L"Editor ", L" "}));
    EXPECT_EQ(List2(), (Strings{L"5", L"4"}));
    EXPECT_EQ(lists.Table().WindowCount, 2);
}

TEST_F(ProgramListsTest, TheStyleIsReadWhenTheListsAreFilled) {
    view.SetValue(Control::chkVisible, 1);
    desktop.Add(1, L"Editor");
    desktop.Add(2, L"Later hidden");
    desktop.Add(3, L"Later closed");
    lists.RefreshWindowList();
    desktop.windows[2].style = 0;
    desktop.Close(3);
    lists.tmrWait_Timer();
    EXPECT_EQ(List1(), Strings{L"Editor "});
    EXPECT_EQ(List2(), Strings{L"1"});
}

TEST_F(ProgramListsTest, VisibleFilterWithNothingQualifyingRemovesNothing) {
    view.SetValue(Control::chkVisible, 1);
    desktop.Add(1, L"Hidden").style = 0;
    RefreshAndFill();
    EXPECT_TRUE(List1().empty());
    EXPECT_TRUE(List2().empty());
    EXPECT_EQ(lists.Table().WindowCount, 0);
}

TEST_F(ProgramListsTest, GreyedVisibleBoxUsesThePrefixFilter) {
    view.SetValue(Control::chkVisible, 2);
    desktop.Add(1, L"Hidden").style = 0;
    desktop.Add(2, L"MSN");
    RefreshAndFill();
    EXPECT_EQ(List1(), Strings{L"Hidden "});
}

TEST_F(ProgramListsTest, ARefreshEmptiesBothListsAtOnceAndLosesTheSelection) {
    view.SetList(Control::List1, {L"A ", L"B "}, 1);
    view.SetList(Control::List2, {L"1", L"2"});
    desktop.Add(1, L"A");
    lists.RefreshWindowList();
    EXPECT_TRUE(List1().empty());
    EXPECT_TRUE(List2().empty());
    EXPECT_EQ(view.ListIndex(Control::List1), -1);
    EXPECT_EQ(view.TimerOf(Timer::tmrWait).intervalMs, 1000u);
    lists.tmrWait_Timer();
    EXPECT_EQ(view.ListIndex(Control::List1), -1) << "nothing restores the selection";
}

TEST_F(ProgramListsTest, TheFillSwitchesItsTimerOff) {
    desktop.Add(1, L"A");
    RefreshAndFill();
    EXPECT_FALSE(view.TimerOf(Timer::tmrWait).enabled);
}

TEST_F(ProgramListsTest, TheSelectedHandleAndTitleComeFromTheSameIndex) {
    view.SetList(Control::List1, {L"R ", L"Q "}, 1);
    view.SetList(Control::List2, {L"103", L"-5", L"101"});
    EXPECT_EQ(lists.SelectedHandle(), -5);
    EXPECT_EQ(lists.SelectedTitle(), L"Q ");
    view.SetListIndex(Control::List1, -1);
    EXPECT_EQ(lists.SelectedHandle(), std::nullopt);
    EXPECT_EQ(lists.SelectedTitle(), L"");
}

TEST_F(ProgramListsTest, AHandleTextThatIsNotANumberGivesNoHandle) {
    for (const wchar_t* text : {L"", L"12x", L"abc", L"99999999999"}) {
        view.SetList(Control::List1, {L"A "}, 0);
        view.SetList(Control::List2, {text});
        EXPECT_EQ(lists.SelectedHandle(), std::nullopt) << testing::PrintToString(text);
    }
}

struct RefreshCase {
    const wchar_t* interval;
    bool timerSet;
    bool selected;
    bool optOnEnabled;
    friend void PrintTo(const RefreshCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.interval) << (c.timerSet ? " TimerSet" : "")
            << (c.selected ? " selected" : "");
    }
};

class RefreshTick : public ProgramListsTest, public ::testing::WithParamInterface<RefreshCase> {};

TEST_P(RefreshTick, DecidesWhetherOptOnCanBeUsed) {
    const RefreshCase& c = GetParam();
    view.SetText(Control::txtInterval, c.interval);
    timerSet = c.timerSet;
    view.SetList(Control::List1, {L"A ", L"B "}, c.selected ? 1 : -1);
    view.SetEnabled(Control::optOn, !c.optOnEnabled);
    lists.tmrRefresh_Timer();
    EXPECT_EQ(view.Enabled(Control::optOn), c.optOnEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RefreshTick,
    ::testing::Values(RefreshCase{L"10", false, true, true}, RefreshCase{L"10", false, false, false},
                      RefreshCase{L"0", false, true, false}, RefreshCase{L"abc", false, true, false},
                      RefreshCase{L"-5", false, true, false}, RefreshCase{L" 5", false, true, true},
                      RefreshCase{L"0.5", false, true, true}, RefreshCase{L"0", true, true, true},
                      RefreshCase{L"abc", true, true, true}, RefreshCase{L"abc", true, false, false}));

TEST_F(ProgramListsTest, AnEmptyIntervalChangesNeitherOptOnNorCmdKill) {
    view.SetText(Control::txtInterval, L"");
    view.SetList(Control::List1, {L"A "}, -1);
    view.SetValue(Control::optOn, 1);
    view.SetEnabled(Control::optOn, true);
    view.SetEnabled(Control::cmdKill, true);
    lists.tmrRefresh_Timer();
    EXPECT_TRUE(view.Enabled(Control::optOn));
    EXPECT_TRUE(view.Enabled(Control::cmdKill));
}

TEST_F(ProgramListsTest, CmdKillIsAvailableOnlyWhileSavingIsOff) {
    view.SetText(Control::txtInterval, L"10");
    view.SetValue(Control::optOn, 1);
    lists.tmrRefresh_Timer();
    EXPECT_FALSE(view.Enabled(Control::cmdKill));
    view.SetValue(Control::optOn, 0);
    lists.tmrRefresh_Timer();
    EXPECT_TRUE(view.Enabled(Control::cmdKill));
}

TEST_F(ProgramListsTest, BetweenARefreshAndTheFillOptOnIsUnavailable) {
    desktop.Add(1, L"A");
    view.SetText(Control::txtInterval, L"10");
    view.SetList(Control::List1, {L"A "}, 0);
    lists.tmrRefresh_Timer();
    ASSERT_TRUE(view.Enabled(Control::optOn));
    lists.RefreshWindowList();
    lists.tmrRefresh_Timer();
    EXPECT_FALSE(view.Enabled(Control::optOn));
}

} // namespace
} // namespace quillon
