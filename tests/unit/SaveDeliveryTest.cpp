#include "scheduler/SaveDelivery.h"

#include "fakes/FakeDesktop.h"
#include "fakes/FakeDocuments.h"
#include "fakes/FakeFormView.h"
#include "fakes/FakeInput.h"
#include "fakes/FakeSystem.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillon {
namespace {

using Events = std::vector<KeyEvent>;
using fakes::FakeMenu;

const Events kMenuKeys{{vk::Shift, false}, {vk::Control, false}, {vk::Menu, true},
                       {'F', true},         {'F', false},          {vk::Menu, false}};
const Events kSaveKey{{'S', true}, {'S', false}};
const Events kSaveAsKey{{'A', true}, {'A', false}};

constexpr WindowHandle kQuillon = 1, kEditor = 100, kOther = 300, kThird = 500;
const SaveRow kListedSave{SaveTarget::Listed, L"%FS"};
const SaveRow kFocusedSave{SaveTarget::Focused, L"%FS"};
const char kLine[] = "2024-03-05 14:07:09 Notes - Editor \r\n";

class Delivery : public ::testing::Test {
protected:
    Delivery() {
        desktop.Add(kQuillon, L"岚舟自动保存").ownProcess = true;
        desktop.Add(kEditor, L"Notes - Editor");
        desktop.Add(kOther, L"Other program");
        // Nothing in front (the desktop itself): no window to give the front back to. The
        // tests of the pause and of the return put the user's window in front themselves.
        desktop.SetForeground(0);
        input.onKey = [this](const KeyEvent& key) { desktop.Receive(key); };
    }
    void Begin(const SaveRow& row = kListedSave, std::optional<WindowHandle> listed = kEditor,
               bool writeLog = true, std::uint64_t intervalMs = 30000) {
        SaveRequest request;
        request.row = row;
        if (listed)
            request.listed = ListedWindow{*listed, desktop.ProcessIdOf(*listed)};
        request.entry = L"Notes - Editor ";
        request.writeLog = writeLog;
        request.intervalMs = intervalMs;
        request.shortcut = shortcut;
        request.document = L"notes.txt";
        delivery.Begin(request);
    }
    void Run(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 10) {
            clock.Advance(10);
            if (view.TimerRunning(Timer::tmrDeliver))
                delivery.tmrDeliver_Timer();
        }
    }
    // Runs until `done` holds (at most `ms`); returns the clock then.
    std::uint64_t RunUntil(const std::function<bool()>& done, std::uint64_t ms = 3000) {
        for (std::uint64_t t = 0; t < ms && !done(); t += 10)
            Run(10);
        return clock.now;
    }
    std::string Log() const {
        const auto it = system.files.find(L"C:\\Tools\\quillon.log");
        return it == system.files.end() ? "" : it->second;
    }
    int BatchesWith(std::uint8_t key) const {
        return static_cast<int>(std::count_if(input.batches.begin(), input.batches.end(), [&](const auto& b) {
            return std::any_of(b.events.begin(), b.events.end(),
                               [&](const KeyEvent& e) { return e.virtualKey == key && e.down; });
        }));
    }
    void ExpectFinishedWith(SaveOutcome outcome) {
        EXPECT_EQ(delivery.LastOutcome(), outcome);
        EXPECT_FALSE(delivery.Busy());
        EXPECT_FALSE(view.TimerOf(Timer::tmrDeliver).enabled) << "the delivery timer is switched off when done";
        EXPECT_TRUE(input.down.empty()) << "no key Quillon pressed is left down";
    }
    void ExpectNothingTyped() {
        EXPECT_TRUE(input.batches.empty());
        EXPECT_EQ(Log(), "");
    }
    // The save's letter never went anywhere: not into the menu, not into the text.
    void ExpectNoLetter() {
        EXPECT_EQ(BatchesWith('S') + BatchesWith('A'), 0);
        EXPECT_EQ(desktop.windows[kEditor].chosen, L"");
        EXPECT_EQ(desktop.windows[kEditor].text, L"");
        EXPECT_EQ(Log(), "");
    }
    void ExpectSavedOnce(const wchar_t* item = L"S") {
        EXPECT_EQ(desktop.windows[kEditor].chosen, item);
        EXPECT_EQ(desktop.windows[kEditor].text, L"") << "no key went into the document as text";
        EXPECT_EQ(Log(), kLine);
    }

    bool shortcut = false; // Ctrl+S instead of the menu's keys
    fakes::FakeClock clock;
    fakes::FakeDesktop desktop{clock};
    fakes::FakeInput input;
    fakes::FakeSystem system{clock};
    fakes::FakeFormView view;
    ActivityLog log{system};
    fakes::FakeDocuments documents{clock};
    Versions versions{system, documents};
    SaveDelivery delivery{view, desktop, input, system, log, versions};
};

