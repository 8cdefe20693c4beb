#include "scheduler/ActivityLog.h"

#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using fakes::AppHarness;

struct PathCase {
    const wchar_t* folder;
    const wchar_t* path;
};

class LogPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(LogPathTest, PutsExactlyOneBackslashBeforeTheFileName) {
    EXPECT_EQ(LogPath(GetParam().folder), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Folders, LogPathTest,
                         ::testing::Values(PathCase{L"C:\\Tools", L"C:\\Tools\\quillon.log"},
                                           PathCase{L"C:\\Tools\\", L"C:\\Tools\\quillon.log"},
                                           PathCase{L"D:\\", L"D:\\quillon.log"},
                                           PathCase{L"\\\\server\\share",
                                                    L"\\\\server\\share\\quillon.log"}));

TEST(LogLineTest, IsTheDateASpaceTheEntryAndCrLf) {
    EXPECT_EQ(LogLine(L"2024-03-05 14:07:09", L"Notes - Editor "),
              L"2024-03-05 14:07:09 Notes - Editor \r\n");
    EXPECT_EQ(LogLine(L"2024-03-05 14:07:09", L""), L"2024-03-05 14:07:09 \r\n");
}

// A title can neither split a line nor forge one: its line breaks are written as spaces.
TEST(LogLineTest, ATitleWithALineBreakAndAForgedDateStaysOnOneLine) {
    EXPECT_EQ(LogLine(L"2026/1/2 3:04:05", L"a\r\n2026/1/1 0:00:00 b"), L"2026/1/2 3:04:05 a  2026/1/1 0:00:00 b\r\n");
}

TEST(LogLineTest, EveryLineBreakOfTheTitleBecomesASpace) {
    const std::wstring breaks = L"\r\n\v\f\x85\u2028\u2029";
    EXPECT_EQ(LogLine(L"D", L"<" + breaks + L">"), L"D <" + std::wstring(breaks.size(), L' ') + L">\r\n");
}

TEST(LogLineTest, OtherCharactersOfTheTitleAreKept) {
    // A tab and the other control characters that end no line, the neighbours of the line
    // breaks, a tab-like ideographic space, Chinese text and a lone surrogate are all written as
    // they are.
    const std::wstring title = std::wstring(L"a\tb\x01\x1B\x7F\x84\x86\x9F") +
                               L" ~\u00A0\u00FF\u2027\u202A\u3000岚舟\xD800 " + std::wstring(1, L'\0');
    EXPECT_EQ(LogLine(L"D", title), L"D " + title + L"\r\n");
}

TEST(LogLineTest, AWrittenLineEndsWithItsOnlyLineBreak) {
    fakes::FakeClock clock;
    fakes::FakeSystem system{clock};
    ActivityLog log{system};
    system.dateTime = L"2026/1/2 3:04:05";
    ASSERT_TRUE(log.Write(L"x\n\u2028\ry "));
    EXPECT_EQ(system.files[L"C:\\Tools\\quillon.log"], fakes::Utf8(L"2026/1/2 3:04:05 x   y \r\n"));
}

class ActivityLogTest : public ::testing::Test {
protected:
    fakes::FakeClock clock;
    fakes::FakeSystem system{clock};
    ActivityLog log{system};
};

TEST_F(ActivityLogTest, LinesAreAppendedInOrderAsAnsiText) {
    system.folder = L"D:\\";
    EXPECT_TRUE(log.Write(L"记事本 "));
    system.dateTime = L"2024-03-05 14:08:00";
    EXPECT_TRUE(log.Write(L"Word "));
    EXPECT_EQ(system.files.at(L"D:\\quillon.log"),
              fakes::Utf8(L"2024-03-05 14:07:09 记事本 \r\n2024-03-05 14:08:00 Word \r\n"));
}

TEST_F(ActivityLogTest, ClearDeletesTheFileAndTheNextLineStartsItAnew) {
    log.Write(L"A ");
    log.Clear();
    EXPECT_TRUE(system.files.empty());
    log.Write(L"B ");
    EXPECT_EQ(system.files.at(L"C:\\Tools\\quillon.log"), "2024-03-05 14:07:09 B \r\n");
}

TEST_F(ActivityLogTest, ClearWithoutALogFileIsHarmless) {
    log.Clear();
    EXPECT_EQ(system.removeCalls, 1);
    EXPECT_TRUE(system.files.empty());
}

TEST_F(ActivityLogTest, AFailedWriteReportsFalse) {
    system.writesFail = true;
    EXPECT_FALSE(log.Write(L"A "));
    EXPECT_TRUE(system.files.empty());
}

// The save path end to end: the countdown runs out, the delivery types, the log records it.
class SavePath : public ::testing::Test {
protected:
    void SetUp() override {
        h.desktop.Add(100, L"Notes - Editor");
        h.view.SetValue(Control::chkVisible, 0);
        h.app.OnClick(Control::Command1);
        h.FillLists();
        ASSERT_EQ(h.view.ListItems(Control::List1).front(), L"Notes - Editor ");
        h.view.SetListIndex(Control::List1, 0);
        h.view.SetText(Control::cboTime, L"秒");
        h.view.SetText(Control::txtInterval, L"2");
        h.app.OnClick(Control::cmdSet);
        h.view.SetValue(Control::chkSave, 1);
        h.app.OnClick(Control::optOn);
        h.desktop.SetForeground(h.view.handle);
    }
    void TicksUntilSave() {
        for (int i = 0; i < 3; ++i)
            h.app.OnTimer(Timer::tmrLoop);
    }
    std::string Log() const {
        const auto it = h.system.files.find(L"C:\\Tools\\quillon.log");
        return it == h.system.files.end() ? "" : it->second;
    }

