// Word and Excel saved through their own documents, with Quillon hidden in the tray and the user
// working in another program: no key, no front taken, a Save only when the document holds changes.
#include "scheduler/DocumentSave.h"
#include "scheduler/DocumentPrograms.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace quillon {
namespace {

using fakes::AppHarness;
using fakes::FakeDocument;

constexpr WindowHandle kOffice = 200, kNotepad = 300;
constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();

class DocumentRoute : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
        h.desktop.Add(kOffice, L"report.docx - Word");
        document = h.desktop.MakeDocumentProgram(kOffice, DocumentProgram::Word);
        h.desktop.Add(kNotepad, L"notes.txt - Notepad").className = L"Notepad";
    }
    // Saving on for the Word window, the user typing in notepad.
    void StartSaving() {
        h.app.OnClick(Control::chkSave);
        h.StartSaving(kOffice);
        h.desktop.SetForeground(kNotepad);
        h.desktop.calls.clear();
    }
    FakeDocument& Doc() { return h.documents.documents[document]; }
    fakes::FakeApplication& App() { return h.documents.App(h.desktop.ProcessIdOf(kOffice)); }
    std::string Log() { return h.system.files[L"C:\\Tools\\quillon.log"]; }
    // The user types in the window in front right up to the next cycle's read of the document,
    // and for `ms` after it.
    void TypeThroughTheCycle(int ms) {
        const int reads = h.documents.CountOf(DocumentRequest::Read);
        for (int tick = 0; tick < 100 && h.documents.CountOf(DocumentRequest::Read) == reads; ++tick) {
            h.clock.Advance(1000);
            h.input.UserInput();
            h.app.OnTimer(Timer::tmrLoop);
            h.RunDelivery(10);
        }
        KeepTyping(ms);
    }
    void KeepTyping(int ms) {
        for (int t = 0; t < ms; t += 100) {
            h.input.UserInput();
            h.RunDelivery(100);
        }
    }
    bool FrontTaken() const { return h.desktop.CountOf("SetForegroundWindow", kOffice) > 0; }

    AppHarness h;
    WindowHandle document = 0;
};

struct RouteCase {
    const char* what;
    std::function<void(FakeDocument&, std::uint64_t now)> arrange;
    SaveOutcome outcome;
    int documentSaves; // Save() calls the document took
    bool keys;         // the cycle went the keys' way: Alt+F typed, the front taken
    int saveCalls = -1; // Save() calls made, where it matters
    friend void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.what; }
};

class DocumentRouteCase : public DocumentRoute, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(DocumentRouteCase, EndsAsTheDocumentSaysAndTakesTheFrontOnlyForTheKeys) {
    const RouteCase& c = GetParam();
    c.arrange(Doc(), h.clock.now);
    StartSaving();
    h.NextCycle(8000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), c.outcome);
    EXPECT_EQ(Doc().saves, c.documentSaves);
    EXPECT_EQ(FrontTaken(), c.keys);
    EXPECT_EQ(h.input.batches.empty(), !c.keys) << "no key without the keys' way";
    EXPECT_EQ(h.desktop.windows[kOffice].chosen, c.keys ? L"S" : L"");
    // A save, either way, is logged once; nothing else is.
    EXPECT_EQ(Log().empty(), c.outcome != SaveOutcome::Saved);
    EXPECT_TRUE(h.input.down.empty());
    EXPECT_FALSE(h.app.Cycle().Busy());
    if (c.saveCalls >= 0) {
        EXPECT_EQ(h.documents.CountOf(DocumentRequest::Save), c.saveCalls);
    }
    EXPECT_EQ(App().alerts, App().userAlerts) << "the user's alerts are theirs again";
}

