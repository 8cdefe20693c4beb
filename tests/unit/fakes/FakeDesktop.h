// A desktop of top-level windows with a foreground window that moves only when the fake allows it.
#pragma once

#include "fakes/FakeSystem.h"
#include "platform/Platform.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quillon::fakes {

constexpr std::uint32_t kWsVisible = 0x10000000u, kWsBorder = 0x00800000u, kWsCaption = 0x00C00000u;

struct FakeWindow {
    std::wstring title;
    std::uint32_t style = kWsVisible | kWsCaption;
    WindowPlacementInfo placement{1, {}};
    bool exists = true;
    bool visible = true;
    bool ownProcess = false;
    bool hasFocusedControl = true;
    bool enabled = true;
    bool answers = true;      // false: the program hangs
    int menuModePolls = 0;    // after typed keys: how many looks find its menu still open
    WindowHandle owner = 0;   // a dialog's owner
    std::uint32_t processId = 0; // 0: one of its own, from the handle
    WindowHandle focus = 0;   // the focused control, 0: the window itself
    Elevation elevation = Elevation::NotElevated;
    // Activation behaviour: how many plain requests are refused, whether the stronger retry is
    // allowed, and how long an allowed activation takes to arrive.
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
        return Exists(window) && windows[window].answers;
    }
    bool InMenuMode(WindowHandle window) override {
        if (!Exists(window) || windows[window].menuModePolls == 0)
            return false;
        --windows[window].menuModePolls;
        return true;
    }
    WindowHandle FocusOf(WindowHandle window) override {
        if (!Exists(window))
            return 0;
        return windows[window].focus != 0 ? windows[window].focus : window;
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
        if (w.refusals > 0) {
            --w.refusals;
            return false;
        }
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
    bool RetryForeground(WindowHandle window) override {
        calls.push_back({"RetryForeground", window});
        if (!Exists(window) || !windows[window].retryAllowed)
            return false;
        Activate(window);
        return true;
    }
    WindowHandle ForegroundWindow() override {
        ApplyPending();
        return foreground_;
    }
    bool IsReadyForInput(WindowHandle window) override {
        ApplyPending();
        return window != 0 && foreground_ == window && Exists(window) && windows[window].hasFocusedControl;
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

    std::map<WindowHandle, FakeWindow> windows;
    std::vector<WindowHandle> zOrder; // topmost first
    std::vector<DesktopCall> calls;
    Elevation ownElevation = Elevation::NotElevated;
    WindowHandle owner = 0;            // the owner of `ownerQueryWindow` (Quillon's main window)
    WindowHandle ownerQueryWindow = 0x1001;
    int enumerations = 0;
    int lastTitleBuffer = 0;
    int answerQuestions = 0;
    std::function<void()> whileAnswering;

private:
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
    std::optional<std::pair<WindowHandle, std::uint64_t>> pending_;
};

} // namespace quillon::fakes
