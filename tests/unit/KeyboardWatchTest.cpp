#include "scheduler/KeyboardWatch.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::AppHarness;

class KeyboardWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.desktop.Add(300, L"Editor");
        h.view.SetList(Control::List1, {L"Editor "}, 0);
        h.view.SetList(Control::List2, {L"300"});
        h.view.SetText(Control::txtInterval, L"10");
        h.app.OnTimer(Timer::tmrRefresh);
        ASSERT_TRUE(h.view.Enabled(Control::optOn));
        h.desktop.calls.clear();
    }
    void Poll(int times = 1) {
        for (int i = 0; i < times; ++i)
            h.app.OnTimer(Timer::tmrKey);
    }
    bool On() const { return h.view.Value(Control::optOn) == 1 && h.view.Value(Control::optOff) == 0; }
    bool Off() const { return h.view.Value(Control::optOn) == 0 && h.view.Value(Control::optOff) == 1; }

    AppHarness h;
    fakes::KeyboardState& keys = h.system.keyboard;
};

TEST_F(KeyboardWatchTest, F2SwitchesSavingOnWithTheSwitchOnSteps) {
    keys.Press(kDikF2);
    Poll();
    EXPECT_TRUE(On());
    EXPECT_EQ(h.view.State(), WindowState::Minimized);
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow", 300), 1);
}

TEST_F(KeyboardWatchTest, AHeldF2RunsTheSwitchOnStepsOnlyOnce) {
    keys.Press(kDikF2);
    Poll(50);
    EXPECT_TRUE(On());
    EXPECT_EQ(h.view.stateChanges, std::vector<WindowState>{WindowState::Minimized});
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow", 300), 1);
    EXPECT_EQ(h.desktop.CountOf("OpenIcon", 300), 1);
}

TEST_F(KeyboardWatchTest, F3SwitchesSavingOff) {
    h.app.OnClick(Control::optOn);
    keys.Press(kDikF3);
    Poll();
    EXPECT_TRUE(Off());
}

TEST_F(KeyboardWatchTest, F2AndF3TogetherEndOff) {
    keys.Press(kDikF2);
    keys.Press(kDikF3);
    Poll();
    EXPECT_TRUE(Off());
}

TEST_F(KeyboardWatchTest, WithOptOnUnavailableBothKeysAreIgnoredEvenWhileOn) {
    h.view.SetValue(Control::optOn, 1);
    h.view.SetValue(Control::optOff, 0);
    h.view.SetListIndex(Control::List1, -1); // the selection lost: optOn is unavailable
    h.app.OnChange(Control::List1);
    ASSERT_FALSE(h.view.Enabled(Control::optOn));
    keys.Press(kDikF3);
    Poll();
    EXPECT_TRUE(On());
    h.view.SetValue(Control::optOn, 0);
    h.view.SetValue(Control::optOff, 1);
    keys.Release(kDikF3);
    keys.Press(kDikF2);
    Poll();
    EXPECT_TRUE(Off());
    EXPECT_TRUE(h.view.stateChanges.empty());
}

TEST_F(KeyboardWatchTest, AnUnreadableStateSkipsThePoll) {
    Poll();
    keys.readsFail = true;
    keys.Press(kDikF2);
    Poll(5);
    EXPECT_TRUE(Off());
    EXPECT_EQ(keys.reads, 6);
    keys.readsFail = false;
    Poll();
    EXPECT_TRUE(On());
}

TEST_F(KeyboardWatchTest, AKeyReadByAnEarlierPollIsNotActedOnAgainWhenTheReadFails) {
    keys.Press(kDikF3);
    Poll();
    h.app.OnClick(Control::optOn);
    keys.Release(kDikF3);
    keys.readsFail = true;
    Poll();
    EXPECT_TRUE(On());
}

TEST_F(KeyboardWatchTest, OtherKeysDoNothing) {
    for (int dik = 0; dik < 256; ++dik)
        if (dik != kDikF2 && dik != kDikF3)
            keys.Press(dik);
    Poll(3);
    EXPECT_TRUE(Off());
    EXPECT_TRUE(h.view.stateChanges.empty());
}

TEST(KeyboardWatchAlone, WithoutADeviceThePollDoesNothing) {
    fakes::FakeFormView view;
    int on = 0, off = 0;
    KeyboardWatch watch(
        view, [&] { ++on; }, [&] { ++off; });
    watch.tmrKey_Timer();
    EXPECT_EQ(on + off, 0);
}

TEST(KeyboardWatchAlone, TheDeviceIsReleasedWhenTheWindowUnloads) {
    AppHarness h;
    h.Load();
    EXPECT_EQ(h.system.keyboard.unacquires, 0);
    h.app.Form_Unload();
    EXPECT_EQ(h.system.keyboard.unacquires, 1);
}


TEST_F(KeyboardWatchTest, ADeviceWhoseInputWasLostIsAcquiredAgainAndSeesKeysOnceMore) {
    keys.acquired = false; // another program took it, or the session was locked
    keys.Press(kDikF2);
    Poll();
    EXPECT_TRUE(Off());
    EXPECT_EQ(keys.acquires, 1);
    Poll();
    EXPECT_TRUE(On());
}


