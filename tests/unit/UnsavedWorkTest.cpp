// A cycle takes the front only when there may be unsaved work: Quillon hidden in the tray, saving
// the listed editor while the user works in another one.
#include "scheduler/UnsavedWork.h"
#include "scheduler/SaveCycle.h"
#include "windows/TitleMarks.h"

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

// Editors' titles: the mark of unsaved changes in its forms, the document's name, and whether the
// name is a file's; and the way each window is saved, from its title, class and menu bar.
struct TitleCase {
    std::wstring title;
    bool marked;
    std::wstring shown;    // the title with the mark set aside
    std::wstring document; // the document's name
    bool file;
    SaveWay withoutMenuBar; // the way for a window of class Editor without a classic menu bar
    friend void PrintTo(const TitleCase& c, std::ostream* os) { *os << fakes::Utf8(c.title); }
};

class EditorTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(EditorTitle, NamesItsDocumentAndDecidesTheWay) {
    const TitleCase& c = GetParam();
    EXPECT_EQ(SplitUnsavedMark(c.title), (MarkedTitle{c.shown, c.document, c.marked}));
    EXPECT_EQ(NamesAFile(c.document), c.file);
    fakes::FakeClock clock;
    fakes::FakeDesktop desktop{clock};
    desktop.Add(kListed, c.title).menu.kind = fakes::FakeMenu::Kind::None;
    EXPECT_EQ(ChooseSaveWay(desktop, kListed, false), c.withoutMenuBar);
    desktop.windows[kListed].menu.kind = fakes::FakeMenu::Kind::FileMenu;
    EXPECT_EQ(ChooseSaveWay(desktop, kListed, false), SaveWay::Keys) << "a classic menu bar";
    desktop.windows[kListed].className = L"Notepad++"; // its documented message, for a marked file only
    EXPECT_EQ(ChooseSaveWay(desktop, kListed, false), c.marked && c.file ? SaveWay::ProgramMessage : SaveWay::Keys);
    desktop.windows[kListed].className = L"Notepad"; // Windows 11's: its state shows only through UI Automation
    desktop.windows[kListed].menu.kind = fakes::FakeMenu::Kind::None;
    desktop.children[{kListed, L"NotepadTextBox"}] = kListed + 1;
    EXPECT_EQ(ChooseSaveWay(desktop, kListed, false), c.marked && c.file ? SaveWay::Shortcut : SaveWay::CannotSee);
    desktop.windows[kListed].className = L"Qt5152QWindowIcon"; // draws its menu, marks its title
    const SaveWay marking = c.file ? SaveWay::Shortcut : SaveWay::Unnamed;
    EXPECT_EQ(ChooseSaveWay(desktop, kListed, false), c.marked ? marking : SaveWay::Untouched);
}

