#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::AppHarness;

class IntervalTest : public ::testing::Test {
protected:
    void Set(const std::wstring& interval, const std::wstring& unit) {
        h.view.SetText(Control::txtInterval, interval);
        h.view.SetText(Control::cboTime, unit);
        h.app.OnClick(Control::cmdSet);
    }
    void ChooseUnit(const std::wstring& unit) {
        h.view.SetText(Control::cboTime, unit);
        h.app.cboTime_Click();
    }
    std::wstring Remaining() const { return h.view.Text(Control::txtRemaining); }
    std::wstring Interval() const { return h.view.Text(Control::txtInterval); }

    AppHarness h;
};

TEST_F(IntervalTest, SecondsArmTheCountdownAndStoreTheInterval) {
    Set(L"10", L"秒");
    EXPECT_EQ(Remaining(), L"10");
    EXPECT_EQ(h.app.Progress().Max(), 10);
    EXPECT_EQ(h.app.Progress().Value(), 0);
    EXPECT_EQ(h.Stored("TimerInterval"), L"10");
    EXPECT_TRUE(h.app.TimerSet);
}

TEST_F(IntervalTest, MinutesArmTheCountdownInSeconds) {
    Set(L"1.5", L"分");
    EXPECT_EQ(Remaining(), L"90");
    EXPECT_EQ(h.app.Progress().Max(), 90);
    EXPECT_EQ(h.Stored("TimerInterval"), L"90");
    EXPECT_EQ(Interval(), L"1.5") << "the shown interval stays in minutes";
    EXPECT_TRUE(h.app.TimerSet);
}

TEST_F(IntervalTest, ASecondsIntervalIsTakenCharacterForCharacter) {
    Set(L"2.5", L"秒");
    EXPECT_EQ(Remaining(), L"2.5");
    EXPECT_EQ(h.app.Progress().Max(), 2.5f);
    EXPECT_EQ(h.Stored("TimerInterval"), L"2.5");
    Set(L" 10.0", L"秒");
    EXPECT_EQ(Remaining(), L" 10.0");
    EXPECT_EQ(h.app.Progress().Max(), 10);
    EXPECT_EQ(h.Stored("TimerInterval"), L" 10.0");
}

TEST_F(IntervalTest, SetPutsTheBarBackToZero) {
    Set(L"10", L"秒");
    for (int i = 0; i < 4; ++i) {
        h.view.SetValue(Control::optOn, 1);
        h.app.OnTimer(Timer::tmrLoop);
    }
    ASSERT_EQ(h.app.Progress().Value(), 4);
    Set(L"20", L"秒");
    EXPECT_EQ(h.app.Progress().Value(), 0);
    EXPECT_EQ(Remaining(), L"20");
}

