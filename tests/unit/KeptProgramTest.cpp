// Quillon keeps its program: a document closed and opened again is followed, the program is
// remembered across restarts per user, and a start with start-with-Windows checked resumes.
#include "settings/UserSettings.h"
#include "windows/KeptProgram.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quillon {
namespace {

using fakes::AppHarness;
using namespace usersettings;

constexpr WindowHandle kNotes = 100, kReopened = 120, kUsers = 300;
const std::wstring kNotepadExe = L"C:\\windows\\system32\\notepad.exe";

fakes::FakeWindow& AddNotepad(AppHarness& h, WindowHandle window, const std::wstring& title) {
    fakes::FakeWindow& w = h.desktop.Add(window, title);
    w.className = L"Notepad";
    w.executable = kNotepadExe;
    return w;
}

class Refind : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        AddNotepad(h, kNotes, L"notes.txt - Notepad");
        h.desktop.Add(kUsers, L"mine.txt - Editor");
        h.app.OnClick(Control::chkSave);
        h.StartSaving(kNotes);
        h.desktop.SetForeground(kUsers);
        h.NextCycle();
        ASSERT_EQ(h.desktop.windows[kNotes].chosen, L"S");
        h.desktop.Close(kNotes); // the user closes the document
    }
    AppHarness h;
};

struct RefindCase {
    const char* what;
    std::function<void(AppHarness&)> open;
    SaveOutcome outcome;
    WindowHandle saved; // the window the save went into, 0 for none
    friend void PrintTo(const RefindCase& c, std::ostream* os) { *os << c.what; }
};

class Reopen : public Refind, public ::testing::WithParamInterface<RefindCase> {};

TEST_P(Reopen, TheDocumentIsFollowedOnlyToTheOneWindowOfTheSameProgramShowingIt) {
    GetParam().open(h);
    h.input.batches.clear();
    h.NextCycle();
    EXPECT_EQ(h.app.Cycle().LastOutcome(), GetParam().outcome);
    if (GetParam().saved != 0) {
        EXPECT_EQ(h.desktop.windows[GetParam().saved].chosen, L"S");
        EXPECT_EQ(h.input.batches.front().target, GetParam().saved);
    } else {
        EXPECT_TRUE(h.input.batches.empty()) << "nothing typed anywhere";
    }
    EXPECT_EQ(h.view.Value(Control::optOn), 1) << "saving stays on";
}

INSTANTIATE_TEST_SUITE_P(
    Reopened, Reopen,
    ::testing::Values(
        RefindCase{"the same file opened again",
                   [](AppHarness& h) { AddNotepad(h, kReopened, L"notes.txt - Notepad"); }, SaveOutcome::Saved,
                   kReopened},
        RefindCase{"opened again and already changed",
                   [](AppHarness& h) { AddNotepad(h, kReopened, L"*notes.txt - Notepad"); }, SaveOutcome::Saved,
                   kReopened},
        RefindCase{"not open", [](AppHarness&) {}, SaveOutcome::WaitingForProgram, 0},
        RefindCase{"open twice",
                   [](AppHarness& h) {
                       AddNotepad(h, kReopened, L"notes.txt - Notepad");
                       AddNotepad(h, kReopened + 10, L"notes.txt - Notepad");
                   },
                   SaveOutcome::SeveralAlike, 0},
        RefindCase{"the same title in another program",
                   [](AppHarness& h) {
                       AddNotepad(h, kReopened, L"notes.txt - Notepad").executable = L"C:\\Tools\\other.exe";
                   },
                   SaveOutcome::WaitingForProgram, 0},
        RefindCase{"the same title in another kind of window",
                   [](AppHarness& h) { AddNotepad(h, kReopened, L"notes.txt - Notepad").className = L"Edit"; },
                   SaveOutcome::WaitingForProgram, 0},
        RefindCase{"another document in the same program",
                   [](AppHarness& h) { AddNotepad(h, kReopened, L"other.txt - Notepad"); },
                   SaveOutcome::WaitingForProgram, 0},
        RefindCase{"its handle reused by another program's window",
                   [](AppHarness& h) {
                       fakes::FakeWindow& w = AddNotepad(h, kNotes, L"report - Other");
                       w.processId = 4242;
                       w.exists = true;
                   },
                   SaveOutcome::WaitingForProgram, 0}));

