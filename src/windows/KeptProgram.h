// The program Quillon saves, kept as what it is rather than as a window handle: its program file,
// its window class and its title with the mark of unsaved changes set aside. When its window is
// gone (closed, its program restarted), the window of the same program showing the same
// document takes its place; a program remembered from an earlier run is found the same way.
#pragma once

#include "platform/Platform.h"
#include "scheduler/SaveDispatch.h"

#include <optional>
#include <string>

namespace quillon {

struct ProgramIdentity {
    std::wstring executable;  // full path of the program file
    std::wstring windowClass;
    std::wstring title;       // without its mark of unsaved changes
    // Enough to tell its windows from others': the program file and the class are known.
    bool Known() const { return !executable.empty() && !windowClass.empty(); }
    bool operator==(const ProgramIdentity&) const = default;
};

// The identity of a window as it stands now.
ProgramIdentity IdentityOf(IDesktop& desktop, WindowHandle window);
// Whether `window` is a visible top-level window of another program with that identity.
bool ShowsSameDocument(IDesktop& desktop, WindowHandle window, const ProgramIdentity& identity);

class KeptProgram {
public:
    explicit KeptProgram(IDesktop& desktop) : desktop_(desktop) {}

    enum class Where {
        None,         // no program was chosen or remembered, or its gone window cannot be looked for
        Here,         // its window is still the one chosen
        Followed,     // its window was gone; another window of it shows the same document
        Missing,      // no window shows its document
        SeveralAlike, // several windows do, and none is guessed at
    };
    struct Resolution {
        Where where = Where::None;
        ListedWindow window;
    };

    // The user chose this window, as listed with `listedTitle` (List1's text): saving follows it.
    void Choose(const ListedWindow& window, const std::wstring& listedTitle);
    // A program remembered from an earlier run: its window is looked for when it is needed.
    void Remember(const ProgramIdentity& identity);
    // Where the program's window is now; a gone window is looked for by its identity, and one
    // found takes its place.
    Resolution Resolve();
    // Takes the title the window shows now into the identity (after a Save As under a new name,
    // say); true when it changed.
    bool RefreshTitle();

    bool Any() const { return window_.window != 0 || identity_.Known(); }
    const ProgramIdentity& Identity() const { return identity_; }
    const ListedWindow& Window() const { return window_; }
    // The text the log names it by: its List1 entry when it was chosen or followed.
    const std::wstring& ListedTitle() const { return listedTitle_; }
    // The next fill of the program lists selects its entry: it was remembered or followed, and
    // the user has not chosen another program since.
    bool WantsSelection() const { return wantsSelection_; }
    void SelectionShown() { wantsSelection_ = false; }

private:
    bool IsStillThere() const;

    IDesktop& desktop_;
    ProgramIdentity identity_;
    ListedWindow window_;
    std::wstring listedTitle_;
    bool wantsSelection_ = false;
};

} // namespace quillon
