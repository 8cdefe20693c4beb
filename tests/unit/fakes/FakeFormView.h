// frmMain's controls in memory. The list boxes behave like Win32 list boxes: an insert before the
// selected entry moves the selection with it, removing or clearing drops it.
#pragma once

#include "app/FormLayout.h"
#include "app/FormView.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quillon::fakes {

struct TimerState {
    unsigned intervalMs = 0;
    bool enabled = false;
};

class FakeFormView : public IFormView {
public:
    FakeFormView() {
        // The window is created from its description, as the real one is.
        for (const ControlDesign& design : kFormControls) {
            texts_[design.control] = std::wstring(design.text);
            values_[design.control] = design.initialValue;
            enabled_[design.control] = true;
        }
        for (const TimerDesign& timer : kFormTimers)
            timers_[timer.timer] = {timer.intervalMs, timer.enabled};
    }

    std::wstring Text(Control c) const override { return texts_.at(c); }
    void SetText(Control c, const std::wstring& text) override { texts_[c] = text; }
    int Value(Control c) const override { return values_.at(c); }
    void SetValue(Control c, int value) override { values_[c] = value; }
    bool Enabled(Control c) const override { return enabled_.at(c); }
    void SetEnabled(Control c, bool enabled) override { enabled_[c] = enabled; }

    void ListClear(Control list) override {
        lists_[list].clear();
        Selected(list) = -1;
    }
    void ListInsert(Control list, int index, const std::wstring& text) override {
        auto& items = lists_[list];
        if (index == -1)
            index = static_cast<int>(items.size());
        if (index < 0 || index > static_cast<int>(items.size())) {
            ADD_FAILURE() << "insert at " << index << " into a list of " << items.size();
            return;
        }
        items.insert(items.begin() + index, text);
        if (Selected(list) >= index)
            ++Selected(list);
    }
    void ListRemove(Control list, int index) override {
        auto& items = lists_[list];
        if (index < 0 || index >= static_cast<int>(items.size())) {
            ADD_FAILURE() << "remove at " << index << " from a list of " << items.size();
            return;
        }
        items.erase(items.begin() + index);
        int& selected = Selected(list);
        if (selected == index)
            selected = -1;
        else if (selected > index)
            --selected;
    }
    int ListCount(Control list) const override { return static_cast<int>(ListItems(list).size()); }
    std::wstring ListText(Control list, int index) const override {
        const auto& items = ListItems(list);
        if (index < 0 || index >= static_cast<int>(items.size())) {
            ADD_FAILURE() << "read of entry " << index << " from a list of " << items.size();
            return L"";
        }
        return items[index];
    }
    int ListIndex(Control list) const override {
        const auto it = selected_.find(list);
        return it == selected_.end() ? -1 : it->second;
    }
    void SetListIndex(Control list, int index) override {
        Selected(list) = index >= 0 && index < ListCount(list) ? index : -1;
    }

    void BeginListUpdate(Control list, int) override { ++listUpdates[list]; }
    void EndListUpdate(Control list) override { --listUpdates[list]; }
    void ShowProgress(int max, int value) override {
        shownMax = max;
        shownValue = value;
    }
    void SetTimer(Timer timer, unsigned intervalMs, bool enabled) override {
        timers_[timer] = {intervalMs, enabled};
    }

    WindowHandle Handle() const override { return handle; }
    WindowState State() const override { return state_; }
    void SetState(WindowState state) override {
        state_ = state;
        stateChanges.push_back(state);
        if (onResize)
            onResize();
    }
    void Show() override {
        ++shows;
        if (onShow)
            onShow();
    }
    void Close() override {
        ++closes;
        if (onClose)
            onClose();
    }
    std::uintptr_t IconHandle() const override { return iconHandle; }
    std::uintptr_t AlertIconHandle() const override { return alertIconHandle; }

    double WidthTwips() const override { return widthTwips; }
    double HeightTwips() const override { return heightTwips; }
    void MoveTwips(double left, double top) override {
        leftTwips = left;
        topTwips = top;
        ++moves;
    }
    double TwipsPerPixelX() const override { return twipsPerPixel; }
    double TwipsPerPixelY() const override { return twipsPerPixel; }

    // Test helpers.
    const std::vector<std::wstring>& ListItems(Control list) const {
        static const std::vector<std::wstring> empty;
        const auto it = lists_.find(list);
        return it == lists_.end() ? empty : it->second;
    }
    void SetList(Control list, const std::vector<std::wstring>& items, int selected = -1) {
        lists_[list] = items;
        Selected(list) = selected;
    }
    TimerState TimerOf(Timer timer) const {
        const auto it = timers_.find(timer);
        return it == timers_.end() ? TimerState{} : it->second;
    }
    bool TimerRunning(Timer timer) const { return TimerOf(timer).enabled && TimerOf(timer).intervalMs > 0; }

    WindowHandle handle = 0x1001;
    std::uintptr_t iconHandle = 0xC0DE;
    std::uintptr_t alertIconHandle = 0xA1E7;
    double widthTwips = 9840, heightTwips = 4260;
    double leftTwips = 0, topTwips = 0;
    double twipsPerPixel = 15;
    int moves = 0, shows = 0, closes = 0;
    std::optional<int> shownMax, shownValue;
    std::vector<WindowState> stateChanges;
    std::map<Control, int> listUpdates; // begun and not yet ended
    // Raised like the real window raises them: a state change resizes; the first show resizes and
    // activates; closing runs the close request, the unload and the termination.
    std::function<void()> onResize, onShow, onClose;

private:
    int& Selected(Control list) { return selected_.try_emplace(list, -1).first->second; }

    std::map<Control, std::wstring> texts_;
    std::map<Control, int> values_;
    std::map<Control, bool> enabled_;
    std::map<Control, std::vector<std::wstring>> lists_;
    std::map<Control, int> selected_;
    std::map<Timer, TimerState> timers_;
    WindowState state_ = WindowState::Normal;
};

} // namespace quillon::fakes