class IntervalRejected : public IntervalTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(IntervalRejected, ChangesNothingAtAll) {
    h.view.SetText(Control::txtRemaining, L"7");
    Set(GetParam(), L"秒");
    Set(GetParam(), L"分");
    EXPECT_EQ(Remaining(), L"7");
    EXPECT_EQ(h.app.Progress().Max(), 100);
    EXPECT_FALSE(h.app.TimerSet);
    EXPECT_TRUE(h.registry.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(Texts, IntervalRejected, ::testing::Values(L"abc", L"", L"0", L"-5", L" "));

TEST_F(IntervalTest, AnUnknownUnitOnlyStoresWhatTheCountdownShowsAndResetsTheBar) {
    h.view.SetText(Control::txtRemaining, L"37");
    Set(L"10", L"Seconds");
    EXPECT_EQ(Remaining(), L"37");
    EXPECT_EQ(h.Stored("TimerInterval"), L"37");
    EXPECT_EQ(h.app.Progress().Max(), 100);
    EXPECT_EQ(h.app.Progress().Value(), 0);
    EXPECT_FALSE(h.app.TimerSet);
}

TEST_F(IntervalTest, MinutesThatRoundToNoSecondsLeaveTheCountEmptyAndStoreASpace) {
    Set(L"10", L"秒");
    Set(L"0.001", L"分");
    EXPECT_EQ(Remaining(), L"");
    EXPECT_EQ(h.app.Progress().Max(), 10) << "an empty text does not change the bar";
    EXPECT_EQ(h.Stored("TimerInterval"), L" ");
}

struct UnitCase {
    const wchar_t* before;
    const wchar_t* unit;
    const wchar_t* after;
    const wchar_t* stored;
};

class UnitChange : public IntervalTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(UnitChange, ConvertsTheShownIntervalAndStoresTheUnit) {
    h.view.SetText(Control::txtInterval, GetParam().before);
    ChooseUnit(GetParam().unit);
    EXPECT_EQ(Interval(), GetParam().after);
    EXPECT_EQ(h.Stored("TimeMeasurement"), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, UnitChange,
    ::testing::Values(UnitCase{L"10", L"分", L".17", L"Minutes"}, UnitCase{L".17", L"秒", L"10", L"Seconds"},
                      UnitCase{L"90", L"分", L"1.5", L"Minutes"}, UnitCase{L"60", L"分", L"1.", L"Minutes"},
                      UnitCase{L"0", L"分", L".", L"Minutes"}, UnitCase{L"0", L"秒", L"", L"Seconds"},
                      UnitCase{L"1.5", L"秒", L"90", L"Seconds"}, UnitCase{L"abc", L"分", L"abc", L"Minutes"},
                      UnitCase{L"", L"秒", L"", L"Seconds"}));

TEST_F(IntervalTest, ChoosingMinutesTwiceConvertsTwice) {
    h.view.SetText(Control::txtInterval, L"120");
    ChooseUnit(L"分");
    EXPECT_EQ(Interval(), L"2.");
    ChooseUnit(L"分");
    EXPECT_EQ(Interval(), L".03");
}

TEST_F(IntervalTest, AUnitChangeLeavesTheRunningCountdownAlone) {
    Set(L"90", L"秒");
    h.registry.writes.clear();
    ChooseUnit(L"分");
    EXPECT_EQ(Remaining(), L"90");
    EXPECT_EQ(h.app.Progress().Max(), 90);
    ASSERT_EQ(h.registry.writes.size(), 1u);
    EXPECT_EQ(h.registry.writes[0].name, "TimeMeasurement");
}

TEST_F(IntervalTest, AnyOtherUnitTextDoesNothing) {
    h.view.SetText(Control::txtInterval, L"10");
    for (const wchar_t* unit : {L"Seconds", L"Minutes", L"", L"秒 "}) {
        ChooseUnit(unit);
        EXPECT_EQ(Interval(), L"10") << testing::PrintToString(unit);
    }
    EXPECT_TRUE(h.registry.writes.empty());
}

class SwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.view.SetList(Control::List1, {L"C ", L"B ", L"A "});
        h.view.SetList(Control::List2, {L"203", L"202", L"201"});
        for (WindowHandle w : {201, 202, 203})
            h.desktop.Add(w, L"w").placement.showCmd = 2;
        h.desktop.calls.clear();
    }
    bool On() const { return h.view.Value(Control::optOn) == 1 && h.view.Value(Control::optOff) == 0; }

    AppHarness h;
};

TEST_F(SwitchTest, SwitchingOnMinimisesQuillonAndBringsTheSelectedProgramForward) {
    h.view.SetListIndex(Control::List1, 2);
    h.app.OnClick(Control::optOn);
    EXPECT_TRUE(On());
    EXPECT_EQ(h.view.State(), WindowState::Minimized);
    const std::vector<fakes::DesktopCall> expected{
        {"Hide", h.view.handle}, {"SetForegroundWindow", 201}, {"OpenIcon", 201}};
    EXPECT_EQ(h.desktop.calls, expected);
    EXPECT_EQ(h.desktop.windows[201].placement.showCmd, 1) << "restored from minimised";
}

TEST_F(SwitchTest, WithChkCurrentCheckedSwitchingOnDoesNothingElse) {
    h.view.SetValue(Control::chkCurrent, 1);
    h.view.SetListIndex(Control::List1, 0);
    h.app.OnClick(Control::optOn);
    EXPECT_TRUE(On());
    EXPECT_EQ(h.view.State(), WindowState::Normal);
    EXPECT_TRUE(h.desktop.calls.empty());
}

TEST_F(SwitchTest, WithNothingSelectedQuillonIsStillMinimised) {
    h.app.OnClick(Control::optOn);
    EXPECT_TRUE(On());
    EXPECT_EQ(h.view.State(), WindowState::Minimized);
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow"), 0);
}

TEST_F(SwitchTest, SelectingOnAgainWhileOnDoesNotRepeatTheSteps) {
    h.view.SetListIndex(Control::List1, 1);
    h.app.OnClick(Control::optOn);
    h.app.OnClick(Control::optOn);
    EXPECT_EQ(h.view.stateChanges, std::vector<WindowState>{WindowState::Minimized});
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow", 202), 1);
}

TEST_F(SwitchTest, SwitchingOffHasNoStepsOfItsOwnAndAllowsTheNextSwitchOn) {
    h.view.SetListIndex(Control::List1, 1);
    h.app.OnClick(Control::optOn);
    h.app.OnClick(Control::optOff);
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    EXPECT_EQ(h.view.Value(Control::optOff), 1);
    EXPECT_EQ(h.view.stateChanges.size(), 1u);
    h.app.OnClick(Control::optOn);
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow", 202), 2);
}


TEST_F(IntervalTest, IntervalsLongerThanTenYearsAreRefusedAndChangeNothing) {
    Set(L"30", L"秒");
    for (const auto& [interval, unit] : {std::pair{L"1e10", L"秒"}, std::pair{L"1e307", L"分"},
                                         std::pair{L"5256001", L"分"}, std::pair{L"315360001", L"秒"}}) {
        Set(interval, unit);
        EXPECT_EQ(Remaining(), L"30") << interval;
        EXPECT_EQ(h.Stored("TimerInterval"), L"30") << interval;
        EXPECT_EQ(h.app.Progress().Max(), 30) << interval;
    }
    Set(L"315360000", L"秒");
    EXPECT_EQ(Remaining(), L"315360000") << "ten years exactly is accepted";
}

TEST_F(IntervalTest, TheReArmFallsBackToTheLastAcceptedIntervalWhenTheTextIsNoNumberAboveZero) {
    Set(L"3", L"秒");
    h.view.SetValue(Control::optOn, 1);
    h.view.SetValue(Control::optOff, 0);
    for (const wchar_t* edited : {L"0", L"-5", L"abc"}) {
        h.view.SetText(Control::txtInterval, edited); // typed, 设置时间 not pressed
        h.input.batches.clear();
        int saves = 0;
        for (int tick = 0; tick < 12; ++tick) {
            h.app.OnTimer(Timer::tmrLoop);
            saves += h.view.Text(Control::txtRemaining) == L"3" ? 1 : 0;
        }
        EXPECT_EQ(saves, 3) << edited << ": one save every four ticks, not one a tick";
    }
}

TEST_F(SwitchTest, QuillonsOwnListedWindowIsNotBroughtForward) {
    h.view.SetList(Control::List1, {L"岚舟自动保存 "}, 0);
    h.view.SetList(Control::List2, {std::to_wstring(h.view.handle)});
    h.desktop.calls.clear();
    h.app.OnClick(Control::optOn);
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow"), 0);
    EXPECT_EQ(h.desktop.CountOf("OpenIcon"), 0);
}


// The refresh rule runs when one of its inputs changes, not on a 10 ms clock: each input is
// followed at once.
class RefreshRule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.desktop.Add(300, L"Editor");
        h.app.OnClick(Control::Command1);
        h.app.OnTimer(Timer::tmrWait);
    }
    bool OptOn() const { return h.view.Enabled(Control::optOn); }
    void TypeInterval(const std::wstring& text) {
        h.view.SetText(Control::txtInterval, text);
        h.app.OnChange(Control::txtInterval);
    }
    void Select(int index) {
        h.view.SetListIndex(Control::List1, index);
        h.app.OnChange(Control::List1);
    }

    AppHarness h;
};

