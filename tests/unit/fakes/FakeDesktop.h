// A desktop of top-level windows with a foreground window that moves only when the fake allows it.
#pragma once

#include "fakes/FakeSystem.h"
#include "platform/Platform.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quillon::fakes {

constexpr std::uint32_t kWsVisible = 0x10000000u, kWsBorder = 0x00800000u, kWsCaption = 0x00C00000u;

// How a window's program answers Alt+F, and the letter typed after it.
struct FakeMenu {
    enum class Kind {
        FileMenu,   // a menu bar: Alt+F drops its File menu down
        None,       // no menu bar and no File view: Alt+F does nothing visible
        SystemMenu, // Alt+F puts it in its system menu instead
        Ribbon,     // no menu: Alt+F moves the focus to a File view without a caret
        OwnWindow,  // no menu bar: Alt+F opens a menu the program draws in a window of its own
    };
    Kind kind = Kind::FileMenu;
    bool opens = true;              // false: Alt+F never opens it
    std::uint64_t opensAfterMs = 0; // the program opens it this long after Alt+F
    WindowHandle owner = 0;         // 0: the window itself owns it; another window otherwise
    bool letterClosesIt = true;     // false: it has no item of the letter and stays open
    std::uint64_t closesAfterMs = 10;
    bool ignoresCancel = false;     // asking its owner to close it does nothing; Escape does
    bool opensDialog = false;       // the chosen item (or Ctrl+S) opens a modal dialog (a file name to give)
    WindowHandle dialog = 0;        // that dialog's window, taking the front, when it has one here
    WindowHandle ownWindow = 0;     // OwnWindow: the window of its menu
    bool viewHasCaret = false;      // Ribbon: the control Alt+F moved the focus to takes text
    std::wstring titleAfterSave;    // what its title becomes when its Save is chosen (its mark gone)
};

struct FakeWindow {
    std::wstring title;
    std::uint32_t style = kWsVisible | kWsCaption;
    WindowPlacementInfo placement{1, {}};
    bool exists = true;
    bool visible = true;
    bool ownProcess = false;
    bool hasFocusedControl = true;
    bool enabled = true;
    bool answers = true;      // false: the program hangs (and the system says so)
    std::uint64_t busyUntil = 0; // the program does not answer before this time, without hanging
    WindowHandle owner = 0;   // a dialog's owner
    std::uint32_t processId = 0; // 0: one of its own, from the handle
    WindowHandle focus = 0;   // the focused control, 0: the window itself
    bool caretInFocus = true; // the focused control shows a caret (it takes letters as text)
    FakeMenu menu;
    std::wstring className = L"Editor";
    std::wstring executable = L"C:\\Programs\\editor.exe";
    std::wstring commandLine;
    std::wstring file;           // the file its save writes (FakeDesktop::files)
    bool saveLeavesFile = false; // its save says it saved, and writes nothing
    bool savesOnMessage = false; // Notepad++: its save message saves as Ctrl+S does
    bool missedCtrlRelease = false; // its thread still takes Ctrl for down: no key means what it should
    // What typed keys did: letters typed as text, the menu items they chose, and how often a menu
    // of this window was asked to close (CancelMenu) or closed by Escape.
    std::wstring text;
    std::wstring chosen;
    int cancels = 0;
    int escapes = 0;
    // The menu's life: when Alt+F will have opened it, and when the letter will have closed it.
    std::optional<std::uint64_t> menuOpensAt;
    std::optional<std::uint64_t> menuClosesAt;
    bool systemMenuOpen = false;
    bool userMenuOpen = false; // a menu the user opened here (a context menu, Quillon's tray menu)
    WindowHandle focusBeforeFileView = 0; // a ribbon's File view has the focus
    Elevation elevation = Elevation::NotElevated;
    // Activation behaviour: how many requests are refused, whether one right after a key that
    // nobody acts on goes through all the same, and how long an allowed activation takes to arrive.
    int refusals = 0;
    bool retryAllowed = true;
    std::uint64_t activationDelayMs = 0;
};

struct DesktopCall {
    std::string name;
    WindowHandle window;
    bool operator==(const DesktopCall&) const = default;
};

class FakeDesktop : public IDesktop {
public:
    explicit FakeDesktop(FakeClock& clock) : clock_(clock) {}