TEST_F(Refind, TheWaitIsToldAndTheFollowedWindowIsSelectedAndSavedFromThenOn) {
    h.NextCycle();
    EXPECT_EQ(h.Tip(), L"自动保存：等待“notes.txt - Notepad”打开");
    EXPECT_EQ(h.tray.shown.icon, h.view.iconHandle) << "a closed document is not at risk";
    AddNotepad(h, kReopened, L"notes.txt - Notepad");
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kReopened].chosen, L"S");
    // The lists had not listed it: they were filled again, and its entry is selected.
    h.FillLists();
    EXPECT_EQ(h.view.ListText(Control::List2, h.view.ListIndex(Control::List1)), std::to_wstring(kReopened));
    EXPECT_EQ(h.app.Kept().Window().window, kReopened);
    // Its log line names it as it would be listed.
    EXPECT_EQ(h.system.files[L"C:\\Tools\\quillon.log"],
              "2024-03-05 14:07:09 notes.txt - Notepad \r\n2024-03-05 14:07:09 notes.txt - Notepad \r\n");
}

// The program chosen when saving is switched on is stored per user, with W functions.
TEST(RememberedProgram, IsStoredWhenSavingIsSwitchedOnWithoutItsMark) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    AddNotepad(h, kNotes, L"*日记.txt - Notepad");
    h.StartSaving(kNotes);
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, ProgramPath), kNotepadExe);
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, ProgramClass), L"Notepad");
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, ProgramTitle), L"日记.txt - Notepad");
    EXPECT_FALSE(h.registry.Get(fakes::kSettingsKey, "ProgramTitle")) << "never under HKEY_LOCAL_MACHINE";
}

TEST(RememberedProgram, AChoiceThatCannotBeStoredRemovesWhatWasStored) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    AddNotepad(h, kNotes, L"notes.txt - Notepad");
    AddNotepad(h, kReopened, L"admin.txt - Notepad").executable = L""; // its process may not be asked
    h.StartSaving(kNotes);
    ASSERT_EQ(h.userRegistry.Get(kKeyPath, ProgramPath), kNotepadExe);
    h.Select(kReopened);
    EXPECT_FALSE(h.userRegistry.Get(kKeyPath, ProgramPath)) << "the next start resumes nothing the user stopped saving";
}

struct TitleCase {
    const char* what;
    std::vector<std::wstring> titles; // the kept window's title at each cycle
    bool hidden;                      // the window is hidden meanwhile (it is closing)
    std::wstring kept;                // the document's title kept at the end
    friend void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.what; }
};

class KeptTitle : public ::testing::TestWithParam<TitleCase> {};

// Only a document renamed (a Save As) changes what is kept, and it is stored once; a window
// retitled while it closes, for a new empty document or all the time keeps the user's document,
// which is found again when it is opened in another window.
TEST_P(KeptTitle, ChangesOnlyWithADocumentRenamedAndTheDocumentIsFoundAgain) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    AddNotepad(h, kNotes, L"notes.txt - Notepad");
    h.desktop.Add(kUsers, L"mine.txt - Editor");
    h.StartSaving(kNotes);
    h.desktop.SetForeground(kUsers);
    const int writes = h.userRegistry.writes;
    for (const std::wstring& title : GetParam().titles) {
        h.desktop.windows[kNotes].title = title;
        h.desktop.windows[kNotes].visible = !GetParam().hidden;
        h.NextCycle();
    }
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, ProgramTitle), GetParam().kept);
    EXPECT_LE(h.userRegistry.writes - writes, 3) << "the three values, written at most once";
    h.desktop.Close(kNotes);
    AddNotepad(h, kReopened, GetParam().kept);
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kReopened].chosen, L"S");
}

INSTANTIATE_TEST_SUITE_P(
    Titles, KeptTitle,
    ::testing::Values(
        TitleCase{"hidden and retitled while it closes", {L"Untitled - Notepad", L"Untitled - Notepad"}, true,
                  L"notes.txt - Notepad"},
        TitleCase{"a new empty document in the window", {L"Untitled - Notepad", L"Untitled - Notepad"}, false,
                  L"notes.txt - Notepad"},
        TitleCase{"a title that changes all the time",
                  {L"a.txt - Notepad", L"b.txt - Notepad", L"c.txt - Notepad", L"d.txt - Notepad"}, false,
                  L"notes.txt - Notepad"},
        TitleCase{"saved under a new name", {L"renamed.txt - Notepad", L"renamed.txt - Notepad"}, false,
                  L"renamed.txt - Notepad"}));

