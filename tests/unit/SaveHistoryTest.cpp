// The history kept of the user's work with Quillon hidden in the tray: the file as it was before
// each save, whichever way the save is made, the save counted only once the file shows it; and the
// text of a document never saved, kept without a key or the front taken.
#include "scheduler/History.h"
#include "windows/TitleMarks.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace quillon {
namespace {

using fakes::AppHarness;

constexpr WindowHandle kListed = 200, kUsers = 300, kText = 500;

// A window saved one way, opened over kFile; known: whether that file is known for certain.
struct WayCase {
    const char* what;
    std::function<void(AppHarness&, bool leavesFile)> open;
    bool known = true;
    friend void PrintTo(const WayCase& c, std::ostream* os) { *os << c.what; }
};
constexpr wchar_t kFile[] = L"C:\\docs\\a - b.txt";

void OpenEditor(AppHarness& h, const wchar_t* title, const wchar_t* windowClass, bool leavesFile) {
    fakes::FakeWindow& w = h.desktop.Add(kListed, title);
    w.className = windowClass;
    w.file = kFile;
    w.saveLeavesFile = leavesFile;
    w.menu.kind = fakes::FakeMenu::Kind::None;
    w.menu.titleAfterSave = SplitUnsavedMark(title).title;
}

void OpenWord(AppHarness& h, const wchar_t* fullName, bool leavesFile) {
    h.desktop.Add(kListed, L"a - b.txt - Word");
    fakes::FakeDocument& doc = h.documents.documents[h.desktop.MakeDocumentProgram(kListed, DocumentProgram::Word)];
    doc.state = {false, false, true, false, false, fullName};
    doc.saveLeavesFile = leavesFile;
}

class VersionBeforeTheSave : public ::testing::TestWithParam<std::tuple<WayCase, bool>> {};

TEST_P(VersionBeforeTheSave, IsKeptAndTheSaveCountsOnceTheFileShowsIt) {
    const auto& [way, written] = GetParam();
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    way.open(h, !written);
    h.documents.files[kFile] = {};
    h.desktop.Add(kUsers, L"mine.txt - Notepad");
    h.app.OnClick(Control::chkSave);
    h.StartSaving(kListed);
    h.desktop.SetForeground(kUsers);
    h.NextCycle(6000);
    const std::wstring version = h.system.history + L"\\" + history::VersionFolder(kFile) + L"\\" +
                                 history::VersionName(kFile, h.system.localNow);
    EXPECT_EQ(h.documents.copies, way.known ? std::vector<std::wstring>{version} : std::vector<std::wstring>{});
    EXPECT_EQ(h.documents.files[kFile].keptWrite, way.known ? 1u : 0u) << "the file as it was before the save";
    const bool counted = written || !way.known;
    EXPECT_EQ(h.app.Cycle().LastOutcome(), counted ? SaveOutcome::Saved : SaveOutcome::FileNotWritten);
    EXPECT_EQ(h.system.files[L"C:\\Tools\\quillon.log"].empty(), !counted);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, VersionBeforeTheSave,
    ::testing::Combine(
        ::testing::Values(
            WayCase{"the document's Save", [](AppHarness& h, bool leaves) { OpenWord(h, kFile, leaves); }},
            WayCase{"Ctrl+S, the path in the title",
                    [](AppHarness& h, bool leaves) {
                        OpenEditor(h, L"*C:\\docs\\a - b.txt - Editor", L"Editor", leaves);
                    }},
            WayCase{"the program's message",
                    [](AppHarness& h, bool leaves) {
                        OpenEditor(h, L"*C:\\docs\\a - b.txt - Notepad++", L"Notepad++", leaves);
                        h.desktop.windows[kListed].savesOnMessage = true;
                    }},
            WayCase{"the File menu, the file on the command line",
                    [](AppHarness& h, bool leaves) {
                        OpenEditor(h, L"a - b.txt - Notepad", L"Notepad", leaves);
                        h.desktop.windows[kListed].menu.kind = fakes::FakeMenu::Kind::FileMenu;
                        h.desktop.windows[kListed].commandLine = L"notepad.exe \"C:\\docs\\a - b.txt\"";
                    }},
            WayCase{"a document opened from the web",
                    [](AppHarness& h, bool leaves) { OpenWord(h, L"https://d.docs.live.net/1a2b/a - b.txt", leaves); },
                    false}),
        ::testing::Bool()));

// A new notepad's text is kept whenever it changed, the notepad left alone; a file without an
// extension is no new document, and is saved as before.
TEST(UnsavedText, IsKeptWheneverItChangedWithoutAKeyOrTheFront) {
    AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    h.desktop.Add(kListed, L"*Untitled - Notepad").className = L"Notepad";
    h.desktop.children[{kListed, L"Edit"}] = kText;
    h.documents.texts[kText] = L"第一行";
    h.desktop.Add(kUsers, L"mine.txt - Notepad");
    h.app.OnClick(Control::chkSave);
    h.StartSaving(kListed);
    h.desktop.SetForeground(kUsers);
    h.desktop.calls.clear();
    for (const wchar_t* added : {L"", L"", L" 更多"}) {
        h.documents.texts[kText] += added;
        h.NextCycle();
    }
    EXPECT_EQ(h.documents.copies.size(), 2u) << "the unchanged text is not kept again";
    EXPECT_EQ(h.app.Cycle().LastOutcome(), SaveOutcome::CopyKept);
    EXPECT_EQ(h.Tip(), L"自动保存：已在历史版本中保留未命名文档的副本（2024-03-05 14:07:09）");
    EXPECT_EQ(h.desktop.CountOf("SetForegroundWindow"), 0);
    EXPECT_TRUE(h.input.batches.empty()) << "no key reached it";
    EXPECT_TRUE(h.system.files[L"C:\\Tools\\quillon.log"].empty()) << "the log lists saves";
    h.desktop.windows[kListed].title = L"README - Notepad";
    h.NextCycle(3000);
    EXPECT_EQ(h.desktop.windows[kListed].chosen, L"S");
}

} // namespace
} // namespace quillon
