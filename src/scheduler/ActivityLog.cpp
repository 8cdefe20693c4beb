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

// Characters that would break or bend a line of the log: the C0 and C1 controls, DEL, and the
// line and paragraph separators.
bool IsLineControl(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return code <= 0x1F || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029;
}

} // namespace

std::wstring LogLine(const std::wstring& dateTime, const std::wstring& entry) {
    // A window's title is anybody's text: its controls are written as spaces, so that a title
    // can neither end the line early nor make up a line of its own.
    std::wstring title = entry;
    for (wchar_t& c : title)
        if (IsLineControl(c))
            c = L' ';
    return dateTime + L" " + title + L"\r\n";
}

bool ActivityLog::Write(const std::wstring& entry) {
    const std::wstring line = LogLine(system_.NowAsGeneralDate(), entry);
    return system_.AppendBytes(LogPath(system_.ExecutableFolder()), system_.ToAnsi(line));
}

void ActivityLog::Clear() {
    system_.RemoveFile(LogPath(system_.ExecutableFolder()));
}

} // namespace quillon