class Restart : public ::testing::Test {
protected:
    void Remember(const std::wstring& title = L"notes.txt - Notepad") {
        h.userRegistry.Put(kKeyPath, ProgramPath, kNotepadExe);
        h.userRegistry.Put(kKeyPath, ProgramClass, L"Notepad");
        h.userRegistry.Put(kKeyPath, ProgramTitle, title);
    }
    void StartsWithWindows() {
        h.userRegistry.Put(kKeyPath, Resume, L"1");
        h.userRegistry.Put(kRunKeyPath, kRunValue, L"\"D:\\Old\\quillon.exe\"");
        h.registry.PutText(fakes::kSettingsKey, "TimerInterval", "3");
    }
    int Selected() const { return h.view.ListIndex(Control::List1); }
    std::wstring SelectedHandle() const {
        return Selected() < 0 ? L"" : h.view.ListText(Control::List2, Selected());
    }
    AppHarness h;
};

TEST_F(Restart, TheFirstFillThatListsTheRememberedProgramSelectsItAndSavingStaysOff) {
    Remember();
    h.desktop.Add(kUsers, L"mine.txt - Editor");
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(h.view.shows, 1);
    h.FillLists();
    EXPECT_EQ(Selected(), -1) << "not running yet";
    AddNotepad(h, kNotes, L"notes.txt - Notepad");
    h.app.OnClick(Control::Command1);
    h.FillLists();
    EXPECT_EQ(SelectedHandle(), std::to_wstring(kNotes));
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    // Two windows alike: none is guessed at.
    AppHarness twice;
    twice.userRegistry = h.userRegistry;
    AddNotepad(twice, kNotes, L"notes.txt - Notepad");
    AddNotepad(twice, kReopened, L"notes.txt - Notepad");
    ASSERT_EQ(twice.Load(), frmMain::LoadResult::Shown);
    twice.FillLists();
    EXPECT_EQ(twice.view.ListIndex(Control::List1), -1);
}

TEST_F(Restart, WithStartWithWindowsCheckedItGoesToTheTrayAndSavesTheProgramOnceItRuns) {
    Remember();
    StartsWithWindows();
    h.desktop.Add(kUsers, L"mine.txt - Editor");
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(h.view.shows, 0) << "straight into the tray";
    EXPECT_TRUE(h.tray.iconExists);
    EXPECT_EQ(h.view.Value(Control::optOn), 1);
    EXPECT_EQ(h.userRegistry.Get(kRunKeyPath, kRunValue), L"\"C:\\Tools\\quillon.exe\"") << "the path it runs from";
    EXPECT_EQ(h.Tip(), L"自动保存：等待“notes.txt - Notepad”打开");
    h.FillLists();
    h.desktop.SetForeground(kUsers);
    h.NextCycle();
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::WaitingForProgram);
    AddNotepad(h, kNotes, L"notes.txt - Notepad");
    h.NextCycle();
    EXPECT_EQ(h.desktop.windows[kNotes].chosen, L"S");
    h.FillLists();
    EXPECT_EQ(SelectedHandle(), std::to_wstring(kNotes)) << "and it is the selected entry";
}

// Whatever makes a window the kept one makes it the watched one: a program still loading when
// Quillon resumes, found by the first fill, is saved again after each visit of the user's.
TEST_F(Restart, AProgramFoundByTheFirstFillAfterAResumeIsWatchedAndSavedAfterEachVisit) {
    Remember();
    StartsWithWindows();
    h.desktop.Add(kUsers, L"mine.txt - Editor");
    AddNotepad(h, kNotes, L""); // its window not titled yet
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    h.desktop.windows[kNotes].title = L"notes.txt - Notepad";
    h.FillLists();
    ASSERT_EQ(SelectedHandle(), std::to_wstring(kNotes));
    h.desktop.SetForeground(kUsers);
    for (int cycle = 0; cycle < 3; ++cycle) {
        h.NextCycle();
        EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::Saved) << cycle;
        h.app.OnWindowActivity(kNotes); // the user works in it a moment
        h.desktop.SetForeground(kUsers);
    }
}

