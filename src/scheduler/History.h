// The history Quillon keeps of the user's work, under the user's local application data: before it
// saves a document whose file it knows, the file as it stood on disk (a version), in one folder per
// document file; and the content of documents never saved (a copy), one series per window, in a
// folder of their own. Here are its names, what is kept, and what goes to keep the history within
// its bounds; the platform writes and deletes the files, off the window's thread, by these rules.
#pragma once

#include "platform/Platform.h"

#include <compare>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::history {

inline constexpr std::uint64_t kMiB = 1024 * 1024;
inline constexpr std::uint64_t kLargestFile = 256 * kMiB;  // nothing is kept of a larger file
inline constexpr std::uint64_t kMostHistory = 1024 * kMiB; // the whole history
inline constexpr std::uint64_t kLeastFree = 1024 * kMiB;   // what the history never takes from the disk
inline constexpr std::size_t kNewestKept = 20;             // versions of each file, copies of each window
inline constexpr int kDaysKept = 30;                       // the first of each day is kept this long
inline constexpr std::size_t kMostTextChars = 32 * kMiB;   // 64 MiB of text as Windows holds it
inline constexpr wchar_t kUnsavedFolder[] = L"未保存的文档";
inline constexpr wchar_t kPartialMark[] = L".~"; // a copy being written starts its name with it

// The local date and time a version or copy is named by.
using Stamp = LocalTime;

// A name any Windows file system takes for one file: no folder in it, no character it refuses, no
// device name (CON, NUL, COM1, ...), no dot or blank at its end, at most `maxChars` characters.
std::wstring SafeFileName(std::wstring_view text, std::size_t maxChars = 80);

// The folder of a document file's versions: its file name and a mark of its whole path, so that
// two files of one name in different folders never share one.
std::wstring VersionFolder(std::wstring_view file);
// A version's name: the file's own name, the time before its extension, so that a double click
// opens it in the file's program: "report (2026-12-09 08.15.00).docx".
std::wstring VersionName(std::wstring_view file, const Stamp& at);
// A never-saved document's copy, of the window `window` titled `title`, without its extension.
std::wstring CopyName(std::wstring_view title, WindowHandle window, const Stamp& at);

// A version's or copy's series (its name without the time) and time; nothing for a name Quillon
// did not give (the user's own files in the history are left alone) or a copy still being written.
struct Stamped {
    std::wstring series;
    Stamp at;
};
std::optional<Stamped> ParseName(std::wstring_view name);
// Whether `text` is a number: one digit or more and nothing else ("2" after a copy's time, "1" in
// "new 1").
bool AllDigits(std::wstring_view text);

// One file of the history, as the platform lists it: its folder (under the history), name, size.
struct Entry {
    std::wstring folder;
    std::wstring name;
    std::uint64_t size = 0;
};
struct Pruning {
    std::vector<std::size_t> remove; // the entries to delete, oldest first
    bool room = true;                // `incoming` bytes fit once they are gone
};
// What goes so that the history keeps the newest versions of each file (or copies of each window)
// and the first of each of the last days, stays within its size once `incoming` bytes are added,
// and never leaves less than its share of the disk free: the oldest go first.
Pruning Prune(std::span<const Entry> entries, const Stamp& now, std::uint64_t freeBytes,
              std::uint64_t incoming);

// Whether a version is kept of the file before its save.
enum class Keep { Copy, SameAsNewest, TooLarge };
Keep DecideVersion(std::uint64_t size, std::optional<std::uint64_t> newestSize, bool sameAsNewest);

// A mark of a document's text that tells whether it changed since its last copy.
std::uint64_t TextHash(std::wstring_view text);

// The file a program names its document by, when it is one on a disk or a share: a full path, or
// LibreOffice's file URL. Empty for a document that has none, or one opened from the web (a
// OneDrive or SharePoint address), whose saves are confirmed as before.
std::wstring FileOfDocument(std::wstring_view name);

// The file URL LibreOffice names a file by: "file:///C:/docs/a%20b.odt", a share's
// "file://server/share/a.odt"; what is not plain ASCII is escaped as UTF-8.
std::wstring FileUrlOf(std::wstring_view path);

// The file an editor shows the document of: the program file's one argument when its file name is
// the one the title shows. Empty when that is not certain.
std::wstring FileOnCommandLine(std::wstring_view commandLine, std::wstring_view shownName);

} // namespace quillon::history
