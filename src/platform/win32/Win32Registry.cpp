#include "platform/win32/Win32Platform.h"

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

} // namespace quillon::win32