constexpr auto kCtrlS = SaveWay::Shortcut, kAltF = SaveWay::Keys;
INSTANTIATE_TEST_SUITE_P(
    Titles, EditorTitle,
    ::testing::Values(
        TitleCase{L"*notes.txt - Notepad", true, L"notes.txt - Notepad", L"notes.txt", true, kCtrlS},
        TitleCase{L"notes.txt - Notepad", false, L"notes.txt - Notepad", L"notes.txt", true, kAltF},
        TitleCase{L"● report.md - project - Visual Studio Code", true, L"report.md - project - Visual Studio Code",
                  L"report.md", true, kCtrlS},
        TitleCase{L"report.md • - Sublime Text", true, L"report.md - Sublime Text", L"report.md", true, kCtrlS},
        TitleCase{L"report.md• - Typora", true, L"report.md - Typora", L"report.md", true, kCtrlS},
        TitleCase{L"report.txt* - Kate", true, L"report.txt - Kate", L"report.txt", true, kCtrlS},
        TitleCase{L"*C:\\docs\\x.txt - Notepad++", true, L"C:\\docs\\x.txt - Notepad++", L"C:\\docs\\x.txt", true, kCtrlS},
        TitleCase{L"*new 1 - Notepad++", true, L"new 1 - Notepad++", L"new 1", false, kAltF},
        TitleCase{L"● Untitled-1 - Visual Studio Code", true, L"Untitled-1 - Visual Studio Code", L"Untitled-1", false,
                  kAltF},
        TitleCase{L"*无标题 - 记事本", true, L"无标题 - 记事本", L"无标题", false, kAltF},
        TitleCase{L"Dear Sir, thanks. • - Typora", true, L"Dear Sir, thanks. - Typora", L"Dear Sir, thanks.", false, kAltF},
        TitleCase{L"6 * 7 - Calculator", false, L"6 * 7 - Calculator", L"6 * 7", false, kAltF},
        // A name that holds separators itself, in every form of the mark.
        TitleCase{L"*notes - Copy.txt - Notepad", true, L"notes - Copy.txt - Notepad", L"notes - Copy.txt", true, kCtrlS},
        TitleCase{L"● Q3 - budget.md - work - Visual Studio Code", true, L"Q3 - budget.md - work - Visual Studio Code",
                  L"Q3 - budget.md", true, kCtrlS},
        TitleCase{L"Q3 – plan.md • - Sublime Text", true, L"Q3 – plan.md - Sublime Text", L"Q3 – plan.md", true, kCtrlS},
        TitleCase{L"notes - 副本.txt* - Kate", true, L"notes - 副本.txt - Kate", L"notes - 副本.txt", true, kCtrlS},
        TitleCase{L"C:\\docs\\a - b.txt* - Notepad++", true, L"C:\\docs\\a - b.txt - Notepad++", L"C:\\docs\\a - b.txt", true,
                  kCtrlS},
        TitleCase{L"notes - Copy.txt - Notepad", false, L"notes - Copy.txt - Notepad", L"notes - Copy.txt", true, kAltF},
        TitleCase{L"Untitled - Editor - Notes", false, L"Untitled - Editor - Notes", L"Untitled", false, kAltF},
        TitleCase{L"Visual Studio Code", false, L"Visual Studio Code", L"Visual Studio Code", false, kAltF}));

TEST_F(NothingToSave, APassingFailureKeepsTheWorkPendingAndTheNextCycleTriesAgain) {
    h.app.OnWindowActivity(kListed);
    h.input.down.insert(vk::Control); // held all cycle long
    h.NextCycle(4000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::KeysHeld);
    h.input.down.clear();
    h.NextCycle();
    EXPECT_EQ(Saves(), 2);
}

// Ctrl held while saving is switched on holds the first save back; the save stays due and is made
// soon after the release, wherever in the cycle it comes, also into a program that missed it.
class HeldAtSwitchOn : public ::testing::TestWithParam<int> {};

TEST_P(HeldAtSwitchOn, TheDueSaveIsMadeSoonAfterTheRelease) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    h.desktop.Add(kListed, L"a.txt - Editor").missedCtrlRelease = true;
    h.input.down.insert(vk::Control);
    h.StartSaving(kListed, L"2");
    for (int ms = 10; ms <= GetParam() + 7000 && h.desktop.windows[kListed].chosen.empty(); ms += 10) {
        if (ms == GetParam())
            h.input.down.erase(vk::Control);
        h.RunDelivery(10);
        if (ms % 1000 == 0)
            h.app.OnTimer(Timer::tmrLoop);
    }
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"S");
}

INSTANTIATE_TEST_SUITE_P(ReleasedAt, HeldAtSwitchOn, ::testing::Values(500, 2900, 3100, 4000, 5500, 8000));

TEST_F(NothingToSave, SaveAsEveryCycleOpensItsDialogWhetherOrNotSomethingChanged) {
    h.app.OnClick(Control::chkSaveAs);
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"SA");
}

} // namespace
} // namespace quillon
