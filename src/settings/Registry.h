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

// The text as the store keeps it: an empty text becomes a single space.
std::wstring StoredText(const std::wstring& text);

// Stores `text` as REG_SZ (as StoredText gives it), creating the key when needed.
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

// Shown once per run when a setting cannot be stored; the settings still apply for the run.
inline const std::wstring kCannotStoreSettings =
    L"无法保存设置：Windows 拒绝写入注册表项\r\n"
    L"HKEY_LOCAL_MACHINE\\Software\\Brellon Studios\\Quillon\r\n\r\n"
    L"本次运行中设置仍然有效，但下次启动时不会恢复。";
inline const std::wstring kErrorCaption = L"错误!";

// The program's settings key in HKEY_LOCAL_MACHINE.
class SettingsStore {
public:
    SettingsStore(IRawRegistry& registry, ISystem& system, IShellUi& shell)
        : registry_(registry), system_(system), shell_(shell) {}
    std::wstring Read(const std::string& name) {
        return ReadRegString(registry_, system_, reg::HKeyLocalMachine, settings::kReadPath, name);
    }
    // A refused write is said once per run, not silently, and only when it loses something the
    // user set; the program keeps working.
    bool Save(const std::string& name, const std::wstring& text);

private:
    IRawRegistry& registry_;
    ISystem& system_;
    IShellUi& shell_;
    bool toldOfRefusal_ = false;
};

} // namespace quillon
