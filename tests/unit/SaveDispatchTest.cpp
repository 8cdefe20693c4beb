#include "scheduler/SaveDispatch.h"

#include "fakes/FakeDesktop.h"
#include "fakes/FakeFormView.h"
#include "fakes/FakeInput.h"
#include "fakes/FakeSystem.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using Events = std::vector<KeyEvent>;

// Alt+F, then S, and Alt+F, then A, as separate presses and releases.
const Events kSaveKeys{{vk::Menu, true},  {'F', true}, {'F', false},
                       {vk::Menu, false}, {'S', true}, {'S', false}};
const Events kSaveAsKeys{{vk::Menu, true},  {'F', true}, {'F', false},
                         {vk::Menu, false}, {'A', true}, {'A', false}};

struct RowCase {
    int saveAs, current;
    SaveTarget target;
    const wchar_t* keys;
    friend void PrintTo(const RowCase& c, std::ostream* os) { *os << "S=" << c.saveAs << " W=" << c.current; }
};

class SaveRowChoice : public ::testing::TestWithParam<RowCase> {};

TEST_P(SaveRowChoice, OptionValuesPickTheTargetAndTheKeys) {
    const RowCase& c = GetParam();
    EXPECT_EQ(ChooseSaveRow(c.saveAs, c.current), (SaveRow{c.target, c.keys}))
        << "S=" << c.saveAs << " W=" << c.current;
}

INSTANTIATE_TEST_SUITE_P(
    AllCombinations, SaveRowChoice,
    ::testing::Values(RowCase{0, 0, SaveTarget::Listed, L"%FS"}, RowCase{1, 0, SaveTarget::Listed, L"%FA"},
                      RowCase{2, 0, SaveTarget::Listed, L"%FS"}, RowCase{0, 1, SaveTarget::Focused, L"%FS"},
                      RowCase{1, 1, SaveTarget::Focused, L"%FA"}, RowCase{2, 1, SaveTarget::Focused, L"%FA"},
                      RowCase{0, 2, SaveTarget::Listed, L"%FS"}, RowCase{1, 2, SaveTarget::Listed, L"%FS"},
                      RowCase{2, 2, SaveTarget::Listed, L"%FS"}));

TEST(KeyEvents, SaveStringsBecomeAltFThenTheLetter) {
    EXPECT_EQ(KeyEventsFor(L"%FS"), kSaveKeys);
    EXPECT_EQ(KeyEventsFor(L"%FA"), kSaveAsKeys);
}

TEST(KeyEvents, ModifiersHoldOnlyForTheNextKeyAndLettersAreUpperCaseKeys) {
    EXPECT_EQ(KeyEventsFor(L"^s"),
              (Events{{vk::Control, true}, {'S', true}, {'S', false}, {vk::Control, false}}));
    EXPECT_EQ(KeyEventsFor(L"+%x"), (Events{{vk::Shift, true},
                                            {vk::Menu, true},
                                            {'X', true},
                                            {'X', false},
                                            {vk::Menu, false},
                                            {vk::Shift, false}}));
    EXPECT_EQ(KeyEventsFor(L"%"), (Events{{vk::Menu, true}, {vk::Menu, false}}))
        << "a dangling modifier is released";
}

struct ElevationCase {
    Elevation self, target;
    bool allowed;
    friend void PrintTo(const ElevationCase& c, std::ostream* os) {
        *os << static_cast<int>(c.self) << "->" << static_cast<int>(c.target);
    }
};

class ElevationRule : public ::testing::TestWithParam<ElevationCase> {};