TEST_F(Delivery, ActivatesTheListedWindowThenTypesAltFAndTheLetterOnlyOnceTheMenuIsOpen) {
    desktop.windows[kEditor].menu.opensAfterMs = 100;
    Begin();
    const std::vector<fakes::DesktopCall> activation{{"SetForegroundWindow", kEditor}, {"OpenIcon", kEditor}};
    EXPECT_EQ(desktop.calls, activation);
    EXPECT_TRUE(input.batches.empty()) << "the window is given a moment to finish its activation";
    Run(80);
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].events, kMenuKeys);
    EXPECT_EQ(input.batches[0].target, kEditor);
    Run(30);
    EXPECT_EQ(input.batches.size(), 1u) << "the menu is not open yet";
    Run(60);
    ASSERT_EQ(input.batches.size(), 2u);
    EXPECT_EQ(input.batches[1].events, kSaveKey);
    EXPECT_EQ(input.batches[1].target, kEditor);
    EXPECT_EQ(Log(), "") << "logged only once the program took the letter";
    Run(100);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, WaitsForASlowActivationWithoutTypingEarly) {
    desktop.windows[kEditor].activationDelayMs = 250;
    Begin();
    EXPECT_TRUE(delivery.Busy());
    EXPECT_TRUE(view.TimerRunning(Timer::tmrDeliver));
    Run(240);
    EXPECT_TRUE(input.batches.empty());
    Run(200);
    ASSERT_FALSE(input.batches.empty());
    EXPECT_EQ(input.batches[0].target, kEditor);
    Run(100);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, AsksOnceMoreAfterAKeyNobodyActsOnWhenTheFirstActivationIsRefused) {
    desktop.windows[kEditor].refusals = 1;
    Begin();
    Run(1000);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 2);
    ASSERT_GE(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].events, (Events{{vk::Unassigned, true}, {vk::Unassigned, false}}));
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, GivesUpAfterAboutOneSecondWhenTheWindowNeverComesToTheFront) {
    desktop.windows[kEditor].refusals = 100;
    desktop.windows[kEditor].retryAllowed = false;
    Begin();
    Run(900);
    EXPECT_TRUE(delivery.Busy());
    Run(200);
    ExpectFinishedWith(SaveOutcome::NotForeground);
    EXPECT_EQ(BatchesWith(vk::Menu), 0);
    ExpectNoLetter();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 2) << "exactly one further attempt";
}

TEST_F(Delivery, AWindowInFrontButWithoutFocusIsNotTypedInto) {
    desktop.windows[kEditor].hasFocusedControl = false;
    Begin();
    Run(1500);
    ExpectFinishedWith(SaveOutcome::NotForeground);
    EXPECT_EQ(BatchesWith(vk::Menu), 0);
    ExpectNoLetter();
}