void Unsaved(FakeDocument& d, std::uint64_t = 0) {
    d.state.saved = false;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentRouteCase,
    ::testing::Values(
        RouteCase{"changed", Unsaved, SaveOutcome::Saved, 1, false},
        RouteCase{"unchanged", [](FakeDocument& d, std::uint64_t) { d.state.saved = true; },
                  SaveOutcome::NothingToSave, 0, false},
        // Its Save would ask for a name: a copy is kept, or, where it gives none, its File menu asks.
        RouteCase{"never saved",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.state.hasPath = false;
                  },
                  SaveOutcome::CopyKept, 0, false, 0},
        RouteCase{"never saved, and it gives no copy",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.state.hasPath = false;
                      d.copyRefused = true;
                  },
                  SaveOutcome::Saved, 0, true, 0},
        RouteCase{"read-only",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.state.readOnly = true;
                  },
                  SaveOutcome::ReadOnly, 0, false},
        RouteCase{"in Protected View", [](FakeDocument& d, std::uint64_t) { d.state = {true, true, false, false, false, {}}; },
                  SaveOutcome::ProtectedView, 0, false},
        RouteCase{"saved continuously by its program",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.state.savesItself = true;
                  },
                  SaveOutcome::SavesItself, 0, false},
        RouteCase{"busy, then free within the cycle",
                  [](FakeDocument& d, std::uint64_t now) {
                      d.state.saved = false;
                      d.busyUntil = now + 5000; // the cycle starts 4 s from now
                  },
                  SaveOutcome::Saved, 1, false},
        RouteCase{"busy while a cell is edited, all cycle long",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.busyUntil = kForever;
                      d.busyFailure = 0x800A03ECu;
                  },
                  SaveOutcome::NotResponding, 0, false},
        RouteCase{"gone in the middle of its Save",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.goneAfterSave = true;
                  },
                  SaveOutcome::NoTarget, 0, false},
        RouteCase{"hung", [](FakeDocument& d, std::uint64_t) { d.hangsUntil = kForever; },
                  SaveOutcome::NotResponding, 0, false},
        RouteCase{"Save leaves it unsaved",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.saveLeavesChanges = true;
                  },
                  SaveOutcome::NotSavedByProgram, 1, false},
        // What the interface does not promise is no object: the keys' way with all its checks.
        RouteCase{"no object", [](FakeDocument& d, std::uint64_t) { d.noObject = true; }, SaveOutcome::Saved, 0,
                  true},
        RouteCase{"an answer of the wrong type", [](FakeDocument& d, std::uint64_t) { d.unexpected = true; },
                  SaveOutcome::Saved, 0, true},
        RouteCase{"an exception from Save",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.saveFailure = 0x80020009u; // DISP_E_EXCEPTION
                  },
                  SaveOutcome::Saved, 0, true},
        // Excel's generic error from its Save is a failure, not "busy": it is not made again.
        RouteCase{"Excel's run-time error from Save",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.saveFailure = 0x800A03ECu;
                  },
                  SaveOutcome::NotSavedByProgram, 0, false, 1},
        RouteCase{"its Save made, the read after it refused",
                  [](FakeDocument& d, std::uint64_t) {
                      d.state.saved = false;
                      d.rereadFailure = 0x80010001u;
                  },
                  SaveOutcome::Saved, 1, false, 1}));

TEST_F(DocumentRoute, ExcelIsReachedThroughItsWorkbookWindowAndTheTipSaysThereWasNothingNew) {
    h.desktop.windows[kOffice].title = L"budget.xlsx - Excel";
    document = h.desktop.MakeDocumentProgram(kOffice, DocumentProgram::Excel);
    Unsaved(Doc(), 0);
    StartSaving();
    h.system.dateTime = L"2024-03-05 14:07:09";
    h.NextCycle();
    ASSERT_FALSE(h.documents.calls.empty());
    EXPECT_EQ(h.documents.calls.front().request, DocumentRequest::Read);
    EXPECT_EQ(h.documents.calls.front().target.program, DocumentProgram::Excel);
    EXPECT_EQ(h.documents.calls.front().target.documentWindow, document);
    EXPECT_EQ(h.Tip(), L"自动保存：上次保存于 2024-03-05 14:07:09");
    h.system.dateTime = L"2024-03-05 14:07:13";
    h.NextCycle();
    EXPECT_EQ(h.Tip(), L"自动保存：没有新的更改（上次保存于 2024-03-05 14:07:09）");
    EXPECT_EQ(Doc().saves, 1);
    EXPECT_EQ(h.tray.shown.icon, h.view.iconHandle) << "nothing to save is no failure";
}