TEST_P(ElevationRule, NeverTypesIntoAProgramAboveQuillon) {
    EXPECT_EQ(MayTypeInto(GetParam().self, GetParam().target), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(Pairs, ElevationRule,
                         ::testing::Values(ElevationCase{Elevation::NotElevated, Elevation::NotElevated,
                                                         true},
                                           ElevationCase{Elevation::NotElevated, Elevation::Elevated, false},
                                           ElevationCase{Elevation::NotElevated, Elevation::Unknown, false},
                                           ElevationCase{Elevation::Elevated, Elevation::Elevated, true},
                                           ElevationCase{Elevation::Elevated, Elevation::NotElevated, true},
                                           ElevationCase{Elevation::Elevated, Elevation::Unknown, true},
                                           ElevationCase{Elevation::Unknown, Elevation::NotElevated, true},
                                           ElevationCase{Elevation::Unknown, Elevation::Elevated, false}));

constexpr WindowHandle kQuillon = 1, kEditor = 100, kOther = 300;
const SaveRow kListedSave{SaveTarget::Listed, L"%FS"};
const SaveRow kFocusedSave{SaveTarget::Focused, L"%FS"};

class Delivery : public ::testing::Test {
protected:
    Delivery() {
        desktop.Add(kQuillon, L"岚舟自动保存").ownProcess = true;
        desktop.Add(kEditor, L"Notes - Editor");
        desktop.Add(kOther, L"Other program");
        // Nothing in front (the desktop itself): no window to give the front back to. The
        // tests of the pause and of the return put the user's window in front themselves.
        desktop.SetForeground(0);
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
        delivery.Begin(request);
    }
    void Run(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 10) {
            clock.Advance(10);
            if (view.TimerRunning(Timer::tmrDeliver))
                delivery.tmrDeliver_Timer();
        }
    }
    std::string Log() const {
        const auto it = system.files.find(L"C:\\Tools\\quillon.log");
        return it == system.files.end() ? "" : it->second;
    }
    void ExpectFinishedWith(DeliveryOutcome outcome) {
        EXPECT_EQ(delivery.LastOutcome(), outcome);
        EXPECT_FALSE(delivery.Busy());
        EXPECT_FALSE(view.TimerOf(Timer::tmrDeliver).enabled)
            << "the delivery timer is switched off when done";
    }
    void ExpectNothingTyped() {
        EXPECT_TRUE(input.batches.empty());
        EXPECT_EQ(Log(), "");
    }

    fakes::FakeClock clock;
    fakes::FakeDesktop desktop{clock};
    fakes::FakeInput input;
    fakes::FakeSystem system{clock};
    fakes::FakeFormView view;
    ActivityLog log{system};
    SaveDelivery delivery{view, desktop, input, system, log};
};

TEST_F(Delivery, ActivatesTheListedWindowAndTypesTheKeysInOneBatch) {
    Begin();
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].events, kSaveKeys);
    EXPECT_EQ(input.batches[0].target, kEditor);
    const std::vector<fakes::DesktopCall> activation{{"SetForegroundWindow", kEditor}, {"OpenIcon", kEditor}};
    EXPECT_EQ(desktop.calls, activation);
    EXPECT_TRUE(input.down.empty()) << "no key is left held down";
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n");
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, WaitsForASlowActivationWithoutTypingEarly) {
    desktop.windows[kEditor].activationDelayMs = 250;
    Begin();
    EXPECT_TRUE(delivery.Busy());
    EXPECT_TRUE(view.TimerRunning(Timer::tmrDeliver));
    Run(240);
    EXPECT_TRUE(input.batches.empty());
    Run(20);
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].target, kEditor);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, RetriesOnceWhenTheFirstActivationIsRefused) {
    desktop.windows[kEditor].refusals = 1;
    Begin();
    Run(1000);
    EXPECT_EQ(desktop.CountOf("RetryForeground", kEditor), 1);
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].target, kEditor);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, GivesUpAfterAboutOneSecondWhenTheWindowNeverComesToTheFront) {
    desktop.windows[kEditor].refusals = 100;
    desktop.windows[kEditor].retryAllowed = false;
    Begin();
    Run(900);
    EXPECT_TRUE(delivery.Busy());
    Run(200);
    ExpectFinishedWith(DeliveryOutcome::NotForeground);
    ExpectNothingTyped();
    EXPECT_EQ(desktop.CountOf("RetryForeground"), 1) << "exactly one further attempt";
}

TEST_F(Delivery, AWindowInFrontButWithoutFocusIsNotTypedInto) {
    desktop.windows[kEditor].hasFocusedControl = false;
    Begin();
    Run(1500);
    ExpectFinishedWith(DeliveryOutcome::NotForeground);
    ExpectNothingTyped();
}