// A device that signals its changes costs next to nothing while no key changes, on the screen and
// hidden in the tray alike: it is read when F2 or F3 changes, polled while one of them is held,
// and otherwise only by the slow safety poll.
class SignallingKeyboard : public KeyboardWatchTest {
protected:
    void SetUp() override {
        h.system.keyboard.signalsChanges = true;
        KeyboardWatchTest::SetUp();
        h.view.SetState(WindowState::Minimized);
        keys.reads = 0;
    }
    void KeyChanged() { h.app.OnKeyboardChanged(); }
    bool OnlyTheSafetyPollRuns() const {
        return h.view.TimerRunning(Timer::tmrKey) &&
               h.view.TimerOf(Timer::tmrKey).intervalMs == kSafetyPollMs;
    }
};

TEST_F(SignallingKeyboard, OnlyTheSafetyPollRunsWhileNoKeyChanges) {
    EXPECT_TRUE(OnlyTheSafetyPollRuns());
    EXPECT_EQ(keys.reads, 0);
}

TEST_F(SignallingKeyboard, F2PressedInAnotherProgramSwitchesOnAtOnceAndIsPolledWhileHeld) {
    keys.Press(kDikF2);
    KeyChanged();
    EXPECT_TRUE(On());
    EXPECT_FALSE(h.view.Enabled(Control::cmdKill)) << "the refresh rule followed the switch at once";
    EXPECT_TRUE(h.view.TimerRunning(Timer::tmrKey)) << "a held key acts at every read";
    EXPECT_EQ(h.view.TimerOf(Timer::tmrKey).intervalMs, 10u);
    Poll(3);
    keys.Release(kDikF2);
    KeyChanged();
    Poll(kReadsAfterSignal);
    EXPECT_TRUE(OnlyTheSafetyPollRuns());
    keys.Press(kDikF3);
    KeyChanged();
    EXPECT_TRUE(Off());
    EXPECT_TRUE(h.view.Enabled(Control::cmdKill));
}

TEST_F(SignallingKeyboard, TheWindowBackOnTheScreenIsStillReadOnlyOnASignalOrTheSafetyPoll) {
    h.app.Form_MouseMove({1, 0x203, true, 0, 0}); // the tray icon's double click
    EXPECT_TRUE(OnlyTheSafetyPollRuns());
    KeyChanged();
    EXPECT_EQ(keys.reads, 1) << "read at once on the signal";
}

TEST_F(SignallingKeyboard, ASignalThatComesBeforeTheDeviceHasTheKeyIsStillActedOn) {
    KeyChanged(); // the device does not report F2 yet
    EXPECT_TRUE(Off());
    EXPECT_TRUE(h.view.TimerRunning(Timer::tmrKey)) << "read again for a few polls";
    keys.Press(kDikF2);
    Poll();
    EXPECT_TRUE(On());
}

TEST_F(SignallingKeyboard, AfterTheSignalThePollingStopsWhenNeitherKeyIsHeld) {
    KeyChanged();
    Poll(kReadsAfterSignal);
    EXPECT_TRUE(OnlyTheSafetyPollRuns());
    EXPECT_TRUE(Off());
}

// However the signal or the read it triggers goes wrong, a press of F2 is still acted on: without
// its signal (the system removed the hook) by the safety poll, after a read that failed or found
// the input lost by the reads that follow a signal.
struct BrokenPress {
    const char* name;
    bool signalled;
    void (*breakTheRead)(fakes::KeyboardState&);
    unsigned nextReadWithinMs;
    friend void PrintTo(const BrokenPress& c, std::ostream* os) { *os << c.name; }
};

class SignallingKeyboardBrokenPress : public SignallingKeyboard,
                                      public ::testing::WithParamInterface<BrokenPress> {};

TEST_P(SignallingKeyboardBrokenPress, IsActedOnByTheNextRead) {
    const BrokenPress& c = GetParam();
    keys.Press(kDikF2);
    c.breakTheRead(keys);
    if (c.signalled)
        KeyChanged();
    EXPECT_TRUE(Off());
    keys.readsFail = false;
    ASSERT_TRUE(h.view.TimerRunning(Timer::tmrKey)) << "no read would come";
    EXPECT_LE(h.view.TimerOf(Timer::tmrKey).intervalMs, c.nextReadWithinMs);
    Poll();
    EXPECT_TRUE(On());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignallingKeyboardBrokenPress,
    ::testing::Values(BrokenPress{"TheSignalLost", false, [](fakes::KeyboardState&) {}, kSafetyPollMs},
                      BrokenPress{"TheInputLostAtTheSignal", true,
                                  [](fakes::KeyboardState& k) { k.acquired = false; }, kKeyPollMs},
                      BrokenPress{"AFailedReadAtTheSignal", true,
                                  [](fakes::KeyboardState& k) { k.readsFail = true; }, kKeyPollMs}),
    [](const ::testing::TestParamInfo<BrokenPress>& info) { return std::string(info.param.name); });

TEST(KeyboardWatchAlone, ADeviceThatCannotSignalIsPolledEveryTenMilliseconds) {
    AppHarness h;
    h.Load();
    EXPECT_TRUE(h.view.TimerRunning(Timer::tmrKey));
    EXPECT_EQ(h.view.TimerOf(Timer::tmrKey).intervalMs, 10u);
}

} // namespace
} // namespace quillon
