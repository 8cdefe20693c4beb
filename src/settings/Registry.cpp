#include "settings/Registry.h"

#include <algorithm>
#include <cstring>

namespace quillon {
namespace {

constexpr std::size_t kValueBufferBytes = 1024;

// A leading or trailing backslash is not part of a key path; the registry refuses a leading one.
std::string TrimBackslashes(const std::string& path) {
    std::size_t begin = 0, end = path.size();
    while (begin < end && path[begin] == '\\')
        ++begin;
    while (end > begin && path[end - 1] == '\\')
        --end;
    return path.substr(begin, end - begin);
}

// Closes an open key when it goes out of scope.
class OpenKey {
public:
    OpenKey(IRawRegistry& registry, std::optional<RegKey> key) : registry_(registry), key_(key) {}
    ~OpenKey() {
        if (key_)
            registry_.CloseKey(*key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    explicit operator bool() const { return key_.has_value(); }
    RegKey get() const { return *key_; }

private:
    IRawRegistry& registry_;
    std::optional<RegKey> key_;
};

std::wstring DecodeValue(ISystem& system, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    switch (type) {
    case reg::RegSz:
    case reg::RegExpandSz: {
        // The text ends at its first NUL; one that fills the whole buffer without one is a text of
        // 1024 bytes or more, which the store does not serve.
        const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
        if (end == data.end() && data.size() >= kValueBufferBytes)
            return L"";
        return system.FromAnsi(std::string(data.begin(), end));
    }
    case reg::RegDword: {
        // A short value reads as if padded with zero bytes; an empty one has no bytes to copy at
        // all (and its data pointer may be null, which memcpy must not see).
        std::uint8_t bytes[4] = {0, 0, 0, 0};
        if (!data.empty())
            std::memcpy(bytes, data.data(), std::min<std::size_t>(data.size(), 4));
        const auto raw = static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                                    static_cast<std::uint32_t>(bytes[3]) << 24);
        return std::to_wstring(static_cast<std::int32_t>(raw));
    }
    default:
        return L"";
    }
}

} // namespace

std::wstring ReadRegString(IRawRegistry& registry, ISystem& system, std::uint32_t root,
                           const std::string& keyPath, const std::string& valueName) {
    const std::string path = TrimBackslashes(keyPath);
    // A standard user may read the key but not write it (a 64-bit program gets no registry
    // virtualisation): the key is then opened for reading alone.
    std::optional<RegKey> opened = registry.OpenKey(root, path, reg::AccessMask);
    if (!opened)
        opened = registry.OpenKey(root, path, reg::ReadAccess);
    OpenKey key(registry, opened);
    if (!key)
        return L"";
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (!registry.QueryValue(key.get(), valueName, kValueBufferBytes, type, data))
        return L"";
    return DecodeValue(system, type, data);
}

std::wstring StoredText(const std::wstring& text) {
    return text.empty() ? L" " : text;
}

bool SaveRegString(IRawRegistry& registry, ISystem& system, std::uint32_t root, const std::string& keyPath,
                   const std::string& valueName, const std::wstring& text) {
    OpenKey key(registry, registry.CreateKey(root, TrimBackslashes(keyPath), "1", reg::AccessMask));
    if (!key)
        return false;
    return registry.SetStringValue(key.get(), valueName, system.ToAnsi(StoredText(text)));
}

bool SettingsStore::Save(const std::string& name, const std::wstring& text) {
    const bool saved =
        SaveRegString(registry_, system_, reg::HKeyLocalMachine, settings::kWritePath, name, text);
    // A refused write of the text the key already holds loses nothing: start-up stores again
    // every box value it has just read, also where only an administrator may write the key.
    if (!saved && !toldOfRefusal_ && Read(name) != StoredText(text)) {
        toldOfRefusal_ = true;
        shell_.ShowMessage(kCannotStoreSettings, kErrorCaption);
    }
    return saved;
}

} // namespace quillon
