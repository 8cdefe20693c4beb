// The history's names, what it keeps and what goes, and the files programs name their documents by.
#include "scheduler/History.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillon::history {
namespace {

constexpr Stamp kNow{2024, 3, 5, 14, 7, 9};

// Whatever a title or a file's name holds, a version's or copy's name is one file of the history:
// no folder climbed out of, no character or device name the file system refuses, no dot or
// blank at its end, a bounded length; and its time reads back.
class HostileName : public ::testing::TestWithParam<std::wstring> {};

TEST_P(HostileName, GivesOneSafeFileInTheHistory) {
    for (const std::wstring& name : {VersionFolder(GetParam()), VersionName(GetParam(), kNow),
                                     CopyName(GetParam(), 0x1A2B, kNow) + L".txt", SafeFileName(GetParam())}) {
        EXPECT_EQ(name.find_first_of(L"<>:\"/\\|?*\t\r\n"), std::wstring::npos) << name;
        EXPECT_NE(name.back(), L'.');
        EXPECT_NE(name.back(), L' ');
        EXPECT_LE(name.size(), 120u);
        EXPECT_NE(name, L"..");
        const std::wstring base = name.substr(0, name.find_first_of(L". "));
        for (const wchar_t* device : {L"CON", L"NUL", L"COM1", L"LPT9", L"AUX", L"PRN"})
            EXPECT_NE(base, device) << name;
    }
    const auto parsed = ParseName(VersionName(GetParam(), kNow));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->at, kNow);
}

INSTANTIATE_TEST_SUITE_P(Names, HostileName,
                         ::testing::Values(L"C:\\docs\\report.docx", L"..\\..\\Windows\\win.ini", L"C:\\evil",
                                           L"\\\\server\\share\\x.txt", L"CON", L"nul.txt", L"C:\\d\\COM1 .log",
                                           L"report. ", L"a<b>c:d\"e|f?g*h\ti", std::wstring(5000, L'名'),
                                           std::wstring(79, L'x') + L"\xD83D\xDE00 - Notepad", L"", L". ."));

TEST(HistoryNames, TwoFilesOfOneNameNeverShareAFolderAndAVersionOpensByItsExtension) {
    EXPECT_NE(VersionFolder(L"C:\\a\\notes.txt"), VersionFolder(L"C:\\b\\notes.txt"));
    EXPECT_EQ(VersionName(L"C:\\a\\Q3 - budget.xlsx", kNow), L"Q3 - budget (2024-03-05 14.07.09).xlsx");
    EXPECT_EQ(ParseName(L".~report (2024-03-05 14.07.09).docx"), std::nullopt) << "a copy being written";
    EXPECT_EQ(ParseName(L"my own notes.docx"), std::nullopt) << "the user's own file";
    EXPECT_EQ(ParseName(L"a (2024-03-05 14.07.09) 2.txt")->series, L"a.txt") << "a second in the same second";
}

Entry Version(const std::wstring& folder, Stamp at, std::uint64_t size = 10, const wchar_t* name = L"a") {
    return {folder, VersionName(name + std::wstring(L".txt"), at), size};
}

std::vector<std::size_t> Removed(const std::vector<Entry>& entries, std::uint64_t freeBytes = 100 * kLeastFree,
                                 std::uint64_t incoming = 0) {
    std::vector<std::size_t> removed = Prune(entries, kNow, freeBytes, incoming).remove;
    std::sort(removed.begin(), removed.end());
    return removed;
}

