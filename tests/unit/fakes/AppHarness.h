// frmMain over the fakes, with the window's own events wired the way the real window raises them.
#pragma once

#include "app/frmMain.h"
#include "fakes/FakeDesktop.h"
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
    }

    frmMain::LoadResult Load() { return app.Form_Load(); }

    // Runs the fill that tmrWait does a second after a refresh.
    void FillLists() {
        ASSERT_TRUE(view.TimerRunning(Timer::tmrWait));
        app.OnTimer(Timer::tmrWait);
    }
    // Moves the clock on in 10 ms steps, ticking the delivery timer while it runs.
    void RunDelivery(std::uint64_t ms) {
        for (std::uint64_t t = 0; t < ms; t += 10) {
            clock.Advance(10);
            if (view.TimerRunning(Timer::tmrDeliver))
                app.OnTimer(Timer::tmrDeliver);
        }
    }
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
    Platform platform{desktop, input, registry, tray, shell, system};
    frmMain app{view, platform, L"1.0.0"};
};

} // namespace quillon::fakes