TEST_F(Restart, TheTrayEntryAddsAndRemovesTheRunValueAndShowsWhatTheRegistryHolds) {
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    const auto choose = [&] {
        h.shell.menuChoice = 78;
        h.app.Form_MouseMove({1, 0x205, true, 0, 0});
        return h.shell.menus.back()[5].checked;
    };
    EXPECT_FALSE(choose());
    EXPECT_EQ(h.userRegistry.Get(kRunKeyPath, kRunValue), L"\"C:\\Tools\\quillon.exe\"");
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, Resume), L"1");
    EXPECT_TRUE(choose());
    EXPECT_FALSE(h.userRegistry.Get(kRunKeyPath, kRunValue));
    EXPECT_EQ(h.userRegistry.Get(kKeyPath, Resume), L"0");
    h.userRegistry.writesFail = true; // refused: the entry stays as the registry has it
    EXPECT_FALSE(choose());
    EXPECT_FALSE(choose());
}

TEST_F(Restart, ResumeNeedsTheRunValueTooAndANumberToCountDown) {
    Remember();
    StartsWithWindows();
    h.userRegistry.values.erase(fakes::FakeUserRegistry::Name(kRunKeyPath, kRunValue)); // removed elsewhere
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(h.view.shows, 1);
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    AppHarness noInterval;
    noInterval.userRegistry = h.userRegistry;
    noInterval.userRegistry.Put(kRunKeyPath, kRunValue, L"\"C:\\Tools\\quillon.exe\"");
    ASSERT_EQ(noInterval.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(noInterval.view.shows, 1) << "no stored interval: nothing to resume with";
    EXPECT_EQ(noInterval.view.Value(Control::optOn), 0);
    // Another copy (one unpacked from a zip) while the one the Run value starts is still there:
    // it neither resumes nor takes the value, and its tray entry says so.
    AppHarness another;
    another.userRegistry = h.userRegistry;
    another.registry = h.registry;
    another.userRegistry.Put(kRunKeyPath, kRunValue, L"\"D:\\Old\\quillon.exe\"");
    another.system.files[L"D:\\Old\\quillon.exe"] = "MZ";
    ASSERT_EQ(another.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(another.view.Value(Control::optOn), 0);
    EXPECT_EQ(another.userRegistry.Get(kRunKeyPath, kRunValue), L"\"D:\\Old\\quillon.exe\"");
    another.app.Form_MouseMove({1, 0x205, true, 0, 0});
    EXPECT_FALSE(another.shell.menus.back()[4].checked);
}

struct HostileCase {
    const char* what;
    std::wstring name;
    std::wstring text;
    std::uint32_t type;
    bool programKept = false; // the program is still remembered; only resuming is off
    friend void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }
};

class HostileValue : public Restart, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileValue, IsIgnoredWithoutAMessageAndQuillonStartsAsUsual) {
    Remember();
    StartsWithWindows();
    h.userRegistry.Put(kKeyPath, GetParam().name, GetParam().text, GetParam().type);
    AddNotepad(h, kNotes, L"notes.txt - Notepad");
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    EXPECT_EQ(h.view.shows, 1);
    EXPECT_EQ(h.view.Value(Control::optOn), 0);
    EXPECT_TRUE(h.shell.messages.empty());
    h.FillLists();
    EXPECT_EQ(Selected(), GetParam().programKept ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, HostileValue,
    ::testing::Values(HostileCase{"no program file", ProgramPath, L"", reg::RegSz},
                      HostileCase{"a relative path", ProgramPath, L"notepad.exe", reg::RegSz},
                      HostileCase{"a number", ProgramPath, L"", reg::RegDword},
                      HostileCase{"a path too long", ProgramPath, L"C:\\" + std::wstring(33000, L'a'), reg::RegSz},
                      HostileCase{"a line break in the path", ProgramPath, L"C:\\a\r\nb.exe", reg::RegSz},
                      HostileCase{"no class", ProgramClass, L"", reg::RegSz},
                      HostileCase{"a title too long", ProgramTitle, std::wstring(300, L't'), reg::RegSz},
                      HostileCase{"a resume flag Quillon never writes", Resume, L"yes", reg::RegSz, true}));

} // namespace
} // namespace quillon
