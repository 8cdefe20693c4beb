// The program Quillon saves, kept as what it is rather than as a window handle: its program file,
// its window class and its title with the mark of unsaved changes set aside. When its window is
// gone (closed, hidden, its program restarted), the window of the same program showing the same
// document takes its place; a program remembered from an earlier run is found the same way.
// Whatever makes a window the kept one (the user's choice, the list's fill, finding it again)
// tells the listener, which watches the user's use of that window's program.
#pragma once

#include "platform/Platform.h"
#include "scheduler/SaveDispatch.h"

#include <functional>
#include <optional>
#include <string>

namespace quillon {

struct ProgramIdentity {
    std::wstring executable; // full path of the program file
    std::wstring windowClass;
    std::wstring title; // without its mark of unsaved changes
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
    // A new title must be shown this long, by a visible window, before it is the document's.
    static constexpr std::uint64_t kTitleSettleMs = 2500;

    explicit KeptProgram(IDesktop& desktop) : desktop_(desktop) {}

    // Called whenever another window becomes the kept one (0 when none is known yet).
    void OnWindowChanged(std::function<void(const ListedWindow&)> listener) {
        onWindowChanged_ = std::move(listener);
    }

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
    // Takes the title the window shows now into the identity when it names the user's document
    // under a new name (a Save As): shown by the visible window for a while, and naming a file
    // where the old title did. A window retitled for a moment, while it closes or for a new empty
    // document, keeps the document the user chose. True when the identity changed.
    bool RefreshTitle(std::uint64_t now);

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
    void SetWindow(const ListedWindow& window);

    IDesktop& desktop_;
    std::function<void(const ListedWindow&)> onWindowChanged_;
    ProgramIdentity identity_;
    ListedWindow window_;
    std::wstring listedTitle_;
    bool wantsSelection_ = false;
    std::wstring newTitle_; // a title the window shows that is not the document's yet, and since when
    std::uint64_t newTitleSince_ = 0;
};

} // namespace quillon