TEST_F(DocumentRoute, SaveAsEveryCycleGoesTheKeysWay) {
    h.app.OnClick(Control::chkSaveAs);
    Unsaved(Doc(), 0);
    StartSaving();
    h.NextCycle();
    EXPECT_TRUE(h.documents.calls.empty());
    EXPECT_EQ(h.desktop.windows[kOffice].chosen, L"A");
}

TEST(DocumentRouteCurrent, TheWindowInFrontIsSavedThroughItsDocumentInTheCurrentRows) {
    AppHarness h;
    h.registry.PutText(fakes::kSettingsKey, "Current", "1");
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    h.desktop.Add(kOffice, L"report.docx - Word");
    const WindowHandle doc = h.desktop.MakeDocumentProgram(kOffice, DocumentProgram::Word);
    h.documents.documents[doc].state.saved = false;
    h.StartSaving(kOffice);
    h.desktop.SetForeground(kOffice);
    h.NextCycle();
    EXPECT_EQ(h.documents.documents[doc].saves, 1);
    EXPECT_TRUE(h.input.batches.empty());
}

// The Save waits for the user's pause only while they work in that very program.
TEST_F(DocumentRoute, WaitsForThePauseOnlyWhileTheUserWorksInTheProgram) {
    Unsaved(Doc(), 0);
    StartSaving();
    h.desktop.SetForeground(kOffice);
    TypeThroughTheCycle(1000); // in Word
    EXPECT_EQ(Doc().saves, 0) << "no Save while the user types in it";
    EXPECT_EQ(h.documents.CountOf(DocumentRequest::Read), 1) << "reading it is harmless";
    h.RunDelivery(1600);
    EXPECT_EQ(Doc().saves, 1) << "the pause came";

    // Typing in notepad, right up to the cycle and all through it, is no reason to wait.
    Unsaved(Doc(), 0);
    h.desktop.SetForeground(kNotepad);
    TypeThroughTheCycle(300);
    EXPECT_EQ(Doc().saves, 2);

    // A Save the program refused is asked again only once the user, gone to it meanwhile, pauses.
    Unsaved(Doc(), 0);
    Doc().saveFailure = 0x80010001u;
    TypeThroughTheCycle(300);
    ASSERT_GE(h.documents.CountOf(DocumentRequest::Save), 3);
    Doc().saveFailure = 0;
    h.desktop.SetForeground(kOffice);
    KeepTyping(1000);
    EXPECT_EQ(Doc().saves, 2) << "no Save, first or retried, while the user types in it";
    h.RunDelivery(1600);
    EXPECT_EQ(Doc().saves, 3);
}

// The user's alerts: a put-back the program refused is asked again until it takes it, also with
// saving off, and Quillon's "none" is never taken for the user's own meanwhile.
TEST_F(DocumentRoute, TheUsersAlertsArePutBackUntilTheProgramTakesThemAndAreNeverTakenForOff) {
    Unsaved(Doc());
    App().putBackRefusals = 1000;
    StartSaving();
    h.NextCycle();
    EXPECT_EQ(Doc().saves, 1);
    EXPECT_NE(App().alerts, App().userAlerts) << "the program refuses to take them back";
    Unsaved(Doc());
    h.NextCycle(); // saved again while the put-back is pending: the fake fails a "none" read as the user's
    EXPECT_EQ(Doc().saves, 2);
    h.app.OnClick(Control::optOff);
    const int restores = h.documents.CountOf(DocumentRequest::RestoreAlerts);
    App().putBackRefusals = 0;
    h.RunDelivery(2 * AlertsOwed::kRetryMs);
    EXPECT_GT(h.documents.CountOf(DocumentRequest::RestoreAlerts), restores);
    EXPECT_EQ(App().alerts, App().userAlerts);
    EXPECT_FALSE(h.view.TimerRunning(Timer::tmrDocument)) << "nothing left to do";
}

