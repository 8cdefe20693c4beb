// A day of Quillon's life through the core: the countdown, the saves and everything they touch
// over 86,400 ticks, with nothing that grows or drifts.
#include "fakes/AppHarness.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(LongRun, ADayOfTicksWithAOneMinuteIntervalSavesExactlyOnEveryCycle) {
    fakes::AppHarness h;
    ASSERT_EQ(h.Load(), frmMain::LoadResult::Shown);
    h.desktop.Add(100, L"day.txt - Notepad");
    h.app.OnClick(Control::Command1);
    h.FillLists();
    h.view.SetListIndex(Control::List1, 0);
    h.app.OnChange(Control::List1);
    h.view.SetText(Control::cboTime, L"分");
    h.view.SetText(Control::txtInterval, L"1");
    h.app.OnClick(Control::cmdSet);
    h.app.OnClick(Control::chkSave);
    h.app.OnClick(Control::optOn);
    h.desktop.SetForeground(100); // the user works in the saved document all day
    const std::size_t writesBefore = h.registry.writes.size();

    constexpr int kTicks = 86'400;
    int saves = 0;
    for (int tick = 1; tick <= kTicks; ++tick) {
        h.clock.Advance(1000);
        h.app.OnTimer(Timer::tmrLoop);
        if (h.view.TimerRunning(Timer::tmrDeliver))
            h.RunDelivery(100);
        if (h.view.Text(Control::txtRemaining) == L"60" && h.app.Progress().Value() == 0)
            ++saves;
    }
    // A 60-second interval saves on every 61st tick: 60, 59, ..., 0, then the save.
    EXPECT_EQ(saves, kTicks / 61);
    EXPECT_EQ(h.desktop.windows[100].chosen, std::wstring(kTicks / 61, L'S')) << "its File menu took every save";
    EXPECT_EQ(h.desktop.windows[100].text, L"") << "no key went into the document";
    const std::string& log = h.system.files[L"C:\\Tools\\quillon.log"];
    EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')), static_cast<std::size_t>(saves));
    EXPECT_EQ(h.view.Text(Control::txtRemaining), std::to_wstring(60 - kTicks % 61))
        << "no drift: the count stands where the tick count says";
    EXPECT_EQ(h.registry.writes.size(), writesBefore) << "nothing is stored while saving runs";
    EXPECT_EQ(h.registry.OpenHandles(), 0);
    EXPECT_FALSE(h.view.TimerOf(Timer::tmrDeliver).enabled);
    EXPECT_EQ(h.desktop.enumerations, 2) << "the lists were not refreshed behind the user's back";
}

} // namespace
} // namespace quillon