    FakeWindow& Add(WindowHandle handle, const std::wstring& title) {
        zOrder.push_back(handle);
        FakeWindow& window = windows[handle];
        window.title = title;
        return window;
    }
    void Close(WindowHandle handle) {
        windows[handle].exists = false;
        if (foreground_ == handle)
            foreground_ = 0;
    }
    void SetForeground(WindowHandle handle) {
        foreground_ = handle;
        pending_.reset();
    }
    int CountOf(const std::string& name, WindowHandle window) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), DesktopCall{name, window}));
    }
    int CountOf(const std::string& name) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const DesktopCall& c) { return c.name == name; }));
    }

    void EnumerateWindows(const std::function<void(WindowHandle)>& visit) override {
        ++enumerations;
        for (WindowHandle handle : zOrder)
            if (windows[handle].exists)
                visit(handle);
    }
    // Returns the whole title, as a reader that sizes its own buffer would; the cut is the caller's.
    std::wstring WindowText(WindowHandle window, int bufferChars) override {
        lastTitleBuffer = bufferChars;
        return windows[window].title;
    }
    WindowPlacementInfo Placement(WindowHandle window) override {
        const auto it = windows.find(window);
        return it != windows.end() && it->second.exists ? it->second.placement : WindowPlacementInfo{};
    }
    std::uint32_t Style(WindowHandle window) override {
        const auto it = windows.find(window);
        return it != windows.end() && it->second.exists ? it->second.style : 0;
    }
    bool IsWindow(WindowHandle window) override { return Exists(window); }
    bool IsWindowVisible(WindowHandle window) override { return Exists(window) && windows[window].visible; }
    bool IsEnabled(WindowHandle window) override { return Exists(window) && windows[window].enabled; }
    std::uint32_t ProcessIdOf(WindowHandle window) override {
        if (!Exists(window))
            return 0;
        const FakeWindow& w = windows[window];
        return w.processId != 0 ? w.processId : static_cast<std::uint32_t>(window) + 100000u;
    }
    bool Answers(WindowHandle window, unsigned) override {
        ++answerQuestions;
        if (whileAnswering)
            whileAnswering(); // messages sent to the asking program meanwhile
        return Exists(window) && windows[window].answers && clock_.now >= windows[window].busyUntil;
    }
    bool IsHung(WindowHandle window) override { return Exists(window) && !windows[window].answers; }
    ThreadInput InputOf(WindowHandle window) override {
        ApplyPending();
        ThreadInput in;
        if (!Exists(window))
            return in;
        FakeWindow& w = windows[window];
        in.known = true;
        in.active = foreground_ == window ? window : 0;
        in.focus = FocusOf(window);
        in.caret = w.caretInFocus ? in.focus : 0;
        if (MenuOpen(w)) {
            in.inMenu = in.menuShown = true;
            in.menuOwner = w.menu.owner != 0 ? w.menu.owner : window;
        } else if (w.systemMenuOpen) {
            in.inMenu = in.systemMenu = true;
            in.menuOwner = window;
        } else if (w.userMenuOpen) {
            in.inMenu = in.menuShown = true;
            in.menuOwner = window;
        }
        return in;
    }
    void CancelMenu(WindowHandle menuOwner) override {
        calls.push_back({"CancelMenu", menuOwner});
        for (auto& [handle, w] : windows) {
            const WindowHandle owner = w.menu.owner != 0 ? w.menu.owner : handle;
            if (owner != menuOwner || !(MenuOpen(w) || w.systemMenuOpen))
                continue;
            ++w.cancels;
            if (!w.menu.ignoresCancel)
                CloseMenu(w);
        }
    }
    void RestoreFocus(WindowHandle window, WindowHandle control) override {
        calls.push_back({"RestoreFocus", control});
        if (Exists(window))
            windows[window].focus = control;
    }
    bool SetForegroundWindow(WindowHandle window) override {
        calls.push_back({"SetForegroundWindow", window});
        if (!Exists(window))
            return false;
        FakeWindow& w = windows[window];
        // A refused request goes through when the caller just typed a key nobody acts on.
        if (w.refusals > 0 && !(earnedForeground_ && w.retryAllowed)) {
            --w.refusals;
            return false;
        }
        earnedForeground_ = false;
        Activate(window);
        return true;
    }
    bool OpenIcon(WindowHandle window) override {
        calls.push_back({"OpenIcon", window});
        if (!Exists(window))
            return false;
        if (windows[window].placement.showCmd == 2)
            windows[window].placement.showCmd = 1;
        return true;
    }
    void Minimize(WindowHandle window) override {
        calls.push_back({"Minimize", window});
        if (Exists(window))
            windows[window].placement.showCmd = 2;
    }
    WindowHandle ForegroundWindow() override {
        ApplyPending();
        return foreground_;
    }
    bool BelongsToThisProcess(WindowHandle window) override {
        return Exists(window) && windows[window].ownProcess;
    }
    Elevation ProcessElevation(WindowHandle window) override {
        return Exists(window) ? windows[window].elevation : Elevation::Unknown;
    }
    Elevation OwnElevation() override { return ownElevation; }
    int ShowWindow(WindowHandle window, ShowCommand command) override {
        calls.push_back({command == ShowCommand::Hide ? "Hide" : "ShowNormal", window});
        FakeWindow& w = windows[window];
        const int wasVisible = w.visible ? 1 : 0;
        w.visible = command == ShowCommand::ShowNormal;
        return wasVisible;
    }
    WindowHandle OwnerOf(WindowHandle window) override {
        if (window == ownerQueryWindow)
            return owner;
        return Exists(window) ? windows[window].owner : 0;
    }
    std::wstring ClassName(WindowHandle window) override {
        if (const auto child = childClasses.find(window); child != childClasses.end())
            return child->second;
        return Exists(window) ? windows[window].className : L"";
    }
    WindowHandle FindDescendant(WindowHandle window, const std::wstring& className) override {
        const auto found = children.find({window, className});
        return found != children.end() ? found->second : 0;
    }
    std::wstring ExecutablePath(WindowHandle window) override {
        return Exists(window) ? windows[window].executable : L"";
    }
    std::wstring CommandLineOf(WindowHandle window) override {
        return Exists(window) ? windows[window].commandLine : L"";
    }
    // A process runs until the test ends it; one started again under its id began later.
    std::optional<std::uint64_t> ProcessStartTime(std::uint32_t processId) override {
        if (endedProcesses.count(processId))
            return std::nullopt;
        const auto started = processStarts.find(processId);
        return started == processStarts.end() ? 1 : started->second;
    }
    bool HasMenuBar(WindowHandle window) override {
        return Exists(window) && windows[window].menu.kind == FakeMenu::Kind::FileMenu;
    }
    // Only a program made to has a save message of its own.
    std::optional<std::intptr_t> SendPlainMessage(WindowHandle window, std::uint32_t, std::uintptr_t, std::intptr_t,
                                                  unsigned) override {
        calls.push_back({"SendPlainMessage", window});
        if (!Exists(window) || !windows[window].savesOnMessage)
            return 0;
        Choose(window, L'M');
        return 1;
    }
    // A dialog takes it for Cancel, and its owner is enabled and in front again.
    void AskToClose(WindowHandle window) override {
        calls.push_back({"AskToClose", window});
        if (!Exists(window) || !Exists(windows[window].owner))
            return;
        windows[window].exists = false;
        windows[windows[window].owner].enabled = true;
        if (foreground_ == window)
            foreground_ = windows[window].owner;
    }

    // Gives a top-level window the classes and document window of Word or Excel; returns the
    // document window.
    WindowHandle MakeDocumentProgram(WindowHandle top, DocumentProgram program) {
        const WindowHandle document = top + 1, desk = top + 2;
        if (program == DocumentProgram::Word) {
            windows[top].className = L"OpusApp";
            children[{top, L"_WwG"}] = document;
            childClasses[document] = L"_WwG";
        } else {
            windows[top].className = L"XLMAIN";
            children[{top, L"XLDESK"}] = desk;
            children[{desk, L"EXCEL7"}] = document;
            childClasses[desk] = L"XLDESK";
            childClasses[document] = L"EXCEL7";
        }
        return document;
    }

    // A typed key reaches the program of the window in front, which acts as its FakeMenu says.
    void Receive(const KeyEvent& key) {
        ApplyPending();
        if (key.virtualKey == vk::Unassigned) {
            earnedForeground_ = key.down;
            return;
        }
        if (key.virtualKey == vk::Menu || key.virtualKey == vk::Control) {
            (key.virtualKey == vk::Menu ? altDown_ : ctrlDown_) = key.down;
            if (key.virtualKey == vk::Control && !key.down && Exists(foreground_))
                windows[foreground_].missedCtrlRelease = false;
            return;
        }
        if (!key.down || !Exists(foreground_) || windows[foreground_].missedCtrlRelease)
            return;
        FakeWindow& w = windows[foreground_];
        if (key.virtualKey == vk::Escape) {
            if (MenuOpen(w) || w.systemMenuOpen) {
                ++w.escapes;
                CloseMenu(w);
            }
        } else if (altDown_ && key.virtualKey == 'F') {
            OpenFileMenu(foreground_, w);
        } else if (ctrlDown_ && key.virtualKey == 'S') {
            Choose(foreground_, L'^');
        } else if (!altDown_ && key.virtualKey >= 'A' && key.virtualKey <= 'Z') {
            TypeLetter(w, static_cast<wchar_t>(key.virtualKey));
        }
    }

    std::map<WindowHandle, FakeWindow> windows;
    std::vector<WindowHandle> zOrder; // topmost first
    // Child windows by their parent and class, and their classes.
    std::map<std::pair<WindowHandle, std::wstring>, WindowHandle> children;
    std::map<WindowHandle, std::wstring> childClasses;
    std::map<std::wstring, FakeFile>* files = nullptr; // where the programs' saves write
    std::set<std::uint32_t> endedProcesses;
    std::map<std::uint32_t, std::uint64_t> processStarts;
    std::vector<DesktopCall> calls;
    Elevation ownElevation = Elevation::NotElevated;
    WindowHandle owner = 0;            // the owner of `ownerQueryWindow` (Quillon's main window)
    WindowHandle ownerQueryWindow = 0x1001;
    int enumerations = 0;
    int lastTitleBuffer = 0;
    int answerQuestions = 0;
    std::function<void()> whileAnswering;

