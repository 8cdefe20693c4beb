// The interval through the whole window: typed texts, unit changes (cboTime), 设置时间 (cmdSet),
// the tray menu's set-time with any answer, and tmrLoop ticks with saving switched on.
// Properties: 剩余时间 (txtRemaining) always holds a number or a text the program deliberately put
// there (an interval text as typed, or the documented empty text of "#"); and once an interval of
// at least 2 seconds has been accepted, and not typed over since, no two consecutive ticks save.
#include "FuzzSupport.h"

#include "fakes/AppHarness.h"

#include <set>

using namespace quillon;
using fuzz::Show;

namespace {

constexpr WindowHandle kTarget = 0x2002;

std::wstring AnyInterval(FuzzedDataProvider& data) {
    static const wchar_t* kTexts[] = {L"2",     L"3",   L"10",   L"60",     L"1",      L"0.5",  L"0",   L"-5",
                                      L"1e30",  L"1e400", L".03", L"1.5",   L"abc",    L"",     L" 7 ", L"3e38",
                                      L"1.7976931348623157e308", L"9e15", L"0.01", L"2.5"};
    if (data.ConsumeBool())
        return data.PickValueInArray(kTexts);
    return fuzz::TextFrom(data, L"0123456789.-+eE ", 12);
}

struct Driver {
    explicit Driver(FuzzedDataProvider& data) : data(data) {}

    void Start() {
        app.desktop.Add(kTarget, L"Notes - Editor").style = fakes::kWsVisible | fakes::kWsBorder;
        FUZZ_CHECK(app.Load() == frmMain::LoadResult::Shown);
        app.FillLists();
        FUZZ_CHECK(app.view.ListCount(Control::List1) >= 1);
        app.view.SetListIndex(Control::List1, 0);
        Remember();
    }

    // Every interval text that has been in the window may be written to 剩余时间 as it stands.
    void Remember() { deliberate.insert(app.view.Text(Control::txtInterval)); }

    void Type() {
        app.view.SetText(Control::txtInterval, AnyInterval(data));
        Remember();
        acceptedAtLeastTwo = false; // a typed interval is in force only once it is set
    }
    void PickUnit() {
        static const wchar_t* kUnits[] = {L"秒", L"分", L"Seconds", L"Minutes", L"x"};
        app.view.SetText(Control::cboTime, data.PickValueInArray(kUnits));
        app.app.cboTime_Click();
        Remember();
    }
    void Accepted() {
        const auto seconds = numbers.Parse(app.view.Text(Control::txtRemaining));
        acceptedAtLeastTwo = seconds && *seconds >= 2;
    }
    void Set() {
        const auto number = numbers.Parse(app.view.Text(Control::txtInterval));
        const std::wstring unit = app.view.Text(Control::cboTime);
        app.app.OnClick(Control::cmdSet);
        if (number && *number > 0 && (unit == L"秒" || unit == L"分"))
            Accepted();
    }
    void TraySetTime() {
        app.shell.answers.push_back(data.ConsumeBool() ? L"" : AnyInterval(data));
        app.shell.menuChoice = traymenu::kSetTime;
        MouseMoveMessage rightUp;
        rightUp.wParam = tray::kIconId;
        rightUp.lParam = tray::WmRButtonUp;
        rightUp.sentFromOtherThread = true;
        app.app.Form_MouseMove(rightUp);
        app.shell.menuChoice = 0;
        Remember();
        Accepted();
    }
    void Ticks() {
        if (app.view.Value(Control::optOn) != 1)
            app.app.OnClick(Control::optOn);
        const int n = data.ConsumeIntegralInRange(1, 12);
        for (int i = 0; i < n; ++i) {
            const int before = app.desktop.CountOf("SetForegroundWindow", kTarget);
            app.clock.Advance(1);
            app.app.OnTimer(Timer::tmrRefresh);
            app.app.OnTimer(Timer::tmrLoop);
            app.RunDelivery(990); // the delivery has finished before the next tick
            const bool saved = app.desktop.CountOf("SetForegroundWindow", kTarget) > before;
            FUZZ_CHECK(!(saved && savedLastTick && acceptedAtLeastTwo))
                << "saves on two consecutive ticks with interval " << Show(app.view.Text(Control::txtInterval))
                << " " << Show(app.view.Text(Control::cboTime)) << ", remaining "
                << Show(app.view.Text(Control::txtRemaining));
            savedLastTick = saved;
            CheckRemaining();
        }
    }
    void CheckRemaining() {
        const std::wstring remaining = app.view.Text(Control::txtRemaining);
        FUZZ_CHECK(numbers.Parse(remaining) || remaining.empty() || deliberate.count(remaining))
            << "剩余时间 shows " << Show(remaining);
    }

    FuzzedDataProvider& data;
    fakes::AppHarness app;
    const Numbers numbers; // the fake system's decimal point
    std::set<std::wstring> deliberate;
    bool acceptedAtLeastTwo = false;
    bool savedLastTick = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    fuzz::FakeFailures failures;
    Driver d(data);
    d.Start();
    for (int step = 0; step < 60 && data.remaining_bytes() > 0; ++step) {
        switch (data.ConsumeIntegralInRange(0, 5)) {
        case 0: d.Type(); break;
        case 1: d.PickUnit(); break;
        case 2: d.Set(); break;
        case 3: d.TraySetTime(); break;
        default: d.Ticks(); break;
        }
        d.CheckRemaining();
    }
    return 0;
}
