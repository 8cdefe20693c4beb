// An in-memory registry with the semantics the settings store relies on: opening a missing key
// fails, creating one makes its missing parents, a query fails for a missing value or one larger
// than the caller's buffer, and key and value names ignore letter case. Every handle is counted.
#pragma once

#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillon::fakes {

struct RegValue {
    std::uint32_t type = reg::RegSz;
    std::vector<std::uint8_t> data;
};

struct RegWrite {
    std::string key;
    std::string name;
    std::string data;
};

class FakeRegistry : public IRawRegistry {
public:
    // The canonical name of a key: root, then the path in lower case with single separators.
    // A path that starts with a backslash is refused, as the registry refuses it.
    static std::optional<std::string> KeyName(std::uint32_t root, const std::string& path) {
        if (!path.empty() && path.front() == '\\')
            return std::nullopt;
        std::string trimmed = path;
        if (!trimmed.empty() && trimmed.back() == '\\')
            trimmed.pop_back();
        if (trimmed.find("\\\\") != std::string::npos)
            return std::nullopt;
        return std::to_string(root) + ":" + Lower(trimmed);
    }

    bool KeyExists(const std::string& path, std::uint32_t root = reg::HKeyLocalMachine) const {
        const auto name = KeyName(root, path);
        return name && keys.count(*name) != 0;
    }
    void Put(const std::string& path, const std::string& name, std::uint32_t type,
             std::vector<std::uint8_t> data) {
        CreateChain(*KeyName(reg::HKeyLocalMachine, path));
        keys[*KeyName(reg::HKeyLocalMachine, path)][Lower(name)] = {type, std::move(data)};
    }
    void PutText(const std::string& path, const std::string& name, const std::string& text) {
        Put(path, name, reg::RegSz, std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    const RegValue* Get(const std::string& path, const std::string& name) const {
        const auto key = keys.find(*KeyName(reg::HKeyLocalMachine, path));
        if (key == keys.end())
            return nullptr;
        const auto value = key->second.find(Lower(name));
        return value == key->second.end() ? nullptr : &value->second;
    }

    std::optional<RegKey> OpenKey(std::uint32_t root, const std::string& path,
                                  std::uint32_t access) override {
        accessMasks.push_back(access);
        const auto name = KeyName(root, path);
        if (!name || keys.count(*name) == 0 || (access & ~grantedAccess) != 0)
            return std::nullopt;
        return NewHandle(*name);
    }
    std::optional<RegKey> CreateKey(std::uint32_t root, const std::string& path, const std::string& keyClass,
                                    std::uint32_t access) override {
        accessMasks.push_back(access);
        lastClass = keyClass;
        const auto name = KeyName(root, path);
        if (createFails || !name || (access & ~grantedAccess) != 0)
            return std::nullopt;
        CreateChain(*name);
        return NewHandle(*name);
    }
    bool QueryValue(RegKey key, const std::string& name, std::size_t capacity, std::uint32_t& type,
                    std::vector<std::uint8_t>& data) override {
        const std::string* keyName = KeyOf(key);
        if (!keyName)
            return false;
        const auto& values = keys[*keyName];
        const auto it = values.find(Lower(name));
        if (it == values.end() || it->second.data.size() > capacity)
            return false;
        type = it->second.type;
        data = it->second.data;
        return true;
    }
    bool SetStringValue(RegKey key, const std::string& name, const std::string& data) override {
        const std::string* keyName = KeyOf(key);
        if (!keyName || setFails)
            return false;
        keys[*keyName][Lower(name)] = {reg::RegSz, std::vector<std::uint8_t>(data.begin(), data.end())};
        writes.push_back({*keyName, name, data});
        return true;
    }
    void CloseKey(RegKey key) override {
        if (open_.erase(key) == 0)
            ADD_FAILURE() << "closed a key that was not open: " << key;
        ++closed;
    }

    int OpenHandles() const { return static_cast<int>(open_.size()); }

    std::map<std::string, std::map<std::string, RegValue>> keys;
    std::vector<RegWrite> writes;
    std::vector<std::uint32_t> accessMasks;
    std::string lastClass;
    bool createFails = false;
    std::uint32_t grantedAccess = 0xFFFFFFFFu; // a standard user under HKLM: reg::ReadAccess, so no writes
    bool setFails = false;
    int opened = 0, closed = 0;

private:
    static std::string Lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return text;
    }
    void CreateChain(const std::string& name) {
        keys[name];
        const auto colon = name.find(':');
        for (auto sep = name.find('\\', colon); sep != std::string::npos; sep = name.find('\\', sep + 1))
            keys[name.substr(0, sep)];
    }
    RegKey NewHandle(const std::string& name) {
        const RegKey handle = nextHandle_++;
        open_[handle] = name;
        ++opened;
        return handle;
    }
    const std::string* KeyOf(RegKey key) const {
        const auto it = open_.find(key);
        if (it == open_.end()) {
            ADD_FAILURE() << "used a key that is not open: " << key;
            return nullptr;
        }
        return &it->second;
    }

    std::map<RegKey, std::string> open_;
    RegKey nextHandle_ = 0x100;
};

} // namespace quillon::fakes
