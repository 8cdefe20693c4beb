// A cycle takes the front only when there may be unsaved work: Quillon hidden in the tray, saving
// the listed editor while the user works in another one.
#include "scheduler/UnsavedWork.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillon {
namespace {

using fakes::AppHarness;

constexpr WindowHandle kListed = 100, kListedSecond = 110, kUsers = 300;

class NothingToSave : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.desktop.Add(kListed, L"a.txt - Editor");
        h.desktop.Add(kListedSecond, L"b.txt - Editor").processId = h.desktop.ProcessIdOf(kListed);
        h.desktop.Add(kUsers, L"mine.txt - Editor");
        h.StartSaving(kListed);
        h.desktop.SetForeground(kUsers); // the user works in another editor
        h.NextCycle();
        ASSERT_EQ(h.desktop.windows[kListed].chosen, L"S") << "the first cycle knows nothing and saves";
        h.desktop.calls.clear();
    }
    int Takes() const { return h.desktop.CountOf("SetForegroundWindow", kListed); }
    int Saves() { return static_cast<int>(h.desktop.windows[kListed].chosen.size()); }

    AppHarness h;
};

struct BetweenCycles {
    const char* what;
    std::function<void(AppHarness&)> happen;
    bool saves;
    friend void PrintTo(const BetweenCycles& c, std::ostream* os) { *os << c.what; }
};

class NothingToSaveBetween : public NothingToSave, public ::testing::WithParamInterface<BetweenCycles> {};

TEST_P(NothingToSaveBetween, TheNextCycleSavesOnlyWhenTheUserMayHaveChangedIt) {
    GetParam().happen(h);
    const bool inFront = h.desktop.ForegroundWindow() == kListed;
    h.NextCycle();
    EXPECT_EQ(Saves(), GetParam().saves ? 2 : 1);
    EXPECT_EQ(Takes(), GetParam().saves && !inFront ? 1 : 0) << "nothing to save takes nothing";
    if (!GetParam().saves) {
        EXPECT_TRUE(h.input.batches.size() == 2u) << "no key in the second cycle";
        EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::NothingToSave);
        EXPECT_EQ(h.Tip(), L"自动保存：没有新的更改（上次保存于 2024-03-05 14:07:09）");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Uses, NothingToSaveBetween,
    ::testing::Values(
        BetweenCycles{"nothing", [](AppHarness&) {}, false},
        BetweenCycles{"the user works in another program", [](AppHarness& h) { h.app.OnWindowActivity(kUsers); },
                      false},
        // A click into the window and a word typed there, and back: one event is all it leaves.
        BetweenCycles{"a brief visit", [](AppHarness& h) { h.app.OnWindowActivity(kListed); }, true},
        BetweenCycles{"a visit to another window of its program",
                      [](AppHarness& h) { h.app.OnWindowActivity(kListedSecond); }, true},
        BetweenCycles{"the user works in it at the cycle", [](AppHarness& h) { h.desktop.SetForeground(kListed); },
                      true},
        BetweenCycles{"another program chosen and this one chosen again",
                      [](AppHarness& h) {
                          h.Select(kUsers);
                          h.Select(kListed);
                      },
                      true}));

class NothingToSaveWhileHeld : public NothingToSave, public ::testing::WithParamInterface<bool> {};

// Quillon's own moments in front are no use; but a user who went to the window while Quillon held
// it, and typed, may have changed it.
TEST_P(NothingToSaveWhileHeld, TheWindowsActivationDuringASaveCountsOnlyWhenTheUserTyped) {
    const bool userTyped = GetParam();
    h.desktop.windows[kListed].menu.closesAfterMs = 400; // the letter takes a while
    h.app.OnWindowActivity(kListed); // used: the next cycle saves
    bool eventDuringSave = false;
    for (int tick = 0; tick < 100 && !eventDuringSave; ++tick) {
        const bool last = h.view.Text(Control::txtRemaining) == L"0";
        h.clock.Advance(1000);
        h.app.OnTimer(Timer::tmrLoop);
        if (!last)
            continue;
        // The window Quillon brought forward reports its activation while the save runs, and the
        // user may come to it and type.
        std::optional<int> letterAt;
        for (int ms = 0; ms < 1500; ms += 10) {
            h.clock.Advance(10);
            if (!eventDuringSave && h.app.Delivery().HoldsFront() && h.desktop.ForegroundWindow() == kListed) {
                h.app.OnWindowActivity(kListed);
                eventDuringSave = true;
            }
            if (!letterAt && h.desktop.windows[kListed].chosen.size() == 2)
                letterAt = ms;
            if (userTyped && letterAt && ms == *letterAt + 200)
                h.input.UserInput(); // after Quillon's keys, before it gave the front back
            if (h.view.TimerRunning(Timer::tmrDeliver))
                h.app.OnTimer(Timer::tmrDeliver);
        }
    }
    ASSERT_TRUE(eventDuringSave);
    ASSERT_EQ(Saves(), 2);
    h.NextCycle();
    EXPECT_EQ(Saves(), userTyped ? 3 : 2);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), userTyped ? SaveOutcome::Saved : SaveOutcome::NothingToSave);
}

INSTANTIATE_TEST_SUITE_P(UserTyped, NothingToSaveWhileHeld, ::testing::Bool());

// A title that drops its mark at a save shows that the window marks its changes: from then on
// the title decides, whatever the use.
TEST(TitleMarks, AMarkLearntAtASaveDecidesFromThenOn) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    fakes::FakeWindow& editor = h.desktop.Add(kListed, L"*a.txt - Editor");
    editor.menu.titleAfterSave = L"a.txt - Editor";
    h.desktop.Add(kUsers, L"mine.txt - Editor");
    h.StartSaving(kListed);
    h.desktop.SetForeground(kUsers);
    h.NextCycle();
    ASSERT_EQ(h.desktop.windows[kListed].chosen, L"S");
    h.app.OnWindowActivity(kListed); // visited, but the title shows no change
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"S");
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::NothingToSave);
    h.desktop.windows[kListed].title = L"*a.txt - Editor"; // changed without a visit Quillon saw
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"SS");
}

TEST_F(NothingToSave, APassingFailureKeepsTheWorkPendingAndTheNextCycleTriesAgain) {
    h.app.OnWindowActivity(kListed);
    h.input.down.insert(vk::Control); // held all cycle long
    h.NextCycle(4000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::KeysHeld);
    h.input.down.clear();
    h.NextCycle();
    EXPECT_EQ(Saves(), 2);
}

TEST_F(NothingToSave, SaveAsEveryCycleOpensItsDialogWhetherOrNotSomethingChanged) {
    h.app.OnClick(Control::chkSaveAs);
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"SA");
}

} // namespace
} // namespace quillon