private:
    WindowHandle FocusOf(WindowHandle window) {
        if (!Exists(window) || !windows[window].hasFocusedControl)
            return 0;
        return windows[window].focus != 0 ? windows[window].focus : window;
    }
    bool MenuOpen(const FakeWindow& w) const {
        return w.menuOpensAt && clock_.now >= *w.menuOpensAt && !(w.menuClosesAt && clock_.now >= *w.menuClosesAt);
    }
    void CloseMenu(FakeWindow& w) {
        w.menuOpensAt.reset();
        w.menuClosesAt.reset();
        w.systemMenuOpen = false;
    }
    void OpenFileMenu(WindowHandle window, FakeWindow& w) {
        switch (w.menu.kind) {
        case FakeMenu::Kind::FileMenu:
            if (w.menu.opens && !MenuOpen(w) && !(w.menuOpensAt && clock_.now < *w.menuOpensAt)) {
                w.menuOpensAt = clock_.now + w.menu.opensAfterMs;
                w.menuClosesAt.reset();
            }
            break;
        case FakeMenu::Kind::SystemMenu:
            w.systemMenuOpen = true;
            break;
        case FakeMenu::Kind::Ribbon:
            w.focusBeforeFileView = w.focus;
            w.focus = kFileView;
            w.caretInFocus = w.menu.viewHasCaret;
            break;
        case FakeMenu::Kind::OwnWindow:
            OpenOwnWindow(window, w.menu.ownWindow);
            break;
        case FakeMenu::Kind::None:
            break;
        }
    }
    // A window of the program, owned by `window`, that takes the front.
    void OpenOwnWindow(WindowHandle window, WindowHandle opened) {
        FakeWindow& o = windows[opened];
        o.exists = o.visible = true;
        o.owner = window;
        o.processId = ProcessIdOf(window);
        SetForeground(opened);
    }
    // A letter picks from an open menu or File view; anywhere else it is text.
    void TypeLetter(FakeWindow& w, wchar_t letter) {
        if (MenuOpen(w)) {
            if (w.menu.letterClosesIt && !w.menuClosesAt) {
                Choose(foreground_, letter);
                w.menuClosesAt = clock_.now + w.menu.closesAfterMs;
            }
        } else if (w.menu.kind == FakeMenu::Kind::Ribbon && w.focus == kFileView && !w.menu.viewHasCaret) {
            if (w.menu.letterClosesIt) {
                Choose(foreground_, letter);
                w.focus = w.focusBeforeFileView;
                w.caretInFocus = true;
            }
        } else if (!w.systemMenuOpen) {
            w.text += static_cast<wchar_t>(letter - L'A' + L'a');
        }
    }

    // A menu item (its letter) or Ctrl+S ('^') chosen.
    void Choose(WindowHandle window, wchar_t how) {
        FakeWindow& w = windows[window];
        w.chosen += how;
        if (files && !w.file.empty() && !w.saveLeavesFile && !w.menu.opensDialog)
            ++(*files)[w.file].lastWrite;
        if (!w.menu.titleAfterSave.empty() && !w.menu.opensDialog)
            w.title = w.menu.titleAfterSave;
        if (!w.menu.opensDialog)
            return;
        w.enabled = false; // a modal dialog disables its owner
        if (w.menu.dialog != 0)
            OpenOwnWindow(window, w.menu.dialog);
    }

    static constexpr WindowHandle kFileView = 0x7F00;

    bool Exists(WindowHandle window) const {
        const auto it = windows.find(window);
        return it != windows.end() && it->second.exists;
    }
    void Activate(WindowHandle window) {
        const std::uint64_t delay = windows[window].activationDelayMs;
        if (delay == 0)
            SetForeground(window);
        else if (!pending_ || pending_->first != window) // a repeated request does not postpone it
            pending_ = std::make_pair(window, clock_.now + delay);
    }
    void ApplyPending() {
        if (pending_ && clock_.now >= pending_->second && Exists(pending_->first))
            SetForeground(pending_->first);
    }

    FakeClock& clock_;
    WindowHandle foreground_ = 0;
    bool altDown_ = false;
    bool ctrlDown_ = false;
    bool earnedForeground_ = false;
    std::optional<std::pair<WindowHandle, std::uint64_t>> pending_;
};

} // namespace quillon::fakes