TEST_F(Delivery, NoSelectedProgramMeansNoActivationAndNothingTyped) {
    Begin(kListedSave, std::nullopt);
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(Delivery, AClosedListedWindowGetsNoActivationAndNothingTyped) {
    desktop.Close(kEditor);
    Begin();
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

class DeliveryHeldKey : public Delivery, public ::testing::WithParamInterface<std::uint8_t> {};

TEST_P(DeliveryHeldKey, WaitsForTheReleaseAndTypesAfterIt) {
    input.down.insert(GetParam());
    Begin();
    Run(500);
    EXPECT_TRUE(input.batches.empty());
    input.down.erase(GetParam());
    Run(20);
    ASSERT_EQ(input.batches.size(), 1u);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_P(DeliveryHeldKey, TypesNothingWhenItStaysDownForTwoSeconds) {
    input.down.insert(GetParam());
    Begin();
    Run(1900);
    EXPECT_TRUE(delivery.Busy());
    Run(200);
    ExpectFinishedWith(DeliveryOutcome::KeysHeld);
    ExpectNothingTyped();
}

INSTANTIATE_TEST_SUITE_P(GuardedKeys, DeliveryHeldKey,
                         ::testing::Values(vk::Shift, vk::Control, vk::Menu, vk::LWin, vk::RWin, vk::F2,
                                           vk::F3, vk::LButton, vk::RButton, vk::MButton, vk::XButton1,
                                           vk::XButton2));

TEST_F(Delivery, OtherKeysHeldDownDoNotDelayTheSave) {
    input.down.insert('Q');
    Begin();
    EXPECT_EQ(input.batches.size(), 1u);
}

TEST_F(Delivery, AWindowThatLosesTheFrontWhileKeysAreHeldIsNotTyped) {
    input.down.insert(vk::Control);
    Begin();
    desktop.SetForeground(kOther);
    input.down.clear();
    Run(50);
    ExpectFinishedWith(DeliveryOutcome::NotForeground);
    ExpectNothingTyped();
}

TEST_F(Delivery, FocusedRowTypesIntoTheForegroundWindowWithoutActivatingAnything) {
    desktop.SetForeground(kOther);
    Begin(kFocusedSave, kEditor);
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].target, kOther);
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n") << "the log names the listed entry";
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, FocusedRowNeverTypesIntoQuillonsOwnWindow) {
    desktop.SetForeground(kQuillon);
    Begin(kFocusedSave);
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
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
    Begin(kFocusedSave);
    Run(2100);
    ExpectFinishedWith(DeliveryOutcome::KeysHeld);
    ExpectNothingTyped();
}

TEST_F(Delivery, AnElevatedTargetGetsNothing) {
    desktop.windows[kEditor].elevation = Elevation::Elevated;
    Begin();
    ExpectFinishedWith(DeliveryOutcome::Elevated);
    ExpectNothingTyped();
}

TEST_F(Delivery, AnElevatedQuillonMayTypeIntoAnElevatedTarget) {
    desktop.ownElevation = Elevation::Elevated;
    desktop.windows[kEditor].elevation = Elevation::Elevated;
    Begin();
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, FewerEventsInsertedThanSentCountsAsNotTypedAndIsNotLogged) {
    input.insertLimit = 2;
    Begin();
    ExpectFinishedWith(DeliveryOutcome::Incomplete);
    EXPECT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(Log(), "");
}

TEST_F(Delivery, NoLogLineWhenLoggingIsOff) {
    Begin(kListedSave, kEditor, false);
    ExpectFinishedWith(DeliveryOutcome::Typed);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(system.appendCalls, 0);
}

TEST_F(Delivery, TheLogLineIsWrittenWhenTheKeysAreTypedNotWhenTheSaveStarts) {
    desktop.windows[kEditor].activationDelayMs = 500;
    Begin();
    EXPECT_EQ(system.appendCalls, 0);
    system.dateTime = L"2024-03-05 14:07:10";
    Run(600);
    EXPECT_EQ(Log(), "2024-03-05 14:07:10 Notes - Editor \r\n");
}

TEST_F(Delivery, ASecondSaveWhileOneIsUnderWayStartsNoSecondDelivery) {
    desktop.windows[kEditor].activationDelayMs = 400;
    Begin();
    Run(100);
    Begin();
    EXPECT_EQ(delivery.LastOutcome(), DeliveryOutcome::Busy);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kEditor), 1);
    Run(1000);
    EXPECT_EQ(input.batches.size(), 1u);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(Delivery, AFinishedDeliveryLetsTheNextSaveThrough) {
    Begin();
    desktop.SetForeground(kQuillon);
    Begin();
    EXPECT_EQ(input.batches.size(), 2u);
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n2024-03-05 14:07:09 Notes - Editor \r\n");
}

