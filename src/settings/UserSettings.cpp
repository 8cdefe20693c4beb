#include "settings/UserSettings.h"

#include <algorithm>
#include <cwctype>

namespace quillon {
namespace {

using namespace usersettings;

// What Quillon writes for a program file: a full path (a drive or a network share).
bool IsFullPath(const std::wstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
    const bool share = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
    return drive || share;
}

bool HasControlCharacters(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20)
            return true;
    return false;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

// The program file a Run value starts: the quoted path, or the text up to the first blank.
std::wstring ProgramOfRunCommand(const std::wstring& command) {
    if (command.starts_with(L'"')) {
        const std::size_t close = command.find(L'"', 1);
        return close == std::wstring::npos ? L"" : command.substr(1, close - 1);
    }
    return command.substr(0, command.find(L' '));
}

} // namespace

std::wstring RunCommandFor(const std::wstring& executable) {
    return L"\"" + executable + L"\"";
}

std::optional<ProgramIdentity> UserSettings::Program() {
    const auto path = registry_.ReadText(kKeyPath, ProgramPath, kMaxPathChars);
    const auto windowClass = registry_.ReadText(kKeyPath, ProgramClass, kMaxClassChars);
    const auto title = registry_.ReadText(kKeyPath, ProgramTitle, kMaxTitleChars);
    if (!path || !windowClass || !title || !IsFullPath(*path) || HasControlCharacters(*path) ||
        windowClass->empty() || HasControlCharacters(*windowClass))
        return std::nullopt;
    return ProgramIdentity{*path, *windowClass, *title};
}

void UserSettings::StoreProgram(const ProgramIdentity& identity) {
    if (!identity.Known()) {
        for (const std::wstring& name : {ProgramPath, ProgramClass, ProgramTitle})
            registry_.DeleteValue(kKeyPath, name);
        return;
    }
    registry_.WriteText(kKeyPath, ProgramPath, identity.executable);
    registry_.WriteText(kKeyPath, ProgramClass, identity.windowClass);
    registry_.WriteText(kKeyPath, ProgramTitle, identity.title.substr(0, kMaxTitleChars));
}

// Both must hold: a Run value removed by another tool (the user's startup settings, say) is the
// user's decision, and a resume flag alone would never start anything.
bool UserSettings::StartsWithWindows() {
    const auto command = registry_.ReadText(kRunKeyPath, kRunValue, kMaxPathChars + 2);
    return registry_.ReadText(kKeyPath, Resume, 1) == std::optional<std::wstring>(L"1") && command &&
           SamePath(ProgramOfRunCommand(*command), system_.ExecutablePath());
}

bool UserSettings::SetStartsWithWindows(bool on) {
    if (!on) {
        const bool removed = registry_.DeleteValue(kRunKeyPath, kRunValue);
        return registry_.WriteText(kKeyPath, Resume, L"0") && removed;
    }
    const std::wstring executable = system_.ExecutablePath();
    if (!IsFullPath(executable) || !registry_.WriteText(kRunKeyPath, kRunValue, RunCommandFor(executable)))
        return false;
    return registry_.WriteText(kKeyPath, Resume, L"1");
}

void UserSettings::RefreshRunValue() {
    const std::wstring executable = system_.ExecutablePath();
    const auto command = registry_.ReadText(kRunKeyPath, kRunValue, kMaxPathChars + 2);
    if (registry_.ReadText(kKeyPath, Resume, 1) != std::optional<std::wstring>(L"1") || !command ||
        !IsFullPath(executable) || system_.FileExists(ProgramOfRunCommand(*command)))
        return;
    registry_.WriteText(kRunKeyPath, kRunValue, RunCommandFor(executable));
}

} // namespace quillon
