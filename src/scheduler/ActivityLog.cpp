#include "scheduler/ActivityLog.h"

#include <cstdint>

namespace quillon {

std::wstring LogPath(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path + L"quillon.log";
}

namespace {

// Characters that end a line in one reader or another: CR, LF, VT, FF, NEL and the line and
// paragraph separators.
bool IsLineBreak(wchar_t c) {
    switch (static_cast<std::uint32_t>(c)) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

} // namespace

std::wstring LogLine(const std::wstring& dateTime, const std::wstring& entry) {
    // A window's title is anybody's text: its line breaks are written as spaces, so that a title
    // can neither end the line early nor make up a line of its own. Everything else, tabs
    // included, is kept as listed.
    std::wstring title = entry;
    for (wchar_t& c : title)
        if (IsLineBreak(c))
            c = L' ';
    return dateTime + L" " + title + L"\r\n";
}

bool ActivityLog::Write(const std::wstring& entry) {
    const std::wstring line = LogLine(system_.NowAsGeneralDate(), entry);
    return system_.AppendBytes(LogPath(system_.ExecutableFolder()), system_.ToAnsi(line));
}

void ActivityLog::CountSave(bool writeLog, const std::wstring& entry) {
    if (writeLog)
        Write(entry);
    system_.Trace(L"save-confirmed");
}

void ActivityLog::Clear() {
    system_.RemoveFile(LogPath(system_.ExecutableFolder()));
}

} // namespace quillon