TEST_F(Delivery, NoSelectedProgramMeansNoActivationAndNothingTyped) {
    Begin(kListedSave, std::nullopt);
    ExpectFinishedWith(SaveOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(Delivery, AClosedListedWindowGetsNoActivationAndNothingTyped) {
    desktop.Close(kEditor);
    Begin();
    ExpectFinishedWith(SaveOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

class DeliveryHeldKey : public Delivery, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(DeliveryHeldKey, WaitsForTheReleaseWithoutTakingTheFrontAndSavesAfterIt) {
    input.down.insert(GetParam());
    Begin();
    Run(500);
    EXPECT_TRUE(input.batches.empty());
    EXPECT_TRUE(desktop.calls.empty()) << "the front is taken only once every key is up";
    input.down.erase(GetParam());
    Run(300);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_P(DeliveryHeldKey, TypesNothingWhileItStaysDownForTheWholeCycle) {
    input.down.insert(GetParam());
    Begin(kListedSave, kEditor, true, 2000);
    Run(1900);
    EXPECT_TRUE(delivery.Busy());
    Run(200);
    EXPECT_EQ(delivery.LastOutcome(), SaveOutcome::KeysHeld);
    EXPECT_FALSE(delivery.Busy());
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(GuardedKeys, DeliveryHeldKey,
                         ::testing::Values(vk::Shift, vk::Control, vk::Menu, vk::LWin, vk::RWin, vk::F2, vk::F3,
                                           vk::LButton, vk::RButton, vk::MButton, vk::XButton1, vk::XButton2));

TEST_F(Delivery, OtherKeysHeldDownDoNotDelayTheSave) {
    input.down.insert('Q');
    Begin();
    Run(200);
    ExpectSavedOnce();
}

TEST_F(Delivery, FocusedRowTypesIntoTheForegroundWindowWithoutActivatingAnything) {
    desktop.SetForeground(kOther);
    Begin(kFocusedSave, kEditor);
    Run(200);
    ASSERT_EQ(input.batches.size(), 2u);
    EXPECT_EQ(input.batches[0].target, kOther);
    EXPECT_EQ(input.batches[1].target, kOther);
    EXPECT_EQ(desktop.windows[kOther].chosen, L"S");
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_EQ(Log(), kLine) << "the log names the listed entry";
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, FocusedRowNeverTypesIntoQuillonsOwnWindow) {
    desktop.SetForeground(kQuillon);
    Begin(kFocusedSave);
    ExpectFinishedWith(SaveOutcome::NoTarget);
    ExpectNothingTyped();
}

TEST_F(Delivery, FocusedRowWithNoForegroundWindowTypesNothing) {
    desktop.SetForeground(0);
    Begin(kFocusedSave);
    ExpectNothingTyped();
    EXPECT_FALSE(delivery.Busy());
}

TEST_F(Delivery, FocusedRowWaitsForHeldKeysToo) {
    desktop.SetForeground(kOther);
    input.down.insert(vk::LButton);
    Begin(kFocusedSave, kEditor, true, 2000);
    Run(2100);
    EXPECT_EQ(delivery.LastOutcome(), SaveOutcome::KeysHeld);
    ExpectNothingTyped();
}

TEST_F(Delivery, AnElevatedTargetIsNeitherActivatedNorTyped) {
    desktop.windows[kEditor].elevation = Elevation::Elevated;
    Begin();
    ExpectFinishedWith(SaveOutcome::Elevated);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(Delivery, AnElevatedQuillonMayTypeIntoAnElevatedTarget) {
    desktop.ownElevation = Elevation::Elevated;
    desktop.windows[kEditor].elevation = Elevation::Elevated;
    Begin();
    Run(200);
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, NoLogLineWhenLoggingIsOff) {
    Begin(kListedSave, kEditor, false);
    Run(200);
    ExpectFinishedWith(SaveOutcome::Saved);
    EXPECT_EQ(desktop.windows[kEditor].chosen, L"S");
    EXPECT_EQ(system.appendCalls, 0);
}

TEST_F(Delivery, TheLogLineIsWrittenWhenTheProgramTookTheKeysNotWhenTheSaveStarts) {
    desktop.windows[kEditor].activationDelayMs = 500;
    Begin();
    EXPECT_EQ(system.appendCalls, 0);
    system.dateTime = L"2024-03-05 14:07:10";
    Run(800);
    EXPECT_EQ(Log(), "2024-03-05 14:07:10 Notes - Editor \r\n");
}

TEST_F(Delivery, ASecondSaveWhileOneIsUnderWayStartsNoSecondDelivery) {
    desktop.windows[kEditor].activationDelayMs = 400;
    Begin();
    Run(100);
    Begin();
    EXPECT_EQ(delivery.LastOutcome(), SaveOutcome::Busy);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1);
    Run(1000);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(Delivery, AFinishedDeliveryLetsTheNextSaveThrough) {
    Begin();
    Run(200);
    desktop.SetForeground(kQuillon);
    Begin();
    Run(200);
    EXPECT_EQ(desktop.windows[kEditor].chosen, L"SS");
    EXPECT_EQ(Log(), std::string(kLine) + kLine);
}

TEST_F(Delivery, SaveAsKeysAreTypedForTheSaveAsRow) {
    Begin({SaveTarget::Listed, L"%FA"});
    Run(1500);
    ASSERT_EQ(input.batches.size(), 2u);
    EXPECT_EQ(input.batches[0].events, kMenuKeys);
    EXPECT_EQ(input.batches[1].events, kSaveAsKey);
    ExpectSavedOnce(L"A");
}

TEST_F(Delivery, NeverTypesIntoQuillonsOwnWindowWhenItIsTheListedOne) {
    desktop.SetForeground(kQuillon);
    Begin(kListedSave, kQuillon);
    ExpectFinishedWith(SaveOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty()) << "not even activated";
}

TEST_F(Delivery, AHandleThatNowBelongsToAnotherProcessGetsNothing) {
    SaveRequest request;
    request.row = kListedSave;
    request.listed = ListedWindow{kEditor, desktop.ProcessIdOf(kEditor) + 1};
    delivery.Begin(request);
    ExpectFinishedWith(SaveOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(Delivery, AProgramThatDoesNotAnswerIsNeitherRestoredNorTyped) {
    desktop.windows[kEditor].answers = false;
    desktop.windows[kEditor].placement.showCmd = 2;
    Begin();
    ExpectFinishedWith(SaveOutcome::NotResponding);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty()) << "nothing waits on a hung program";
}

// A program busy for a moment (saving, recalculating) is asked again; one that stays silent
// loses the cycle. Either way nothing is taken before it answers.
struct BusyCase {
    std::uint64_t busyMs;
    SaveOutcome outcome;
};

class DeliveryBusyProgram : public Delivery, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(DeliveryBusyProgram, IsAskedAgainAndSavedOnlyOnceItAnswers) {
    desktop.windows[kEditor].busyUntil = clock.now + GetParam().busyMs;
    Begin();
    EXPECT_TRUE(delivery.Busy());
    EXPECT_TRUE(desktop.calls.empty());
    Run(GetParam().busyMs + 500);
    ExpectFinishedWith(GetParam().outcome);
    if (GetParam().outcome == SaveOutcome::Saved)
        ExpectSavedOnce();
    else
        ExpectNothingTyped();
}

INSTANTIATE_TEST_SUITE_P(Busy, DeliveryBusyProgram,
                         ::testing::Values(BusyCase{400, SaveOutcome::Saved},
                                           BusyCase{2500, SaveOutcome::Saved},
                                           BusyCase{5000, SaveOutcome::NotResponding}));

TEST_F(Delivery, AListedWindowShowingAModalDialogIsNotTyped) {
    desktop.SetForeground(kEditor);
    desktop.windows[kEditor].enabled = false;
    Begin();
    ExpectFinishedWith(SaveOutcome::Occupied);
    ExpectNothingTyped();
}

TEST_F(Delivery, FocusedRowTypesNothingIntoADisabledWindowOrAModalDialog) {
    constexpr WindowHandle kDialog = 400;
    desktop.Add(kDialog, L"Save As").owner = kEditor;
    desktop.windows[kEditor].enabled = false; // a modal dialog disables its owner
    desktop.SetForeground(kDialog);
    Begin({SaveTarget::Focused, L"%FA"});
    ExpectFinishedWith(SaveOutcome::Occupied);
    desktop.SetForeground(kEditor);
    Begin({SaveTarget::Focused, L"%FA"});
    ExpectFinishedWith(SaveOutcome::Occupied);
    ExpectNothingTyped();
}

TEST_F(Delivery, SwitchingOffEndsADeliveryThatWaitsForAHeldKey) {
    input.down.insert(vk::Control);
    Begin();
    Run(300);
    delivery.Cancel();
    EXPECT_EQ(delivery.LastOutcome(), SaveOutcome::Cancelled);
    input.down.clear();
    Run(500);
    ExpectNothingTyped();
}

// Whatever part of a batch the system cut short, every key that went down comes up again, and a
// menu the part opened is closed.
struct CutCase {
    std::size_t batch, inserted;
    friend void PrintTo(const CutCase& c, std::ostream* os) { *os << "batch " << c.batch << " cut at " << c.inserted; }
};

class DeliveryCutShort : public Delivery, public ::testing::WithParamInterface<CutCase> {};

TEST_P(DeliveryCutShort, LeavesNoKeyDownNoMenuOpenAndNoLogLine) {
    input.cutBatches[GetParam().batch] = GetParam().inserted;
    Begin();
    Run(1000);
    ExpectFinishedWith(SaveOutcome::Incomplete);
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(desktop.InputOf(kEditor).inMenu);
    EXPECT_EQ(desktop.windows[kEditor].text, L"");
}

INSTANTIATE_TEST_SUITE_P(Cuts, DeliveryCutShort,
                         ::testing::Values(CutCase{0, 0}, CutCase{0, 1}, CutCase{0, 2}, CutCase{0, 3},
                                           CutCase{1, 0}, CutCase{1, 1}));

// The user works in another program, its caret in one of its controls, when a listed save comes.
class DeliveryFromBehind : public Delivery {
protected:
    static constexpr WindowHandle kCaret = 301;

    DeliveryFromBehind() {
        input.clock = &clock;
        desktop.SetForeground(kOther);
        desktop.windows[kOther].focus = kCaret;
        input.UserInput();
    }
    // The user keeps typing, a key every 200 ms, for `ms`.
    void KeepTyping(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 200) {
            input.UserInput();
            Run(200);
        }
    }
    WindowHandle Front() { return desktop.ForegroundWindow(); }
};

TEST_F(DeliveryFromBehind, WaitsForAPauseOfOneAndAHalfSecondsBeforeTakingTheFront) {
    clock.Advance(500);
    Begin();
    Run(900);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 0) << "input 1.4 s ago: still waiting";
    EXPECT_EQ(Front(), kOther);
    Run(200);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1);
    Run(200);
    ASSERT_FALSE(input.batches.empty());
    EXPECT_EQ(input.batches[0].target, kEditor);
    ExpectSavedOnce();
}

TEST_F(DeliveryFromBehind, AnIdleUserIsSavedAtOnce) {
    clock.Advance(2000);
    Begin();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1);
    Run(200);
    ExpectSavedOnce();
}

TEST_F(DeliveryFromBehind, AUserWhoKeepsWorkingDelaysTheSaveForTheWholeCycle) {
    Begin();
    KeepTyping(29800);
    EXPECT_TRUE(delivery.Busy());
    KeepTyping(400);
    ExpectFinishedWith(SaveOutcome::UserBusy);
    ExpectNothingTyped();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow"), 0);
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, AShortIntervalShortensTheWait) {
    Begin(kListedSave, kEditor, true, 3000);
    KeepTyping(3200);
    ExpectFinishedWith(SaveOutcome::UserBusy);
    ExpectNothingTyped();
}

TEST_F(DeliveryFromBehind, TheNextCycleTakesOverASaveStillWaitingForThePauseSoNoneIsDropped) {
    Begin(kListedSave, kEditor, true, 10000);
    KeepTyping(9800);
    Begin(kListedSave, kEditor, true, 10000); // the next cycle, while the user still types
    EXPECT_NE(delivery.LastOutcome(), SaveOutcome::Busy);
    KeepTyping(3000);
    EXPECT_TRUE(input.batches.empty());
    Run(2000);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(DeliveryFromBehind, AListedWindowAlreadyInFrontIsSavedOnceTheUserPausesWithoutTakingTheFront) {
    desktop.SetForeground(kEditor);
    input.UserInput();
    Begin();
    Run(1400);
    EXPECT_TRUE(input.batches.empty()) << "the user is typing in it";
    Run(300);
    ExpectSavedOnce();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow"), 0);
    ExpectFinishedWith(SaveOutcome::Saved); // nothing to give back
}

TEST_F(DeliveryFromBehind, AfterTheSaveTheFrontAndTheCaretGoBackToTheUsersWindow) {
    clock.Advance(2000);
    Begin();
    Run(70);
    ASSERT_FALSE(input.batches.empty());
    EXPECT_EQ(Front(), kEditor);
    EXPECT_TRUE(delivery.Busy()) << "waits for the program to take the keys";
    desktop.windows[kOther].focus = 0; // the user's program did not keep its caret's control
    Run(300);
    EXPECT_EQ(Front(), kOther);
    EXPECT_EQ(desktop.windows[kOther].focus, kCaret);
    EXPECT_EQ(desktop.calls.back(), (fakes::DesktopCall{"RestoreFocus", kCaret}));
    ExpectFinishedWith(SaveOutcome::Saved);
    ExpectSavedOnce();
}

TEST_F(DeliveryFromBehind, TheFrontStaysUntilTheFileMenuTheKeysOpenedHasClosed) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.closesAfterMs = 300;
    Begin();
    Run(250);
    EXPECT_EQ(Front(), kEditor) << "the menu is still open: the letter may not have been read yet";
    EXPECT_EQ(Log(), "");
    Run(350); // the front back, and kept a moment, before the save is counted
    EXPECT_EQ(Front(), kOther);
    ExpectSavedOnce();
}

TEST_F(DeliveryFromBehind, TheFrontTheProgramTakesAgainAfterItWasGivenBackIsAskedBackOnce) {
    clock.Advance(2000);
    Begin();
    RunUntil([&] { return Front() == kOther; });
    ASSERT_TRUE(delivery.Busy()) << "the user's window has not been in front long enough yet";
    desktop.SetForeground(kEditor); // its own menu closing a moment late
    Run(300);
    EXPECT_EQ(Front(), kOther);
    EXPECT_FALSE(delivery.Busy());
    desktop.SetForeground(kEditor); // the user goes to the editor afterwards: left there
    Run(300);
    EXPECT_EQ(Front(), kEditor);
}

// A menu that opens late: the letter waits for it, the log line for its closing, the front for the
// log line.
class DeliveryLateMenu : public DeliveryFromBehind, public ::testing::WithParamInterface<std::uint64_t> {};

TEST_P(DeliveryLateMenu, TheLetterFollowsTheMenuAndTheLogAndTheFrontFollowTheLetter) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.opensAfterMs = GetParam();
    desktop.windows[kEditor].menu.closesAfterMs = 30;
    Begin();
    const std::uint64_t menuKeysAt = RunUntil([&] { return BatchesWith(vk::Menu) > 0; });
    const std::uint64_t letterAt = RunUntil([&] { return BatchesWith('S') > 0; });
    const std::uint64_t loggedAt = RunUntil([&] { return !Log().empty(); });
    const std::uint64_t backAt = RunUntil([&] { return Front() == kOther; });
    EXPECT_GE(letterAt, menuKeysAt + GetParam());
    EXPECT_GE(loggedAt, letterAt + 30);
    EXPECT_GE(backAt, loggedAt);
    ExpectSavedOnce();
    Run(100);
    ExpectFinishedWith(SaveOutcome::Saved);
}

INSTANTIATE_TEST_SUITE_P(OpensLate, DeliveryLateMenu, ::testing::Values(300, 600, 900));

// Alt+F that does not visibly open the window's own File menu, or a step after it that cannot go
// on: the letter is never typed, nothing is logged, the front goes back, and a menu is closed
// only where one is open.
struct NoLetterCase {
    const char* name;
    std::function<void(fakes::FakeWindow&)> program;
    // What happens 100 ms after Alt+F went in (the menu opens 200 ms after it).
    std::function<void(fakes::FakeDesktop&, fakes::FakeInput&)> meanwhile;
    SaveOutcome outcome;
    int cancels;
    friend void PrintTo(const NoLetterCase& c, std::ostream* os) { *os << c.name; }
};

class DeliveryNoLetter : public DeliveryFromBehind, public ::testing::WithParamInterface<NoLetterCase> {};

TEST_P(DeliveryNoLetter, TypesNoLetterLogsNothingAndGivesTheFrontBack) {
    const NoLetterCase& c = GetParam();
    clock.Advance(2000);
    desktop.windows[kEditor].menu.opensAfterMs = 200;
    c.program(desktop.windows[kEditor]);
    Begin();
    RunUntil([&] { return BatchesWith(vk::Menu) > 0; });
    Run(100);
    if (c.meanwhile)
        c.meanwhile(desktop, input);
    Run(1500);
    ExpectFinishedWith(c.outcome);
    ExpectNoLetter();
    EXPECT_EQ(desktop.windows[kEditor].cancels, c.cancels);
    EXPECT_EQ(desktop.windows[kEditor].escapes, 0);
    if (c.outcome != SaveOutcome::FrontLost) {
        EXPECT_EQ(Front(), kOther) << "the front goes back to the user's window";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeliveryNoLetter,
    ::testing::Values(
        NoLetterCase{"never opens", [](auto& w) { w.menu.opens = false; }, nullptr, SaveOutcome::MenuNotOpened, 0},
        NoLetterCase{"opens too late", [](auto& w) { w.menu.opensAfterMs = 1300; }, nullptr,
                     SaveOutcome::MenuNotOpened, 0},
        NoLetterCase{"no menu bar", [](auto& w) { w.menu.kind = FakeMenu::Kind::None; }, nullptr,
                     SaveOutcome::MenuNotOpened, 0},
        NoLetterCase{"the system menu", [](auto& w) { w.menu.kind = FakeMenu::Kind::SystemMenu; }, nullptr,
                     SaveOutcome::MenuNotOpened, 1},
        NoLetterCase{"another window's menu", [](auto& w) { w.menu.owner = kThird; }, nullptr,
                     SaveOutcome::MenuNotOpened, 1},
        NoLetterCase{"the focus moved into a text box",
                     [](auto& w) {
                         w.menu.kind = FakeMenu::Kind::Ribbon;
                         w.menu.viewHasCaret = true;
                     },
                     nullptr, SaveOutcome::MenuNotOpened, 0},
        NoLetterCase{"the user typed in between", [](auto&) {},
                     [](fakes::FakeDesktop&, fakes::FakeInput& input) { input.UserInput(); },
                     SaveOutcome::UserInterrupted, 0},
        NoLetterCase{"the user typed as the menu opened", [](auto& w) { w.menu.opensAfterMs = 105; },
                     [](fakes::FakeDesktop&, fakes::FakeInput& input) { input.UserInput(); },
                     SaveOutcome::UserInterrupted, 1},
        NoLetterCase{"a menu of the program's own took the front",
                     [](auto& w) {
                         w.menu.kind = FakeMenu::Kind::OwnWindow;
                         w.menu.ownWindow = kThird + 1;
                     },
                     nullptr, SaveOutcome::MenuNotOpened, 0},
        NoLetterCase{"the front moved", [](auto&) {},
                     [](fakes::FakeDesktop& desktop, fakes::FakeInput&) { desktop.SetForeground(kThird); },
                     SaveOutcome::FrontLost, 0}));

// Ctrl+S in an editor without a classic menu whose title marks its changes: the save counts only
// once the mark has left the title of the same document, a dialog it opened is cancelled, and the
// front comes back. A title that no longer shows the marked document gets no Ctrl+S.
struct ShortcutCase {
    const char* what;
    std::function<void(fakes::FakeWindow&)> program;
    SaveOutcome outcome;
    bool typed = true;
    friend void PrintTo(const ShortcutCase& c, std::ostream* os) { *os << c.what; }
};

class DeliveryShortcut : public DeliveryFromBehind, public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(DeliveryShortcut, CountsTheSaveOnlyOnceTheMarkLeavesTheTitle) {
    constexpr WindowHandle kDialog = kThird + 2;
    clock.Advance(2000);
    desktop.windows[kEditor].title = L"*notes.txt - Editor";
    desktop.windows[kEditor].menu.kind = FakeMenu::Kind::None;
    desktop.windows[kEditor].menu.dialog = kDialog;
    GetParam().program(desktop.windows[kEditor]);
    shortcut = true;
    Begin();
    Run(4000);
    ExpectFinishedWith(GetParam().outcome);
    EXPECT_EQ(desktop.windows[kEditor].chosen, GetParam().typed ? L"^" : L"") << "Ctrl+S, and no other key";
    EXPECT_EQ(BatchesWith(vk::Menu), 0);
    EXPECT_EQ(desktop.windows[kEditor].text, L"");
    EXPECT_EQ(Log().empty(), GetParam().outcome != SaveOutcome::Saved);
    EXPECT_EQ(desktop.CountOf("AskToClose", kDialog), GetParam().outcome == SaveOutcome::NeverSaved ? 1 : 0);
    EXPECT_EQ(Front(), kOther) << "the front comes back, a dialog or not";
}

INSTANTIATE_TEST_SUITE_P(
    Marks, DeliveryShortcut,
    ::testing::Values(
        ShortcutCase{"the mark leaves the title",
                     [](fakes::FakeWindow& w) { w.menu.titleAfterSave = L"notes.txt - Editor"; }, SaveOutcome::Saved},
        ShortcutCase{"the mark stays", [](fakes::FakeWindow&) {}, SaveOutcome::NotSavedByProgram},
        ShortcutCase{"a Save As dialog opens", [](fakes::FakeWindow& w) { w.menu.opensDialog = true; },
                     SaveOutcome::NeverSaved},
        // The user went to another tab: a clean one after Ctrl+S is no save of the marked one.
        ShortcutCase{"a clean tab shown after it", [](fakes::FakeWindow& w) { w.menu.titleAfterSave = L"b.txt - Editor"; },
                     SaveOutcome::TitleChanged},
        ShortcutCase{"the document saved before it", [](fakes::FakeWindow& w) { w.title = L"notes.txt - Editor"; },
                     SaveOutcome::NothingToSave, false},
        ShortcutCase{"another marked tab shown before it", [](fakes::FakeWindow& w) { w.title = L"*b.txt - Editor"; },
                     SaveOutcome::TitleChanged, false}));

TEST_F(DeliveryFromBehind, AMenuThatIgnoresTheRequestToCloseIsClosedWithEscapeWhileInFront) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.opensAfterMs = 105;
    desktop.windows[kEditor].menu.ignoresCancel = true;
    Begin();
    RunUntil([&] { return BatchesWith(vk::Menu) > 0; });
    Run(100);
    input.down.insert(vk::Shift); // the user holds Shift as the menu opens: no letter
    Run(200);
    EXPECT_EQ(desktop.windows[kEditor].escapes, 0) << "no Escape while the user holds a key";
    input.down.clear();
    Run(1000);
    ExpectFinishedWith(SaveOutcome::UserInterrupted);
    EXPECT_EQ(desktop.windows[kEditor].cancels, 1);
    EXPECT_EQ(desktop.windows[kEditor].escapes, 1);
    EXPECT_FALSE(desktop.InputOf(kEditor).inMenu);
    EXPECT_EQ(Front(), kOther);
    ExpectNoLetter();
}

TEST_F(DeliveryFromBehind, ALetterTheMenuDoesNotKnowLeavesItOpenAndIsNotLogged) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.letterClosesIt = false;
    Begin();
    Run(1500);
    EXPECT_EQ(Front(), kEditor) << "waits for the menu to close";
    Run(1000);
    ExpectFinishedWith(SaveOutcome::LetterNotTaken);
    EXPECT_EQ(desktop.windows[kEditor].cancels, 1);
    EXPECT_FALSE(desktop.InputOf(kEditor).inMenu);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, AProgramWithAFileViewInsteadOfAMenuIsSavedThroughIt) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.kind = FakeMenu::Kind::Ribbon;
    Begin();
    Run(300);
    ExpectSavedOnce();
    EXPECT_EQ(Front(), kOther);
    ExpectFinishedWith(SaveOutcome::Saved);
}

// Every way out after the front was taken gives it back, and a window that was minimised before
// is minimised again.
struct ExitCase {
    const char* name;
    std::function<void(fakes::FakeWindow&, fakes::FakeInput&)> before;
    // `atMs` after the front was taken (by default while the window finishes its activation;
    // Alt+F goes in after 60 ms).
    std::function<void(fakes::FakeDesktop&, fakes::FakeInput&, SaveDelivery&)> afterFrontTaken;
    SaveOutcome outcome;
    std::uint8_t userHolds = 0; // a key the user holds down from then on
    std::uint64_t atMs = 20;
    friend void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }
};