// The alerts a program refused to take back are owed to that program and application, whatever
// happens to the window they were saved through: each case ends with every application's alerts
// the user's own again.
struct OwedCase {
    const char* what;
    std::function<void(AppHarness&)> meanwhile; // after a Save whose put-back was refused
    friend void PrintTo(const OwedCase& c, std::ostream* os) { *os << c.what; }
};
class AlertsOwedToTheProgram : public DocumentRoute, public ::testing::WithParamInterface<OwedCase> {};

constexpr WindowHandle kMemo = 400;
constexpr std::uint32_t kWord = 7000;
void ChooseMemo(AppHarness& h) {
    h.app.OnClick(Control::Command1);
    h.FillLists();
    h.Select(kMemo);
}
// Another Word window of `process`, holding changes, whose put-back is refused `refusals` times;
// `choose`: the user chooses it.
void OpenMemo(AppHarness& h, std::uint32_t process, bool choose = true, int refusals = 1) {
    h.desktop.Add(kMemo, L"memo.docx - Word").processId = process;
    h.documents.documents[h.desktop.MakeDocumentProgram(kMemo, DocumentProgram::Word)].state.saved = false;
    h.documents.App(process).putBackRefusals = refusals;
    if (choose)
        ChooseMemo(h);
}

TEST_P(AlertsOwedToTheProgram, UntilTheProgramTakesThemBack) {
    h.desktop.windows[kOffice].processId = kWord;
    Unsaved(Doc());
    App().putBackRefusals = 1;
    StartSaving();
    GetParam().meanwhile(h);
    h.RunDelivery(12000);
    for (const auto& [owner, app] : h.documents.applications)
        EXPECT_EQ(app.alerts, app.userAlerts) << "process " << owner.first << ", application " << int(owner.second);
}

INSTANTIATE_TEST_SUITE_P(
    Owed, AlertsOwedToTheProgram,
    ::testing::Values(
        OwedCase{"its window closes while the program runs on with another",
                 [](AppHarness& h) {
                     OpenMemo(h, kWord, false);
                     h.NextCycle(300);
                     h.desktop.Close(kOffice);
                 }},
        OwedCase{"a second program refuses too",
                 [](AppHarness& h) {
                     h.NextCycle(300);
                     OpenMemo(h, kWord + 1);
                     h.NextCycle(300);
                 }},
        OwedCase{"another program is chosen while its Save is under way",
                 [](AppHarness& h) {
                     h.documents.documents[kOffice + 1].saveTakesMs = 6000;
                     h.NextCycle(500);
                     OpenMemo(h, kWord + 1);
                 }},
        OwedCase{"Quillon ends",
                 [](AppHarness& h) {
                     h.documents.App(kWord).putBackRefusals = 1000;
                     h.NextCycle(300);
                     OpenMemo(h, kWord + 1, true, 1000);
                     h.NextCycle(300);
                     h.documents.App(kWord).putBackRefusals = h.documents.App(kWord + 1).putBackRefusals = 0;
                     h.app.Form_EndSession();
                     h.documents.App(kWord).putBackRefusals = h.documents.App(kWord + 1).putBackRefusals = 1000;
                 }},
        // Integrated WPS: the window shows a Writer document after a workbook's Save.
        OwedCase{"the window's next document belongs to another of its applications",
                 [](AppHarness& h) {
                     h.desktop.Add(kMemo, L"book.et - WPS Office").className = L"KPromeMainWindow";
                     h.desktop.windows[kMemo].processId = kWord + 1;
                     fakes::FakeDocument& tab = h.documents.documents[kMemo];
                     tab.state.saved = false;
                     tab.application = 1;
                     h.documents.App(kWord + 1, 1) = {{11, -1}, {11, -1}, 1};
                     ChooseMemo(h);
                     h.NextCycle(300);
                     tab.application = 0;
                     tab.state.saved = false;
                     h.NextCycle(300);
                 }}));

