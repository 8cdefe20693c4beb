// What Quillon keeps for the user who runs it, under HKEY_CURRENT_USER (the six settings stay
// where they always were): the program it saves, so that a restart finds it again, and whether
// it starts with Windows and goes on saving. A window title can name a private document, so it is
// kept where only this user can read it. Stored values that are missing, too long or not what
// Quillon writes are ignored.
#pragma once

#include "platform/Platform.h"
#include "windows/KeptProgram.h"

#include <optional>
#include <string>

namespace quillon {

namespace usersettings {
inline const std::wstring kKeyPath = L"Software\\Brellon Studios\\Quillon";
inline const std::wstring ProgramPath = L"ProgramPath";
inline const std::wstring ProgramClass = L"ProgramClass";
inline const std::wstring ProgramTitle = L"ProgramTitle";
inline const std::wstring Resume = L"Resume";
// Windows starts what this key names at the user's logon.
inline const std::wstring kRunKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::wstring kRunValue = L"Quillon";
constexpr std::size_t kMaxPathChars = 32767;
constexpr std::size_t kMaxClassChars = 256;
constexpr std::size_t kMaxTitleChars = 255;
} // namespace usersettings

// The Run value for a program file: its full path in quotes, so that a path with blanks starts it.
std::wstring RunCommandFor(const std::wstring& executable);

class UserSettings {
public:
    UserSettings(IUserRegistry& registry, ISystem& system) : registry_(registry), system_(system) {}

    // The program stored when saving was last switched on; nothing when what is stored is
    // incomplete or not what Quillon writes.
    std::optional<ProgramIdentity> Program();
    // Stores the program; one whose program file or class could not be read removes what was
    // stored, so that the next start does not resume a program the user stopped saving.
    void StoreProgram(const ProgramIdentity& identity);

    // Quillon starts with Windows and goes on saving: it is meant to resume, and the Run value
    // starts this very program file (not another copy of it).
    bool StartsWithWindows();
    // Adds itself to the Run key (or removes itself) and stores whether to resume; true when
    // both were stored.
    bool SetStartsWithWindows(bool on);
    // A program that was moved still starts: while it is meant to resume and the Run value names
    // a program file that is gone, the Run value names the program file running now. A Run value
    // naming another copy that is still there is left as the user set it.
    void RefreshRunValue();

private:
    IUserRegistry& registry_;
    ISystem& system_;
};

} // namespace quillon