TEST_F(Delivery, SaveAsKeysAreTypedForTheSaveAsRow) {
    Begin({SaveTarget::Listed, L"%FA"});
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].events, kSaveAsKeys);
}


TEST_F(Delivery, NeverTypesIntoQuillonsOwnWindowWhenItIsTheListedOne) {
    desktop.SetForeground(kQuillon);
    Begin(kListedSave, kQuillon);
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty()) << "not even activated";
}

TEST_F(Delivery, AHandleThatNowBelongsToAnotherProcessGetsNothing) {
    SaveRequest request;
    request.row = kListedSave;
    request.listed = ListedWindow{kEditor, desktop.ProcessIdOf(kEditor) + 1};
    delivery.Begin(request);
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty());
}

TEST_F(Delivery, AProgramThatDoesNotAnswerIsNeitherRestoredNorTyped) {
    desktop.windows[kEditor].answers = false;
    desktop.windows[kEditor].placement.showCmd = 2;
    Begin();
    ExpectFinishedWith(DeliveryOutcome::NotResponding);
    ExpectNothingTyped();
    EXPECT_TRUE(desktop.calls.empty()) << "nothing waits on a hung program";
}

TEST_F(Delivery, AListedWindowShowingAModalDialogIsNotTyped) {
    desktop.SetForeground(kEditor);
    desktop.windows[kEditor].enabled = false;
    Begin();
    Run(1100);
    ExpectFinishedWith(DeliveryOutcome::NotForeground);
    ExpectNothingTyped();
}

TEST_F(Delivery, FocusedRowTypesNothingIntoADisabledWindowOrAModalDialog) {
    constexpr WindowHandle kDialog = 400;
    desktop.Add(kDialog, L"Save As").owner = kEditor;
    desktop.windows[kEditor].enabled = false; // a modal dialog disables its owner
    desktop.SetForeground(kDialog);
    Begin({SaveTarget::Focused, L"%FA"});
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    desktop.SetForeground(kEditor);
    Begin({SaveTarget::Focused, L"%FA"});
    ExpectFinishedWith(DeliveryOutcome::NoTarget);
    ExpectNothingTyped();
}

TEST_F(Delivery, SwitchingOffEndsADeliveryThatWaitsForAHeldKey) {
    input.down.insert(vk::Control);
    Begin();
    Run(300);
    delivery.Cancel();
    ExpectFinishedWith(DeliveryOutcome::Cancelled);
    input.down.clear();
    Run(500);
    ExpectNothingTyped();
}

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
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].target, kEditor);
}

TEST_F(DeliveryFromBehind, AnIdleUserIsSavedAtOnce) {
    clock.Advance(2000);
    Begin();
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(input.batches[0].target, kEditor);
}

TEST_F(DeliveryFromBehind, AUserWhoKeepsWorkingSkipsTheCycleWithoutATraceAfterTenSeconds) {
    Begin();
    KeepTyping(9800);
    EXPECT_TRUE(delivery.Busy());
    KeepTyping(400);
    ExpectFinishedWith(DeliveryOutcome::UserBusy);
    ExpectNothingTyped();
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow"), 0);
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, AShortIntervalShortensTheWait) {
    Begin(kListedSave, kEditor, true, 3000);
    KeepTyping(3200);
    ExpectFinishedWith(DeliveryOutcome::UserBusy);
    ExpectNothingTyped();
}

TEST_F(DeliveryFromBehind, AListedWindowAlreadyInFrontIsTypedIntoWithoutWaiting) {
    desktop.SetForeground(kEditor);
    input.UserInput();
    Begin();
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow"), 0);
    ExpectFinishedWith(DeliveryOutcome::Typed); // nothing to give back
}