TEST_F(DocumentRoute, QuillonEndingAsksOnceMoreForTheUsersAlerts) {
    Unsaved(Doc());
    App().putBackRefusals = 1;
    StartSaving();
    h.NextCycle(300);
    ASSERT_EQ(Doc().saves, 1);
    ASSERT_NE(App().alerts, App().userAlerts);
    h.app.Form_EndSession();
    EXPECT_EQ(App().alerts, App().userAlerts);
}

// A document the route hands to the keys is left alone, as any window is, once its File menu did
// not open, until the user works in it again.
TEST_F(DocumentRoute, AWindowHandedToTheKeysIsLeftAloneAfterTheyCouldNotSaveIt) {
    Doc().state = {false, false, false, false, false, {}}; // never saved, holding changes, and no copy given
    Doc().copyRefused = true;
    h.desktop.windows[kOffice].menu.opens = false;
    StartSaving();
    h.NextCycle(3000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::MenuNotOpened);
    h.desktop.calls.clear();
    h.NextCycle(3000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::WaitingForUse);
    EXPECT_FALSE(FrontTaken());
}

TEST_F(DocumentRoute, AProgramShowingADialogAllCycleLongIsSaidToDoSo) {
    Unsaved(Doc());
    h.desktop.windows[kOffice].enabled = false;
    StartSaving();
    h.NextCycle(4000);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::Occupied);
    EXPECT_TRUE(h.documents.calls.empty());
}

// A program the system takes for hung is not asked. A call stuck in one that it does not (yet)
// costs that cycle and keeps its worker; no later call, to it or another program, waits for it.
TEST_F(DocumentRoute, AHungProgramIsNotAskedAndAStuckCallKeepsNoOtherProgramFromBeingAsked) {
    Unsaved(Doc());
    h.desktop.windows[kOffice].answers = false;
    StartSaving();
    h.NextCycle();
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::NotResponding);
    EXPECT_TRUE(h.documents.calls.empty()) << "a hung program is not asked";
    EXPECT_EQ(h.Tip(), L"自动保存：未能保存，程序没有响应");

    h.desktop.windows[kOffice].answers = true;
    Doc().hangsUntil = h.clock.now + 60000;
    h.NextCycle(DocumentSave::kCallWaitMs - 100);
    EXPECT_TRUE(h.app.Cycle().Busy()) << "a call is given a few seconds";
    h.RunDelivery(200);
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::NotResponding);

    constexpr WindowHandle kMemo = 400;
    h.desktop.Add(kMemo, L"memo.docx - Word");
    const WindowHandle memo = h.desktop.MakeDocumentProgram(kMemo, DocumentProgram::Word);
    h.documents.documents[memo].state.saved = false;
    h.app.OnClick(Control::Command1);
    h.FillLists();
    h.Select(kMemo);
    h.NextCycle();
    EXPECT_EQ(h.documents.documents[memo].saves, 1) << "asked on another worker and saved";
    EXPECT_EQ(Doc().saves, 0);
    EXPECT_TRUE(h.input.batches.empty());
}

TEST_F(DocumentRoute, SwitchingOffEndsARouteThatHasNotSavedYet) {
    Unsaved(Doc(), 0);
    Doc().busyUntil = kForever;
    StartSaving();
    h.NextCycle(500);
    EXPECT_TRUE(h.app.Cycle().Busy());
    h.app.OnClick(Control::optOff);
    EXPECT_FALSE(h.app.Cycle().Busy());
    EXPECT_FALSE(h.view.TimerOf(Timer::tmrDocument).enabled);
    EXPECT_EQ(Doc().saves, 0);
}