class DeliveryExit : public DeliveryFromBehind,
                     public ::testing::WithParamInterface<std::tuple<ExitCase, bool>> {};

TEST_P(DeliveryExit, GivesTheFrontBackAndMinimisesAgainWhatWasMinimised) {
    const auto& [c, minimised] = GetParam();
    clock.Advance(2000);
    fakes::FakeWindow& editor = desktop.windows[kEditor];
    if (minimised)
        editor.placement.showCmd = 2;
    if (c.before)
        c.before(editor, input);
    Begin();
    ASSERT_EQ(Front(), kEditor);
    Run(c.atMs);
    if (c.afterFrontTaken)
        c.afterFrontTaken(desktop, input, delivery);
    if (c.userHolds)
        input.down.insert(c.userHolds);
    Run(3000);
    input.down.erase(c.userHolds);
    ExpectFinishedWith(c.outcome);
    EXPECT_EQ(Front(), kOther);
    EXPECT_EQ(desktop.CountOf("Minimize", kEditor), minimised ? 1 : 0);
    EXPECT_EQ(desktop.windows[kEditor].placement.showCmd, minimised ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Exits, DeliveryExit,
    ::testing::Combine(
        ::testing::Values(
            ExitCase{"saved", nullptr, nullptr, SaveOutcome::Saved},
            ExitCase{"no focus", [](auto& w, auto&) { w.hasFocusedControl = false; }, nullptr,
                     SaveOutcome::NotForeground},
            ExitCase{"the user typed as the menu opened", [](auto& w, auto&) { w.menu.opensAfterMs = 65; },
                     [](auto&, auto& input, auto&) { input.UserInput(); }, SaveOutcome::UserInterrupted, 0, 120},
            ExitCase{"a key held", nullptr, nullptr, SaveOutcome::KeysHeld, vk::Control},
            ExitCase{"a dialog came up", nullptr,
                     [](auto& desktop, auto&, auto&) { desktop.windows[kEditor].enabled = false; },
                     SaveOutcome::Occupied},
            ExitCase{"elevated meanwhile", nullptr,
                     [](auto& desktop, auto&, auto&) { desktop.windows[kEditor].elevation = Elevation::Elevated; },
                     SaveOutcome::Elevated},
            ExitCase{"no menu", [](auto& w, auto&) { w.menu.kind = FakeMenu::Kind::None; }, nullptr,
                     SaveOutcome::MenuNotOpened},
            ExitCase{"letter not taken", [](auto& w, auto&) { w.menu.letterClosesIt = false; }, nullptr,
                     SaveOutcome::LetterNotTaken},
            ExitCase{"cut short", [](auto&, auto& input) { input.insertLimit = 2; }, nullptr,
                     SaveOutcome::Incomplete},
            ExitCase{"switched off", nullptr, [](auto&, auto&, auto& delivery) { delivery.Cancel(); },
                     SaveOutcome::Cancelled}),
        ::testing::Bool()));

TEST_F(DeliveryFromBehind, AUserWhoGoesToAnotherWindowWhileTheFrontIsTakenKeepsItAndNothingIsTyped) {
    clock.Advance(2000);
    desktop.windows[kEditor].activationDelayMs = 100;
    Begin();
    Run(20);
    desktop.SetForeground(kThird);
    input.UserInput();
    Run(1500);
    ExpectFinishedWith(SaveOutcome::FrontLost);
    EXPECT_TRUE(input.batches.empty());
    EXPECT_EQ(Front(), kThird);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1) << "not asked for once more";
}

