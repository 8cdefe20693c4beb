#include "scheduler/ActivityLog.h"

namespace quillon {

std::wstring LogPath(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    return path + L"quillon.log";
}

std::wstring LogLine(const std::wstring& dateTime, const std::wstring& entry) {
    return dateTime + L" " + entry + L"\r\n";
}

bool ActivityLog::Write(const std::wstring& entry) {
    const std::wstring line = LogLine(system_.NowAsGeneralDate(), entry);
    return system_.AppendBytes(LogPath(system_.ExecutableFolder()), system_.ToAnsi(line));
}

void ActivityLog::Clear() {
    system_.RemoveFile(LogPath(system_.ExecutableFolder()));
}

} // namespace quillon
