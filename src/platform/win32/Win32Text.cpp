#include "platform/win32/Win32Text.h"

#include <windows.h>

namespace quillon::win32 {

std::string ToAnsi(const std::wstring& text, bool* lossy) {
    if (lossy)
        *lossy = false;
    if (text.empty())
        return {};
    // The UTF-8 code page cannot report lost characters (and loses none).
    BOOL usedDefault = FALSE;
    BOOL* report = lossy && GetACP() != CP_UTF8 ? &usedDefault : nullptr;
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), bytes, nullptr, report);
    if (lossy)
        *lossy = usedDefault != FALSE;
    return out;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring out(chars, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), chars);
    return out;
}

// Texts of tens of megabytes are converted in one pass: the size first, then the bytes.
std::string ToUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace quillon::win32