TEST(DocumentReplies, BusyGoneAndEverythingElseTheInterfaceDoesNotPromise) {
    const auto reply = [](auto set) {
        DocumentReply r;
        set(r);
        return r;
    };
    const auto failing = [&](std::uint32_t code) { return reply([&](DocumentReply& r) { r.failure = code; }); };
    for (std::uint32_t busy : {0x80010001u, 0x8001010Au, 0x800AC472u, 0x800A03ECu})
        EXPECT_EQ(ClassifyReply(failing(busy)), DocumentAnswer::Busy) << std::hex << busy;
    for (std::uint32_t gone : {0x800706BAu, 0x800706BEu, 0x800706B5u, 0x80010108u})
        EXPECT_EQ(ClassifyReply(failing(gone)), DocumentAnswer::Gone) << std::hex << gone;
    for (std::uint32_t other : {0x80004005u, 0x80020009u, 0x80070005u})
        EXPECT_EQ(ClassifyReply(failing(other)), DocumentAnswer::NoObject) << std::hex << other;
    EXPECT_EQ(ClassifyReply(reply([](DocumentReply& r) { r.noObject = true; })), DocumentAnswer::NoObject);
    EXPECT_EQ(ClassifyReply(reply([](DocumentReply& r) { r.unexpected = true; })), DocumentAnswer::NoObject);
    EXPECT_EQ(ClassifyReply({}), DocumentAnswer::Answered);
}

// Which program a window is (WPS shares Word's classes; an office Quillon would start is none),
// what PowerPoint's MsoTriState does not promise, and which of a program's documents its window shows.
TEST(DocumentPrograms, TellTheProgramTheFlagsAndTheDocumentTheWindowShows) {
    const auto program = [](const wchar_t* cls, const wchar_t* exe) {
        const DocumentProgramInfo* info = FindDocumentProgram(cls, exe);
        return info ? std::optional(info->program) : std::nullopt;
    };
    EXPECT_EQ(program(L"OpusApp", L"C:\\WPS\\office6\\WPS.EXE"), DocumentProgram::WpsWriter) << "not Word";
    EXPECT_EQ(program(L"SALFRAME", L"C:\\Tools\\other.exe"), std::nullopt);
    for (const auto& [type, value] : {std::pair{3, 1}, {3, -2}, {11, -1}, {8, 0}})
        EXPECT_EQ(DecodeFlag(FlagType::TriState, static_cast<std::uint16_t>(type), value), std::nullopt);
    const std::vector<OpenDocument> two{{L"a.docx", L"C:\\d\\a.docx", 7, false}, {L"b.docx", L"C:\\d\\b.docx", 7, true},
                                        {L"a.docx", L"C:\\e\\a.docx", 0, false}};
    EXPECT_EQ(MatchShownDocument(7, L"b.docx - WPS Writer", false, two), 1u) << "of two in its window, by title";
    EXPECT_EQ(MatchShownDocument(9, L"*b - WPS Writer", false, two), 1u) << "by title, its extension hidden";
    EXPECT_EQ(MatchShownDocument(9, L"a.docx - WPS Writer", false, two), std::nullopt) << "several of that name";
    EXPECT_EQ(MatchShownDocument(9, L"c.docx - WPS Writer", false, two), std::nullopt) << "none";
    const std::vector<OpenDocument> tabs{{L"a.docx", L"C:\\d\\a.docx", 0, false}, {L"a.docx", L"C:\\e\\a.docx", 0, true}};
    EXPECT_EQ(MatchShownDocument(9, L"a.docx - WPS Office", true, tabs), 1u) << "tabs: the active one";
}

} // namespace
} // namespace quillon