TEST_F(DeliveryFromBehind, AfterTheSaveTheFrontAndTheCaretGoBackToTheUsersWindow) {
    clock.Advance(2000);
    Begin();
    ASSERT_EQ(input.batches.size(), 1u);
    EXPECT_EQ(Front(), kEditor);
    EXPECT_TRUE(delivery.Busy()) << "waits for the program to take the keys";
    Run(300);
    EXPECT_EQ(Front(), kOther);
    EXPECT_EQ(desktop.windows[kOther].focus, kCaret);
    EXPECT_EQ(desktop.calls.back(), (fakes::DesktopCall{"RestoreFocus", kCaret}));
    ExpectFinishedWith(DeliveryOutcome::Typed);
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n");
}

TEST_F(DeliveryFromBehind, TheFrontStaysUntilTheFileMenuTheKeysOpenedHasClosed) {
    clock.Advance(2000);
    desktop.windows[kEditor].menuModePolls = 30;
    Begin();
    Run(250);
    EXPECT_EQ(Front(), kEditor) << "the menu is still open: S may not have been read yet";
    Run(200);
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, AProgramThatStaysInItsMenuGetsTheFrontTakenBackAfterASecond) {
    clock.Advance(2000);
    desktop.windows[kEditor].menuModePolls = 1000;
    Begin();
    Run(900);
    EXPECT_EQ(Front(), kEditor);
    Run(200);
    EXPECT_EQ(Front(), kOther);
}

TEST_F(DeliveryFromBehind, AWindowClosedMeanwhileIsNotBroughtBack) {
    clock.Advance(2000);
    Begin();
    desktop.Close(kOther);
    Run(1100);
    EXPECT_EQ(Front(), kEditor);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

TEST_F(DeliveryFromBehind, SaveAsLeavesItsProgramInFrontForTheDialog) {
    clock.Advance(2000);
    Begin({SaveTarget::Listed, L"%FA"});
    ExpectFinishedWith(DeliveryOutcome::Typed);
    Run(1100);
    EXPECT_EQ(Front(), kEditor);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
}

TEST_F(DeliveryFromBehind, ADialogThatTheSaveOpenedKeepsTheFront) {
    clock.Advance(2000);
    Begin();
    desktop.windows[kEditor].enabled = false; // an untitled document asks for a file name
    Run(1100);
    EXPECT_EQ(desktop.CountOf("SetForegroundWindow", kOther), 0);
}

TEST_F(DeliveryFromBehind, SwitchingOffWhileWaitingForThePauseTypesNothing) {
    Begin();
    Run(500);
    delivery.Cancel();
    ExpectFinishedWith(DeliveryOutcome::Cancelled);
    Run(3000);
    ExpectNothingTyped();
    EXPECT_EQ(Front(), kOther);
}


TEST_F(DeliveryFromBehind, QuillonsOwnKeysDoNotCountAsTheUserWorking) {
    clock.Advance(2000);
    Begin(kListedSave, kEditor, true, 1000);
    Run(1100);
    ASSERT_EQ(input.batches.size(), 1u);
    desktop.SetForeground(kOther);
    clock.Advance(900); // the next cycle comes before 1.5 s have passed since Quillon typed
    Begin(kListedSave, kEditor, true, 1000);
    ASSERT_EQ(input.batches.size(), 2u) << "the only input since was Quillon's own";
    Run(1100);
    input.UserInput(); // now the user types
    desktop.SetForeground(kOther);
    Begin(kListedSave, kEditor, true, 1000);
    Run(1100);
    ExpectFinishedWith(DeliveryOutcome::UserBusy);
    EXPECT_EQ(input.batches.size(), 2u);
}


TEST_F(Delivery, FocusedRowTypesNothingIntoAProgramThatDoesNotAnswer) {
    desktop.SetForeground(kOther);
    desktop.windows[kOther].answers = false;
    Begin(kFocusedSave);
    ExpectFinishedWith(DeliveryOutcome::NotResponding);
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
    EXPECT_EQ(input.batches.size(), 1u);
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);
    ExpectFinishedWith(DeliveryOutcome::Typed);
}

} // namespace
} // namespace quillon
