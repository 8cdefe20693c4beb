// The tray icon's mouse messages at any DPI. The icon's callback arrives as a mouse move whose X
// coordinate carries the mouse message; the window reads it back in twips and divides by the
// screen's twips per pixel. Every code must come back whole at any DPI, only the icon's callbacks
// may count as such, and through the whole window a double click brings it back and switches
// saving off, a right-button release opens the menu, and anything else does nothing.
#include "FuzzSupport.h"

#include "fakes/AppHarness.h"
#include "shell/IconMenu.h"

#include <cmath>

using namespace quillon;

namespace {

// Twips per pixel as the window reports it: 1440 divided by the DPI.
double TwipsPerPixel(FuzzedDataProvider& data) {
    static const int kCommonDpi[] = {96, 120, 144, 168, 192, 240, 288, 384, 480, 72};
    const int dpi = data.ConsumeBool() ? data.PickValueInArray(kCommonDpi) : data.ConsumeIntegralInRange(24, 2400);
    return 1440.0 / dpi;
}

MouseMoveMessage AnyMessage(FuzzedDataProvider& data) {
    MouseMoveMessage m;
    // Mostly messages shaped like the icon's, now and then anything at all.
    if (data.ConsumeBool()) {
        m.wParam = tray::kIconId;
        m.lParam = data.ConsumeIntegralInRange(tray::WmMouseFirst - 2, tray::WmMouseLast + 2);
    } else {
        m.wParam = data.ConsumeIntegral<std::uintptr_t>();
        m.lParam = data.ConsumeIntegral<std::intptr_t>();
    }
    m.sentFromOtherThread = data.ConsumeBool();
    m.cursorClientX = data.ConsumeBool() ? static_cast<int>(m.lParam & 0xFFFF) : data.ConsumeIntegral<int>();
    m.cursorClientY = data.ConsumeBool() ? 0 : data.ConsumeIntegral<int>();
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const double tpp = TwipsPerPixel(data);

    // Every 16-bit code survives the trip through twips.
    const int code = data.ConsumeIntegralInRange(0, 0xFFFF);
    FUZZ_CHECK(DecodeTrayMessage(code * tpp, tpp) == code) << "code " << code << " at " << tpp << " twips/pixel";

    const MouseMoveMessage m = AnyMessage(data);
    const bool callback = IsTrayCallback(m);
    const int x = static_cast<int>(static_cast<std::uintptr_t>(m.lParam) & 0xFFFF);
    const int y = static_cast<int>((static_cast<std::uintptr_t>(m.lParam) >> 16) & 0xFFFF);
    if (callback) {
        FUZZ_CHECK(m.wParam == tray::kIconId);
        FUZZ_CHECK(y == 0 && x >= tray::WmMouseFirst && x <= tray::WmMouseLast) << m.lParam;
        FUZZ_CHECK(m.sentFromOtherThread || m.cursorClientX != x || m.cursorClientY != y)
            << "the pointer really moving to where it is counts as a callback";
    }

    // Through the window.
    fuzz::FakeFailures failures;
    fakes::AppHarness app;
    app.view.twipsPerPixel = tpp;
    FUZZ_CHECK(app.Load() == frmMain::LoadResult::Shown);
    app.app.OnClick(Control::optOn);
    const int optOn = app.view.Value(Control::optOn);
    const std::size_t menus = app.shell.menus.size();
    const WindowState state = app.view.State();
    app.shell.menuChoice = 0; // the menu is dismissed
    app.app.Form_MouseMove(m);
    const int decoded = callback ? x : -1;
    if (decoded == tray::WmRButtonUp) {
        FUZZ_CHECK(app.shell.menus.size() == menus + 1) << "no menu for a right-button release";
    } else {
        FUZZ_CHECK(app.shell.menus.size() == menus) << "a menu for message " << m.lParam;
    }
    if (decoded == tray::WmLButtonDblClk) {
        FUZZ_CHECK(app.view.Value(Control::optOn) == 0 && app.view.Value(Control::optOff) == 1);
        FUZZ_CHECK(app.view.State() == WindowState::Normal);
    } else {
        FUZZ_CHECK(app.view.Value(Control::optOn) == optOn) << "message " << m.lParam << " switched saving";
        FUZZ_CHECK(app.view.State() == state);
    }
    return 0;
}