// A menu the user has open, in their own window or Quillon's tray menu, would close under them if
// the front were taken: the save waits for it, however long the user has not typed.
class DeliveryUserInAMenu : public DeliveryFromBehind, public ::testing::WithParamInterface<WindowHandle> {
protected:
    void OpenMenu() {
        if (GetParam() == kQuillon) {
            view.handle = kQuillon;
            desktop.SetForeground(kQuillon);
        }
        desktop.windows[GetParam()].userMenuOpen = true;
    }
    WindowHandle UsersFront() const { return GetParam() == kQuillon ? kQuillon : kOther; }
};

TEST_P(DeliveryUserInAMenu, WaitsWhileItIsOpenAndSavesOnceItCloses) {
    clock.Advance(2000);
    OpenMenu();
    Begin();
    Run(5000);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 0);
    EXPECT_EQ(Front(), UsersFront());
    ExpectNothingTyped();
    desktop.windows[GetParam()].userMenuOpen = false;
    Run(1000);
    ExpectSavedOnce();
}

TEST_P(DeliveryUserInAMenu, OneOpenedWhileTheFrontIsComingEndsTheSaveWithoutAskingAgain) {
    clock.Advance(2000);
    desktop.windows[kEditor].activationDelayMs = 400;
    Begin();
    Run(20);
    OpenMenu();
    Run(1500);
    ExpectFinishedWith(SaveOutcome::UserInterrupted);
    ExpectNothingTyped();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1) << "not asked for once more";
}

