// The settings store: text values under one registry key, read and written through the raw
// registry with the key opened and closed again in every call.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon {

// Returns the value's text, or an empty text when the key or value cannot be read or its type
// is not a string or a 32-bit number. Never creates the key.
std::wstring ReadRegString(IRawRegistry& registry, ISystem& system, std::uint32_t root,
                           const std::string& keyPath, const std::string& valueName);

// Stores `text` as REG_SZ (an empty text as a single space), creating the key when needed.
// Returns true when the value was set.
bool SaveRegString(IRawRegistry& registry, ISystem& system, std::uint32_t root, const std::string& keyPath,
                   const std::string& valueName, const std::wstring& text);

// The program's own settings key and value names.
namespace settings {
inline const std::string kReadPath = "Software\\Brellon Studios\\Quillon\\";
inline const std::string kWritePath = "\\Software\\Brellon Studios\\Quillon";
inline const std::string TimerInterval = "TimerInterval";
inline const std::string SaveAs = "SaveAs";
inline const std::string SaveLog = "SaveLog";
inline const std::string Current = "Current";
inline const std::string Visible = "Visible";
inline const std::string TimeMeasurement = "TimeMeasurement";
} // namespace settings

// The program's settings key in HKEY_LOCAL_MACHINE.
class SettingsStore {
public:
    SettingsStore(IRawRegistry& registry, ISystem& system) : registry_(registry), system_(system) {}
    std::wstring Read(const std::string& name) {
        return ReadRegString(registry_, system_, reg::HKeyLocalMachine, settings::kReadPath, name);
    }
    bool Save(const std::string& name, const std::wstring& text) {
        return SaveRegString(registry_, system_, reg::HKeyLocalMachine, settings::kWritePath, name, text);
    }

private:
    IRawRegistry& registry_;
    ISystem& system_;
};

} // namespace quillon
