#include "scheduler/Countdown.h"

#include "fakes/FakeFormView.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

class CountdownTest : public ::testing::Test {
protected:
    // Armed the way the set-time button leaves things: remaining = interval, bar 0..interval.
    void Arm(const std::wstring& interval, const std::wstring& unit = L"秒", float max = 0) {
        view.SetText(Control::txtInterval, interval);
        view.SetText(Control::cboTime, unit);
        view.SetText(Control::txtRemaining, interval);
        if (max > 0)
            progress.SetMax(max);
        progress.SetValue(0);
    }
    void SwitchOn() {
        view.SetValue(Control::optOn, 1);
        view.SetValue(Control::optOff, 0);
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i)
            countdown.tmrLoop_Timer();
    }
    std::wstring Remaining() const { return view.Text(Control::txtRemaining); }

    fakes::FakeFormView view;
    ProgressBar progress{view};
    Numbers numbers;
    int saves = 0;
    std::vector<float> barAtSave;
    std::vector<double> cycleSeconds;
    AcceptedInterval accepted;
    Countdown countdown{view, progress, numbers, accepted, [this](double seconds) {
                            ++saves;
                            barAtSave.push_back(progress.Value());
                            cycleSeconds.push_back(seconds);
                        }};
};

TEST_F(CountdownTest, FiveSecondIntervalCountsDownThenSavesOnTheTickAfterZero) {
    Arm(L"5", L"秒", 5);
    SwitchOn();
    const std::vector<std::wstring> shown{L"4", L"3", L"2", L"1", L"0"};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        Tick();
        EXPECT_EQ(Remaining(), shown[i]) << "tick " << i + 1;
        EXPECT_EQ(progress.Value(), static_cast<float>(i + 1)) << "tick " << i + 1;
        EXPECT_EQ(view.shownValue, static_cast<int>(i + 1));
        EXPECT_EQ(saves, 0);
    }
    Tick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(barAtSave, std::vector<float>{5}) << "the bar shows full while the save runs";
    EXPECT_EQ(Remaining(), L"5");
    EXPECT_EQ(progress.Value(), 0);
    EXPECT_EQ(view.shownValue, 0);
}

TEST_F(CountdownTest, ACountOfZeroSavesOnTheFirstTick) {
    Arm(L"10", L"秒", 10);
    view.SetText(Control::txtRemaining, L"0");
    SwitchOn();
    Tick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(barAtSave, std::vector<float>{10}) << "the bar is set full for the save";
    EXPECT_EQ(Remaining(), L"10");
}

TEST_F(CountdownTest, AFractionalCountSavesWhenItPassesBelowMinusOneAndReArms) {
    Arm(L"2.5", L"秒", 2.5f);
    SwitchOn();
    for (const wchar_t* expected : {L"1.5", L"0.5", L"-0.5"}) {
        Tick();
        EXPECT_EQ(Remaining(), expected);
    }
    EXPECT_EQ(saves, 0);
    Tick(); // -1.5: below -1, so the save runs rather than counting down forever
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Remaining(), L"2.5");
    Tick(4);
    EXPECT_EQ(saves, 2) << "the next cycle saves too";
}

TEST_F(CountdownTest, ANegativeStartSavesOnTheFirstTick) {
    Arm(L"30", L"秒", 30);
    view.SetText(Control::txtRemaining, L"-4");
    SwitchOn();
    Tick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Remaining(), L"30");
}

TEST_F(CountdownTest, SwitchedOffItFreezesAndResumesWhereItStopped) {
    Arm(L"10", L"秒", 10);
    SwitchOn();
    Tick(7);
    EXPECT_EQ(Remaining(), L"3");
    view.SetValue(Control::optOn, 0);
    view.SetValue(Control::optOff, 1);
    Tick(60);
    EXPECT_EQ(Remaining(), L"3");
    EXPECT_EQ(progress.Value(), 7);
    SwitchOn();
    Tick();
    EXPECT_EQ(Remaining(), L"2");
    EXPECT_EQ(saves, 0);
}

struct ReArmCase {
    const wchar_t* unit;
    const wchar_t* interval;
    const wchar_t* rearmedTo;
};

class CountdownReArm : public CountdownTest, public ::testing::WithParamInterface<ReArmCase> {};