TEST(HistoryPruning, KeepsTheNewestAndEachDaysFirstOfEachFileAndTheDiskItsShare) {
    // 25 versions this morning: the newest 20 and the day's first stay.
    std::vector<Entry> today;
    for (int i = 0; i < 25; ++i)
        today.push_back(Version(L"a.txt [1]", {2024, 3, 5, 8, i, 0}));
    EXPECT_EQ(Removed(today), (std::vector<std::size_t>{1, 2, 3, 4}));
    // Two files of one name in two folders: each keeps its own.
    std::vector<Entry> two = today;
    for (Entry entry : today)
        two.push_back({L"a.txt [2]", entry.name, entry.size});
    EXPECT_EQ(Removed(two).size(), 8u);
    // A version a day for 40 days (from January 25th), and 20 more today: each of the last 30 days
    // keeps its first, the 11 older days go.
    std::vector<Entry> days;
    for (int day = 0; day < 40; ++day) {
        const int month = day < 7 ? 1 : day < 36 ? 2 : 3;
        days.push_back(Version(L"b.txt [3]", {2024, month, day < 7 ? 25 + day : day < 36 ? day - 6 : day - 35, 9, 0, 0}));
    }
    for (int i = 0; i < 20; ++i)
        days.push_back(Version(L"b.txt [3]", {2024, 3, 5, 10, i, 0}));
    EXPECT_EQ(Removed(days), (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // The whole within its size, and the disk keeps its share free: the oldest go, the user's own
    // files never.
    const std::vector<Entry> big{Version(L"c [4]", {2024, 3, 5, 8, 0, 0}, 400 * kMiB),
                                 Version(L"c [4]", {2024, 3, 5, 9, 0, 0}, 400 * kMiB),
                                 Version(L"c [4]", {2024, 3, 5, 10, 0, 0}, 400 * kMiB),
                                 {L"c [4]", L"mine.txt", 900 * kMiB}};
    EXPECT_EQ(Removed(big, 100 * kLeastFree, 400 * kMiB), (std::vector<std::size_t>{0, 1}));
    const std::vector<Entry> mid{Version(L"d [5]", {2024, 3, 5, 8, 0, 0}, 200 * kMiB),
                                 Version(L"d [5]", {2024, 3, 5, 9, 0, 0}, 200 * kMiB)};
    EXPECT_EQ(Removed(mid, kLeastFree + 50 * kMiB, 100 * kMiB), (std::vector<std::size_t>{0}));
    EXPECT_FALSE(Prune(big, kNow, kLeastFree, 2 * kMostHistory).room);
}

TEST(HistoryFiles, AreTheOnesProgramsNameOnADiskOrAShare) {
    EXPECT_EQ(FileOfDocument(L"C:\\docs\\report.docx"), L"C:\\docs\\report.docx");
    EXPECT_EQ(FileOfDocument(L"\\\\server\\share\\a.xlsx"), L"\\\\server\\share\\a.xlsx");
    EXPECT_EQ(FileOfDocument(L"file:///C:/docs/my%20%C3%A9ssay.odt"), L"C:\\docs\\my éssay.odt");
    EXPECT_EQ(FileOfDocument(L"file://server/share/a.odt"), L"\\\\server\\share\\a.odt");
    for (const wchar_t* none : {L"https://d.docs.live.net/1a2b/report.docx", L"Document1", L"", L"file:///%FF.odt"})
        EXPECT_EQ(FileOfDocument(none), L"") << none;
    EXPECT_EQ(FileOfDocument(FileUrlOf(L"C:\\d\\a b é名%.odt")), L"C:\\d\\a b é名%.odt");
    // The program's one file argument, when the title shows its name.
    EXPECT_EQ(FileOnCommandLine(L"notepad.exe C:\\docs\\notes.txt", L"notes.txt"), L"C:\\docs\\notes.txt");
    EXPECT_EQ(FileOnCommandLine(L"\"C:\\W\\notepad.exe\" /p \"C:\\my docs\\a.txt\"", L"A.TXT"), L"C:\\my docs\\a.txt");
    EXPECT_EQ(FileOnCommandLine(L"notepad.exe C:\\docs\\notes.txt", L"other.txt"), L"") << "another file opened since";
    EXPECT_EQ(FileOnCommandLine(L"notepad.exe notes.txt", L"notes.txt"), L"") << "relative to a folder unknown";
    EXPECT_EQ(FileOnCommandLine(L"edit.exe C:\\a.txt C:\\b.txt", L"a.txt"), L"") << "which one is shown";
}

} // namespace
} // namespace quillon::history
