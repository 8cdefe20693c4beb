#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Platform.h"

#include <algorithm>

namespace quillon::win32 {
namespace {

// The 32-bit program and the 64-bit one share one settings key: the 32-bit registry view. The
// 32-bit program asks for no view, so that Windows' registry virtualisation still applies to it.
#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kView = 0;
#endif

// Predefined keys are sign-extended 32-bit values.
HKEY RootKey(std::uint32_t root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}
HKEY ToHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

} // namespace

std::optional<RegKey> Win32Registry::OpenKey(std::uint32_t root, const std::string& path,
                                             std::uint32_t access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, access | kView, &key) != ERROR_SUCCESS)
        return std::nullopt;
    return reinterpret_cast<RegKey>(key);
}

std::optional<RegKey> Win32Registry::CreateKey(std::uint32_t root, const std::string& path,
                                               const std::string& keyClass, std::uint32_t access) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    std::string className = keyClass;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(RootKey(root), path.c_str(), 0, className.data(), REG_OPTION_NON_VOLATILE,
                        access | kView, &attributes, &key, &disposition) != ERROR_SUCCESS)
        return std::nullopt;
    return reinterpret_cast<RegKey>(key);
}

bool Win32Registry::QueryValue(RegKey key, const std::string& name, std::size_t capacity, std::uint32_t& type,
                               std::vector<std::uint8_t>& data) {
    data.assign(capacity, 0);
    DWORD size = static_cast<DWORD>(capacity);
    DWORD valueType = 0;
    if (RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data.data(), &size) != ERROR_SUCCESS)
        return false;
    data.resize(size);
    type = valueType;
    return true;
}

bool Win32Registry::SetStringValue(RegKey key, const std::string& name, const std::string& data) {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

void Win32Registry::CloseKey(RegKey key) {
    RegCloseKey(ToHkey(key));
}

// HKEY_CURRENT_USER\Software is shared by the 32-bit and the 64-bit view, so no view is named.
std::optional<std::wstring> Win32UserRegistry::ReadText(const std::wstring& keyPath, const std::wstring& name,
                                                        std::size_t maxChars) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    UniqueKey key(raw);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ || bytes > (maxChars + 1) * sizeof(wchar_t))
        return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    // The stored text may or may not end with its terminator; a NUL before its end is no text
    // Quillon writes.
    text.resize(std::min<std::size_t>(size / sizeof(wchar_t), text.size()));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    if (text.find(L'\0') != std::wstring::npos || text.size() > maxChars)
        return std::nullopt;
    return text;
}

bool Win32UserRegistry::WriteText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    UniqueKey key(raw);
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)); // the terminator counted
    return RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool Win32UserRegistry::DeleteValue(const std::wstring& keyPath, const std::wstring& name) {
    HKEY raw = nullptr;
    const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_SET_VALUE, &raw);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    UniqueKey key(raw);
    const LONG deleted = RegDeleteValueW(key.get(), name.c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

} // namespace quillon::win32