TEST_P(CountdownReArm, ReArmsWithTheIntervalInSeconds) {
    view.SetText(Control::cboTime, GetParam().unit);
    view.SetText(Control::txtInterval, GetParam().interval);
    view.SetText(Control::txtRemaining, L"0");
    SwitchOn();
    Tick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Remaining(), GetParam().rearmedTo);
}

INSTANTIATE_TEST_SUITE_P(
    Units, CountdownReArm,
    ::testing::Values(ReArmCase{L"分", L"2", L"120"}, ReArmCase{L"Minutes", L"1.5", L"90"},
                      ReArmCase{L"分", L".17", L"10"}, ReArmCase{L"Seconds", L"45", L"45"},
                      ReArmCase{L"秒", L"2.5", L"2.5"}, ReArmCase{L"", L"12", L"12"},
                      ReArmCase{L"minutes", L"3", L"3"}, ReArmCase{L"分", L"0.001", L""}));

TEST_F(CountdownTest, AnUnconvertibleMinutesIntervalStopsTheCountInsteadOfSavingEveryTick) {
    view.SetText(Control::cboTime, L"分");
    view.SetText(Control::txtInterval, L"abc");
    view.SetText(Control::txtRemaining, L"0");
    SwitchOn();
    Tick(5);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Remaining(), L"") << "no interval was ever accepted: the count stops";
}

TEST_F(CountdownTest, TheBarStaysAtItsMaximumWhileTheCountGoesOn) {
    Arm(L"3", L"秒", 3);
    progress.SetValue(3);
    view.SetText(Control::txtRemaining, L"5");
    SwitchOn();
    Tick();
    EXPECT_EQ(Remaining(), L"4");
    EXPECT_EQ(progress.Value(), 3);
    Tick();
    EXPECT_EQ(Remaining(), L"3");
    EXPECT_EQ(saves, 0);
}

TEST_F(CountdownTest, AnIntervalTypedWithoutSetTakesEffectFromTheNextCycle) {
    Arm(L"3", L"秒", 3);
    SwitchOn();
    Tick();
    view.SetText(Control::txtInterval, L"8");
    Tick(2);
    EXPECT_EQ(Remaining(), L"0") << "the current cycle runs to its end unchanged";
    Tick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Remaining(), L"8");
    EXPECT_EQ(progress.Max(), 3) << "the re-arm leaves the bar's maximum alone";
}

class CountdownNotANumber : public CountdownTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(CountdownNotANumber, LeavesEverythingAsItIs) {
    Arm(L"10", L"秒", 10);
    progress.SetValue(4);
    view.SetText(Control::txtRemaining, GetParam());
    SwitchOn();
    Tick(3);
    EXPECT_EQ(Remaining(), GetParam());
    EXPECT_EQ(progress.Value(), 4);
    EXPECT_EQ(saves, 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, CountdownNotANumber, ::testing::Values(L"", L"abc", L" ", L"1x"));

TEST_F(CountdownTest, TenThousandTicksOfASevenSecondIntervalSaveExactlyOnceEveryEightTicks) {
    Arm(L"7", L"秒", 7);
    SwitchOn();
    for (int tick = 1; tick <= 10'000; ++tick) {
        countdown.tmrLoop_Timer();
        ASSERT_EQ(saves, tick / 8) << "after tick " << tick;
    }
    EXPECT_EQ(saves, 1250);
    EXPECT_EQ(Remaining(), L"7");
    EXPECT_EQ(progress.Value(), 0);
}


TEST_F(CountdownTest, AHugeRangeIsShownScaledDownWithTheSameProportionFilled) {
    ASSERT_TRUE(progress.SetMax(1e10f));
    ASSERT_TRUE(progress.SetValue(2.5e9f));
    ASSERT_TRUE(view.shownMax && view.shownValue);
    EXPECT_GT(*view.shownMax, 0);
    EXPECT_NEAR(static_cast<double>(*view.shownValue) / *view.shownMax, 0.25, 1e-6);
    ASSERT_TRUE(progress.SetMax(3e38f));
    EXPECT_GT(*view.shownMax, 0) << "no overflow into a negative range";
}

} // namespace
} // namespace quillon