TEST_F(RefreshRule, NoTenMillisecondClockRunsAfterStartUp) {
    EXPECT_FALSE(h.view.TimerRunning(Timer::tmrRefresh));
    EXPECT_FALSE(OptOn()) << "nothing selected: decided at start-up already";
}

TEST_F(RefreshRule, FollowsTheSelectionAndTheTypedIntervalAtOnce) {
    TypeInterval(L"5");
    EXPECT_FALSE(OptOn());
    Select(0);
    EXPECT_TRUE(OptOn());
    TypeInterval(L"0");
    EXPECT_FALSE(OptOn());
    TypeInterval(L"12");
    EXPECT_TRUE(OptOn());
    Select(-1);
    EXPECT_FALSE(OptOn());
}

TEST_F(RefreshRule, FollowsASetIntervalTheSwitchAndARefresh) {
    Select(0);
    TypeInterval(L"abc");
    ASSERT_FALSE(OptOn());
    h.view.SetText(Control::txtInterval, L"7");
    h.view.SetText(Control::cboTime, L"秒");
    h.app.OnClick(Control::cmdSet);
    h.view.SetText(Control::txtInterval, L"abc");
    h.app.OnChange(Control::txtInterval);
    EXPECT_TRUE(OptOn()) << "an interval was set in this run";
    h.app.OnClick(Control::optOn);
    EXPECT_FALSE(h.view.Enabled(Control::cmdKill));
    h.app.OnClick(Control::optOff);
    EXPECT_TRUE(h.view.Enabled(Control::cmdKill));
    h.app.OnClick(Control::Command1);
    EXPECT_FALSE(OptOn()) << "the refresh dropped the selection";
}

TEST_F(RefreshRule, FollowsAProgramPickedFromTheTrayMenu) {
    h.view.SetText(Control::txtInterval, L"9");
    h.shell.menuChoice = 200;
    h.app.Form_MouseMove({1, 0x205, true, 0, 0});
    EXPECT_EQ(h.view.ListIndex(Control::List1), 0);
    EXPECT_TRUE(OptOn());
}

} // namespace
} // namespace quillon
