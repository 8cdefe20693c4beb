#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"

#include <shlobj.h>

#include <cstdio>

namespace quillon::win32 {
namespace {

// The user's short date or long time format. The text is sized by asking first, so a long custom
// format is neither cut nor left without its terminator; a format that fails gives no text.
std::wstring FormatNow(const SYSTEMTIME& now, bool date) {
    const auto format = [&](wchar_t* buffer, int size) {
        return date ? GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, buffer, size)
                    : GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, buffer, size);
    };
    const int size = format(nullptr, 0);
    if (size <= 0)
        return L"";
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    const int written = format(text.data(), size);
    text.resize(written > 0 ? static_cast<std::size_t>(written) - 1 : 0);
    return text;
}

} // namespace

std::uint64_t Win32System::TickCountMs() {
    return GetTickCount64();
}

LocalTime Win32System::LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::wstring Win32System::HistoryFolder() {
    wchar_t local[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)))
        return L"";
    return std::wstring(local) + L"\\Quillon\\历史版本";
}

std::wstring Win32System::NowAsGeneralDate() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return FormatNow(now, true) + L" " + FormatNow(now, false);
}

std::wstring Win32System::ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The folder of the running executable, as "C:\Tools" or, in a drive's root, "D:\".
std::wstring Win32System::ExecutableFolder() {
    const std::wstring path = ExecutablePath();
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return L"";
    const bool driveRoot = slash > 0 && path[slash - 1] == L':';
    return path.substr(0, driveRoot ? slash + 1 : slash);
}

bool Win32System::AppendBytes(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool Win32System::RemoveFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

bool Win32System::FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string Win32System::ToAnsi(const std::wstring& text) {
    return win32::ToAnsi(text);
}

std::wstring Win32System::FromAnsi(const std::string& text) {
    return win32::FromAnsi(text);
}

wchar_t Win32System::DecimalSeparator() {
    wchar_t separator[8] = L".";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    return separator[0] != L'\0' ? separator[0] : L'.';
}

KeyboardSetup Win32System::OpenKeyboard(WindowHandle mainWindow) {
    return OpenDirectInputKeyboard(instance_, ToHwnd(mainWindow));
}

int Win32System::FullScreenWidth() {
    return GetSystemMetrics(SM_CXFULLSCREEN);
}

int Win32System::FullScreenHeight() {
    return GetSystemMetrics(SM_CYFULLSCREEN);
}

void Win32System::Trace(const wchar_t* event) {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    // The narrow form: it is the one every debugger, and Wine's debug channel, shows.
    char line[160];
    snprintf(line, sizeof line, "quillon: %ls t=%.3f\n", event,
             static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
    OutputDebugStringA(line);
}

} // namespace quillon::win32