INSTANTIATE_TEST_SUITE_P(Menus, DeliveryUserInAMenu, ::testing::Values(kOther, kQuillon),
                         [](const auto& info) { return info.param == kQuillon ? "QuillonsTrayMenu" : "TheUsersWindow"; });

TEST_F(DeliveryFromBehind, AWindowClosedMeanwhileIsNotBroughtBack) {
    clock.Advance(2000);
    Begin();
    desktop.Close(kOther);
    Run(1100);
    EXPECT_EQ(Front(), kEditor);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
    ExpectFinishedWith(SaveOutcome::Saved);
}

TEST_F(DeliveryFromBehind, SaveAsLeavesItsProgramInFrontForTheDialog) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.opensDialog = true;
    Begin({SaveTarget::Listed, L"%FA"});
    Run(1500);
    ExpectFinishedWith(SaveOutcome::Saved);
    EXPECT_EQ(Front(), kEditor);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
    ExpectSavedOnce(L"A");
}

// The dialog stays for the user to answer, and the save is not made until they do: no log line.
TEST_F(DeliveryFromBehind, ADialogThatTheSaveOpenedKeepsTheFrontAndIsNoSave) {
    clock.Advance(2000);
    desktop.windows[kEditor].menu.opensDialog = true; // an untitled document asks for a file name
    Begin();
    Run(1100);
    ExpectFinishedWith(SaveOutcome::NeverSaved);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
    EXPECT_EQ(desktop.CountOf("AskToClose"), 0);
    EXPECT_TRUE(system.files.empty()) << "nothing logged";
}

