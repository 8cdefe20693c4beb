#include "platform/win32/Win32History.h"

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Text.h"
#include "scheduler/History.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace quillon::win32 {
namespace {

constexpr DWORD kChunk = 1024 * 1024;
constexpr UINT kTextWaitMs = 5000; // a control's text, as long as tens of megabytes take to carry

// Every path goes to the system in its long form: a document's path, or the history's with a
// long title in it, may be longer than MAX_PATH.
std::wstring LongPath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.starts_with(L"\\\\?\\"))
        return path;
    if (path.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::uint64_t Number(const FILETIME& time) {
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::uint64_t SizeOf(DWORD high, DWORD low) {
    return static_cast<std::uint64_t>(high) << 32 | low;
}

UniqueFile OpenToRead(const std::wstring& path) {
    return UniqueFile(CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

KeepResult WhyNot(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return KeepResult::Locked;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return KeepResult::NoFile;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return KeepResult::NoRoom;
    default:
        return KeepResult::Failed;
    }
}

// The history's folder and the one a copy goes into (each made when missing), below the user's
// local application data.
bool MakeFolders(const std::wstring& history, const std::wstring& folder) {
    for (const std::wstring& each : {FolderOf(history), history, folder})
        if (!CreateDirectoryW(LongPath(each).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    return true;
}

// The files of the history, folder by folder; those of its own making (a partial copy) are left
// out, and so are the user's own files, which Prune leaves alone.
template <class Visit> void ForEachFile(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(LongPath(folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                  SizeOf(found.nFileSizeHigh, found.nFileSizeLow));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<history::Entry> ListHistory(const std::wstring& history) {
    std::vector<history::Entry> entries;
    ForEachFile(history, [&](const std::wstring& folder, bool isFolder, std::uint64_t) {
        if (isFolder)
            ForEachFile(history + L"\\" + folder,
                        [&](const std::wstring& name, bool sub, std::uint64_t size) {
                            if (!sub)
                                entries.push_back({folder, name, size});
                        });
    });
    return entries;
}

// The oldest go, so that `incoming` bytes fit; false when they cannot.
bool MakeRoom(const KeepAsk& keep, std::uint64_t incoming) {
    const std::vector<history::Entry> entries = ListHistory(keep.history);
    ULARGE_INTEGER available{};
    const std::uint64_t freeBytes =
        GetDiskFreeSpaceExW(LongPath(keep.history + L"\\").c_str(), &available, nullptr, nullptr)
            ? available.QuadPart
            : history::kLeastFree + incoming;
    const history::Pruning pruning = history::Prune(entries, keep.now, freeBytes, incoming);
    for (std::size_t index : pruning.remove)
        DeleteFileW(
            LongPath(keep.history + L"\\" + entries[index].folder + L"\\" + entries[index].name).c_str());
    return pruning.room;
}

// A partial copy renamed whole; where a copy of that second is there already (two cycles in one
// second), the next free name.
KeepResult Rename(const std::wstring& partial, const std::wstring& whole, std::wstring& path) {
    const std::size_t dot = whole.rfind(L'.');
    const bool extension = dot != std::wstring::npos && dot > whole.find_last_of(L'\\');
    for (int copy = 1; copy <= 9; ++copy) {
        const std::wstring name = copy == 1
                                      ? whole
                                      : (extension ? whole.substr(0, dot) : whole) + L" " +
                                            std::to_wstring(copy) + (extension ? whole.substr(dot) : L"");
        if (MoveFileExW(LongPath(partial).c_str(), LongPath(name).c_str(), 0)) {
            path = name;
            return KeepResult::Kept;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    DeleteFileW(LongPath(partial).c_str());
    return KeepResult::Failed;
}

std::wstring PartialOf(const std::wstring& whole) {
    const std::size_t slash = whole.find_last_of(L'\\');
    return whole.substr(0, slash + 1) + history::kPartialMark + whole.substr(slash + 1);
}

// Reads `source` to its end into `target`; the reason when it cannot.
KeepResult Pour(HANDLE source, HANDLE target) {
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(source, buffer.data(), kChunk, &read, nullptr))
            return WhyNot(GetLastError());
        if (read == 0)
            return KeepResult::Kept;
        if (!WriteFile(target, buffer.data(), read, &written, nullptr) || written != read)
            return WhyNot(GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError());
    }
}

bool SameContent(HANDLE a, HANDLE b) {
    std::vector<char> left(kChunk), right(kChunk);
    for (;;) {
        DWORD readLeft = 0, readRight = 0;
        if (!ReadFile(a, left.data(), kChunk, &readLeft, nullptr) ||
            !ReadFile(b, right.data(), kChunk, &readRight, nullptr) || readLeft != readRight)
            return false;
        if (readLeft == 0)
            return true;
        if (!std::equal(left.begin(), left.begin() + readLeft, right.begin()))
            return false;
    }
}

// The newest version kept of the file, by the time in its name, with its size.
std::optional<std::pair<std::wstring, std::uint64_t>> NewestVersion(const std::wstring& folder,
                                                                    const std::wstring& versionName) {
    const auto series = history::ParseName(versionName);
    std::optional<history::Stamp> newestAt;
    std::optional<std::pair<std::wstring, std::uint64_t>> newest;
    ForEachFile(folder, [&](const std::wstring& name, bool isFolder, std::uint64_t size) {
        const auto stamped = history::ParseName(name);
        if (isFolder || !stamped || !series || stamped->series != series->series ||
            (newestAt && stamped->at <= *newestAt))
            return;
        newestAt = stamped->at;
        newest = {{folder + L"\\" + name, size}};
    });
    return newest;
}

// The file as it is on disk into the history, unless its newest version there is the same.
KeepResult KeepVersion(const KeepAsk& keep, std::uint64_t size, const FILETIME& written, std::wstring& path) {
    if (size > history::kLargestFile)
        return KeepResult::TooLarge;
    const std::wstring folder = FolderOf(keep.copyTo);
    if (keep.history.empty() || !MakeFolders(keep.history, folder))
        return KeepResult::NoHistory;
    UniqueFile source = OpenToRead(keep.file);
    if (!source)
        return WhyNot(GetLastError());
    if (const auto newest = NewestVersion(folder, keep.copyTo.substr(folder.size() + 1))) {
        const UniqueFile kept = OpenToRead(newest->first);
        const bool same = newest->second == size && kept && SameContent(source.get(), kept.get());
        if (history::DecideVersion(size, newest->second, same) == history::Keep::SameAsNewest)
            return KeepResult::Unchanged;
        SetFilePointer(source.get(), 0, nullptr, FILE_BEGIN);
    }
    if (!MakeRoom(keep, size))
        return KeepResult::NoRoom;
    const std::wstring partial = PartialOf(keep.copyTo);
    UniqueFile target(CreateFileW(LongPath(partial).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        return GetLastError() == ERROR_DISK_FULL ? KeepResult::NoRoom : KeepResult::NoHistory;
    const KeepResult poured = Pour(source.get(), target.get());
    // The version shows when the file was written, as the file did.
    SetFileTime(target.get(), nullptr, nullptr, &written);
    target.reset();
    if (poured != KeepResult::Kept) {
        DeleteFileW(LongPath(partial).c_str());
        return poured;
    }
    return Rename(partial, keep.copyTo, path);
}

// The control's text, at most the history's share of it, read with a bounded wait: a control
// that answers a length and then gives more or less text is bounded by the buffer all the same.
KeepResult CopyText(const KeepAsk& keep, KeepReply& reply) {
    const HWND control = ToHwnd(keep.control);
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kTextWaitMs,
                             &length))
        return KeepResult::Refused;
    reply.cut = length > history::kMostTextChars;
    length = std::min<DWORD_PTR>(length, history::kMostTextChars);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, kTextWaitMs, &copied))
        return KeepResult::Refused;
    text.resize(std::min<std::size_t>(copied, length));
    reply.hash = history::TextHash(text);
    if (text.empty() || reply.hash == keep.lastHash)
        return KeepResult::Unchanged;
    return WriteCopy(keep, L".txt", "\xEF\xBB\xBF" + ToUtf8(text), reply.path);
}

} // namespace

void ServeFile(const DocumentAsk& ask, DocumentReply& reply) {
    KeepReply& keep = reply.keep;
    if (ask.request == DocumentRequest::CopyText) {
        keep.result = CopyText(ask.keep, keep);
        return;
    }
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (!GetFileAttributesExW(LongPath(ask.keep.file).c_str(), GetFileExInfoStandard, &file) ||
        (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        keep.result = KeepResult::NoFile;
        return;
    }
    keep.lastWrite = Number(file.ftLastWriteTime);
    if (ask.request == DocumentRequest::KeepVersion)
        keep.result = KeepVersion(ask.keep, SizeOf(file.nFileSizeHigh, file.nFileSizeLow),
                                  file.ftLastWriteTime, keep.path);
}

KeepResult WriteCopy(const KeepAsk& keep, const std::wstring& extension, const std::string& bytes,
                     std::wstring& path) {
    const ProgramCopy copy = PrepareProgramCopy(keep, extension, bytes.size());
    if (copy.ready != KeepResult::Kept)
        return copy.ready;
    UniqueFile target(CreateFileW(LongPath(copy.partial).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        return KeepResult::NoHistory;
    DWORD written = 0;
    bool whole = true;
    for (std::size_t at = 0; whole && at < bytes.size(); at += written)
        whole = WriteFile(target.get(), bytes.data() + at,
                          static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, kChunk)), &written,
                          nullptr) &&
                written > 0;
    const DWORD error = GetLastError();
    target.reset();
    if (!whole) {
        DeleteFileW(LongPath(copy.partial).c_str());
        return WhyNot(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error);
    }
    return Rename(copy.partial, copy.whole, path);
}

ProgramCopy PrepareProgramCopy(const KeepAsk& keep, const std::wstring& extension, std::uint64_t incoming) {
    ProgramCopy copy;
    copy.whole = keep.copyTo + extension;
    copy.partial = PartialOf(copy.whole);
    if (keep.history.empty() || !MakeFolders(keep.history, FolderOf(copy.whole)))
        copy.ready = KeepResult::NoHistory;
    else
        copy.ready = MakeRoom(keep, incoming) ? KeepResult::Kept : KeepResult::NoRoom;
    return copy;
}

KeepResult CompleteProgramCopy(const ProgramCopy& copy, bool made, std::wstring& path) {
    if (made && GetFileAttributesW(LongPath(copy.partial).c_str()) != INVALID_FILE_ATTRIBUTES)
        return Rename(copy.partial, copy.whole, path);
    DeleteFileW(LongPath(copy.partial).c_str());
    return made ? KeepResult::Failed : KeepResult::Refused;
}

} // namespace quillon::win32
