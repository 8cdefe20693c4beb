// frmMain over the fakes, with the window's own events wired the way the real window raises them.
#pragma once

#include "app/frmMain.h"
#include "fakes/FakeDesktop.h"
#include "fakes/FakeDocuments.h"
#include "fakes/FakeFormView.h"
#include "fakes/FakeInput.h"
#include "fakes/FakeRegistry.h"
#include "fakes/FakeShell.h"
#include "fakes/FakeSystem.h"

namespace quillon::fakes {

inline const std::string kSettingsKey = "Software\\Brellon Studios\\Quillon";

struct AppHarness {
    AppHarness() {
        view.onResize = [this] { app.Form_Resize(); };
        view.onShow = [this] {
            app.Form_Resize();
            app.Form_Activate();
        };
        view.onClose = [this] {
            app.Form_QueryUnload();
            app.Form_Unload();
            app.Form_Terminate();
        };
        desktop.Add(view.handle, L"岚舟自动保存").ownProcess = true;
        input.clock = &clock;
        input.onKey = [this](const KeyEvent& key) { desktop.Receive(key); };
        documents.desktop = &desktop;
        desktop.files = &documents.files;
    }

    frmMain::LoadResult Load() { return app.Form_Load(); }

    // Runs the fill that tmrWait does a second after a refresh.
    void FillLists() {
        ASSERT_TRUE(view.TimerRunning(Timer::tmrWait));
        app.OnTimer(Timer::tmrWait);
    }
    // Moves the clock on in 10 ms steps, ticking the delivery timers while they run.
    void RunDelivery(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 10) {
            clock.Advance(10);
            for (Timer timer : {Timer::tmrDeliver, Timer::tmrDocument, Timer::tmrMessage, Timer::tmrCopy})
                if (view.TimerRunning(timer))
                    app.OnTimer(timer);
        }
    }
    // Selects the listed entry of `window`, as the user's click does.
    void Select(WindowHandle window) {
        const auto& handles = view.ListItems(Control::List2);
        for (std::size_t i = 0; i < handles.size(); ++i)
            if (handles[i] == std::to_wstring(window))
                view.SetListIndex(Control::List1, static_cast<int>(i));
        app.OnChange(Control::List1);
    }
    // Lists the programs, chooses `window`, sets the interval in seconds and switches saving on:
    // the window goes to the tray, where it stays all day.
    void StartSaving(WindowHandle window, const std::wstring& seconds = L"3") {
        app.OnClick(Control::Command1);
        FillLists();
        Select(window);
        view.SetText(Control::cboTime, L"秒");
        view.SetText(Control::txtInterval, seconds);
        app.OnClick(Control::cmdSet);
        app.OnTimer(Timer::tmrRefresh);
        ASSERT_TRUE(view.Enabled(Control::optOn));
        app.OnClick(Control::optOn);
    }
    // Ticks the countdown, a second at a time, up to and through its next save cycle, and lets
    // the cycle run for `ms`.
    void NextCycle(std::uint64_t ms = 1500) {
        for (int tick = 0; tick < 100000; ++tick) {
            const bool last = view.Text(Control::txtRemaining) == L"0";
            clock.Advance(1000);
            app.OnTimer(Timer::tmrLoop);
            if (last)
                break;
        }
        RunDelivery(ms);
    }
    // The tip's text, without the NUL and the blanks of its field.
    std::wstring Tip() const { return tray.shown.tip.substr(0, tray.shown.tip.find(L'\0')); }
    std::wstring Stored(const std::string& name) const {
        const RegValue* value = registry.Get(kSettingsKey, name);
        return value ? FromUtf8(std::string(value->data.begin(), value->data.end())) : L"<absent>";
    }

    FakeClock clock;
    FakeFormView view;
    FakeDesktop desktop{clock};
    FakeInput input;
    FakeRegistry registry;
    FakeTray tray;
    FakeShellUi shell;
    FakeSystem system{clock};
    FakeUserRegistry userRegistry;
    FakeDocuments documents{clock};
    Platform platform{desktop, input, registry, tray, shell, system, userRegistry, documents};
    frmMain app{view, platform, L"1.0.0"};
};

} // namespace quillon::fakes