TEST_F(DeliveryFromBehind, SwitchingOffWhileWaitingForThePauseTypesNothing) {
    Begin();
    Run(500);
    delivery.Cancel();
    ExpectFinishedWith(SaveOutcome::Cancelled);
    Run(3000);
    ExpectNothingTyped();
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, QuillonsOwnKeysDoNotCountAsTheUserWorking) {
    clock.Advance(2000);
    Begin(kListedSave, kEditor, true, 1000);
    Run(1100);
    ASSERT_EQ(desktop.windows[kEditor].chosen, L"S");
    clock.Advance(900); // the next cycle comes before 1.5 s have passed since Quillon typed
    Begin(kListedSave, kEditor, true, 1000);
    Run(300);
    ASSERT_EQ(desktop.windows[kEditor].chosen, L"SS") << "the only input since was Quillon's own";
    Run(800);
    input.UserInput(); // now the user types
    Begin(kListedSave, kEditor, true, 1000);
    Run(1100);
    EXPECT_EQ(delivery.LastOutcome(), SaveOutcome::UserBusy);
    EXPECT_EQ(desktop.windows[kEditor].chosen, L"SS");
}

TEST_F(Delivery, FocusedRowTypesNothingIntoAProgramThatDoesNotAnswer) {
    desktop.SetForeground(kOther);
    desktop.windows[kOther].answers = false;
    Begin(kFocusedSave);
    ExpectFinishedWith(SaveOutcome::NotResponding);
    ExpectNothingTyped();
}

TEST_F(DeliveryFromBehind, MessagesHandledWhileAProgramIsAskedStartOrAdvanceNoSecondSave) {
    clock.Advance(2000);
    int nested = 0;
    desktop.whileAnswering = [&] {
        if (nested++ > 20)
            return;
        Begin();                     // a tick that would save again
        delivery.tmrDeliver_Timer(); // the delivery's own timer
    };
    Begin();
    Run(1500);
    desktop.whileAnswering = nullptr;
    EXPECT_GT(nested, 0);
    ExpectSavedOnce();
    ExpectFinishedWith(SaveOutcome::Saved);
}

} // namespace
} // namespace quillon