    AppHarness h;
};

TEST_F(SavePath, ASaveTheProgramTookIsLoggedWithTheSelectedEntry) {
    TicksUntilSave();
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"2");
    EXPECT_EQ(Log(), "") << "nothing is logged before the program took the keys";
    h.RunDelivery(500);
    EXPECT_EQ(h.desktop.windows[100].chosen, L"S");
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n");
}

TEST_F(SavePath, WithChkSaveUncheckedTheSaveIsTypedButNotLogged) {
    h.view.SetValue(Control::chkSave, 0);
    TicksUntilSave();
    h.RunDelivery(500);
    EXPECT_EQ(h.desktop.windows[100].chosen, L"S");
    EXPECT_EQ(Log(), "");
}

TEST_F(SavePath, AFailingLogWriteDoesNotStopTheSaveOrTheReArm) {
    h.system.writesFail = true;
    TicksUntilSave();
    h.RunDelivery(1100); // the front goes back to Quillon's window after the save
    EXPECT_EQ(h.desktop.windows[100].chosen, L"S");
    EXPECT_EQ(h.app.Delivery().LastOutcome(), SaveOutcome::Saved);
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"2");
}

TEST_F(SavePath, TheLogNamesTheEntrySelectedWhenTheSaveStarted) {
    h.desktop.windows[100].activationDelayMs = 300;
    TicksUntilSave();
    EXPECT_TRUE(h.input.batches.empty());
    h.app.OnClick(Control::Command1); // the lists are emptied while the delivery waits
    h.RunDelivery(600);
    EXPECT_EQ(h.desktop.windows[100].chosen, L"S");
    EXPECT_EQ(Log(), "2024-03-05 14:07:09 Notes - Editor \r\n");
}

TEST_F(SavePath, TheCountdownReArmsAtOnceWhileTheDeliveryStillWaits) {
    h.desktop.windows[100].activationDelayMs = 600;
    TicksUntilSave();
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"2");
    EXPECT_TRUE(h.app.Delivery().Busy());
    h.RunDelivery(1800);
    EXPECT_EQ(h.desktop.windows[100].chosen, L"S");
    EXPECT_FALSE(h.view.TimerOf(Timer::tmrDeliver).enabled);
}

TEST_F(SavePath, NothingSelectedAtTheSaveMeansNothingTypedAndNoLine) {
    h.view.SetListIndex(Control::List1, -1);
    TicksUntilSave();
    EXPECT_TRUE(h.input.batches.empty());
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(h.view.Text(Control::txtRemaining), L"2");
}

TEST_F(SavePath, CmdKillClearsTheLog) {
    TicksUntilSave();
    h.RunDelivery(500);
    ASSERT_NE(Log(), "");
    h.app.OnClick(Control::cmdKill);
    EXPECT_EQ(Log(), "");
}

} // namespace
} // namespace quillon
