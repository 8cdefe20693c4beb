// The whole core under a generated sequence of user, desktop and clock events: clicks, list
// selections, option values, every timer, the clock, windows that open, close, come to the front
// or run elevated, programs whose File menu opens late, never, elsewhere or not at all, keys and
// mouse buttons held, F2/F3 on the keyboard device and the tray icon's callbacks. The properties,
// checked at the moment of every typed batch: the save keys go only into the foreground window,
// which exists, is not one of Quillon's own, does not run elevated above Quillon, and only while
// no guarded key or button is down; the save's letter goes only into that window's own open File
// menu (or a File view without a caret), Escape only into a menu of the window in front; and
// once a save is over, no key Quillon pressed is still down. A document is asked for its Save
// only when it can be saved in place (the fakes check), and never while the keys are typing.
#include "FuzzSupport.h"

#include "fakes/AppHarness.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <set>

using namespace quillon;
using fuzz::Show;

namespace {

// The fake input, checking every batch against the desktop at the moment it is typed.
class CheckingInput : public fakes::FakeInput {
public:
    fakes::FakeDesktop* desktop = nullptr;
    // The listed target and the current-window option when the last save began (see CheckingSystem).
    bool saveBegan = false;
    WindowHandle listedAtBegin = 0;
    int currentAtBegin = 0;

    std::size_t SendKeys(const std::vector<KeyEvent>& events, WindowHandle target) override {
        const bool releasesOnly = std::none_of(events.begin(), events.end(), [](const KeyEvent& e) { return e.down; });
        const bool tap = !events.empty() && events[0].virtualKey == vk::Unassigned;
        if (!releasesOnly && !tap)
            CheckBatch(events, target);
        const std::size_t inserted = FakeInput::SendKeys(events, target);
        for (std::size_t i = 0; i < inserted && i < events.size(); ++i) {
            if (events[i].down)
                ownDown.insert(events[i].virtualKey);
            else
                ownDown.erase(events[i].virtualKey);
        }
        return inserted;
    }
    std::set<std::uint8_t> ownDown; // keys Quillon pressed and has not released

private:
    void CheckBatch(const std::vector<KeyEvent>& events, WindowHandle target) {
        for (std::uint8_t key : kGuardedKeys)
            FUZZ_CHECK(!IsKeyDown(key) || ownDown.count(key)) << "typed while key " << int(key) << " was down";
        const auto it = desktop->windows.find(target);
        FUZZ_CHECK(it != desktop->windows.end() && it->second.exists) << "typed into a closed window " << target;
        const fakes::FakeWindow& window = it->second;
        if (window.ownProcess) {
            const bool listed = saveBegan && listedAtBegin == target;
            FUZZ_CHECK(false) << "typed into Quillon's own window " << target << " " << Show(window.title)
                              << (listed ? " (the listed target when the save began)" : " (not the listed target)")
                              << ", chkCurrent at the save's start " << currentAtBegin;
        }
        FUZZ_CHECK(desktop->ForegroundWindow() == target)
            << "typed into " << target << " while " << desktop->ForegroundWindow() << " was in front";
        if (desktop->ownElevation != Elevation::Elevated)
            FUZZ_CHECK(window.elevation == Elevation::NotElevated)
                << "typed key " << int(events[0].virtualKey) << " into an elevated window " << target << " (elevation " << int(window.elevation) << ")";
        const ThreadInput in = desktop->InputOf(target);
        const std::uint8_t first = events[0].virtualKey;
        if (first == 'S' || first == 'A') {
            const bool ownMenu = in.inMenu && in.menuShown && !in.systemMenu && in.menuOwner == target;
            const bool fileView = !in.inMenu && in.focus != 0 && in.caret == 0;
            FUZZ_CHECK(ownMenu || fileView) << "typed the letter into " << target << " "
                                            << Show(window.title) << " with no File menu of its own open";
        } else if (first == vk::Escape) {
            FUZZ_CHECK(in.inMenu) << "typed Escape into " << target << " outside a menu";
        } else {
            FUZZ_CHECK(!in.inMenu) << "typed Alt+F into " << target << " while it was in a menu";
        }
    }
};

// The fake system, noting from the save cycle's timing mark what the save began with.
class CheckingSystem : public fakes::FakeSystem {
public:
    using FakeSystem::FakeSystem;
    void Trace(const wchar_t* event) override {
        if (std::wstring(event) == L"save-cycle" && view && input) {
            const int index = view->ListIndex(Control::List1);
            input->saveBegan = true;
            input->listedAtBegin = index >= 0 && index < view->ListCount(Control::List2)
                                       ? static_cast<WindowHandle>(std::wcstol(view->ListText(Control::List2, index).c_str(), nullptr, 10))
                                       : 0;
            input->currentAtBegin = view->Value(Control::chkCurrent);
        }
        FakeSystem::Trace(event);
    }
    const fakes::FakeFormView* view = nullptr;
    CheckingInput* input = nullptr;
};

// frmMain over the fakes, wired as AppHarness wires it, with the checking input.
struct Harness {
    Harness() {
        input.desktop = &desktop;
        system.view = &view;
        system.input = &input;
        view.onResize = [this] { app.Form_Resize(); };
        view.onShow = [this] {
            app.Form_Resize();
            app.Form_Activate();
        };
        view.onClose = [this] {
            closed = true;
            app.Form_QueryUnload();
            app.Form_Unload();
            app.Form_Terminate();
        };
        desktop.Add(view.handle, L"岚舟自动保存").ownProcess = true;
        input.onKey = [this](const KeyEvent& key) { desktop.Receive(key); };
        input.clock = &clock;
    }

    fakes::FakeClock clock;
    fakes::FakeFormView view;
    fakes::FakeDesktop desktop{clock};
    CheckingInput input;
    fakes::FakeRegistry registry;
    fakes::FakeTray tray;
    fakes::FakeShellUi shell;
    CheckingSystem system{clock};
    fakes::FakeUserRegistry userRegistry;
    fakes::FakeDocuments documents{clock};
    Platform platform{desktop, input, registry, tray, shell, system, userRegistry, documents};
    frmMain app{view, platform, L"1.0.0"};
    bool closed = false;
};

constexpr Control kClickable[] = {Control::cmdSet,    Control::Command1,   Control::optOn,      Control::optOff,
                                  Control::chkSaveAs, Control::chkCurrent, Control::chkVisible, Control::chkSave,
                                  Control::cmdKill,   Control::XPButton1};
constexpr Control kBoxes[] = {Control::chkSaveAs, Control::chkCurrent, Control::chkVisible, Control::chkSave};
constexpr Timer kTimers[] = {Timer::tmrLoop,    Timer::tmrWait,     Timer::tmrRefresh, Timer::tmrKey,
                             Timer::tmrDeliver, Timer::tmrDocument, Timer::tmrMessage, Timer::tmrCopy};
constexpr std::uint8_t kKeys[] = {vk::Shift, vk::Control, vk::Menu,     vk::LWin,     vk::RWin, vk::F2, vk::F3,
                                  vk::LButton, vk::RButton, vk::MButton, vk::XButton1, vk::XButton2, 'A', 'F', 'S'};

class Driver {
public:
    explicit Driver(FuzzedDataProvider& data) : data_(data) {}

    void Run() {
        h_.desktop.ownElevation = data_.ConsumeIntegralInRange(0, 5) == 0 ? Elevation::Elevated : Elevation::NotElevated;
        const int initial = data_.ConsumeIntegralInRange(1, 6);
        for (int i = 0; i < initial; ++i)
            AddWindow();
        if (data_.ConsumeBool())
            h_.registry.PutText(fakes::kSettingsKey, settings::TimerInterval, "2");
        if (h_.app.Form_Load() != frmMain::LoadResult::Shown)
            return;
        for (int step = 0; step < 400 && data_.remaining_bytes() > 0 && !h_.closed; ++step) {
            Step();
            if (!h_.app.Delivery().Busy())
                FUZZ_CHECK(h_.input.ownDown.empty()) << "a key Quillon pressed is still down after the save";
            FUZZ_CHECK(!(h_.app.Delivery().Busy() && h_.view.TimerRunning(Timer::tmrDocument)))
                << "the keys and a document's own save at once";
        }
    }

private:
    WindowHandle AnyWindow() {
        if (h_.desktop.zOrder.empty())
            return 0;
        return h_.desktop.zOrder[data_.ConsumeIntegralInRange<std::size_t>(0, h_.desktop.zOrder.size() - 1)];
    }
    void AddWindow() {
        const WindowHandle handle = nextHandle_;
        nextHandle_ += 4;
        fakes::FakeWindow& w = h_.desktop.Add(handle, data_.ConsumeBool() ? L"Notes - Editor" : fuzz::AnyText(data_, 6));
        w.style = data_.ConsumeBool() ? fakes::kWsVisible | fakes::kWsBorder : data_.ConsumeIntegral<std::uint32_t>();
        w.ownProcess = data_.ConsumeIntegralInRange(0, 7) == 0; // one of Quillon's own dialogs
        w.refusals = data_.ConsumeIntegralInRange(0, 3);
        w.retryAllowed = data_.ConsumeBool();
        w.activationDelayMs = data_.ConsumeBool() ? 0 : data_.ConsumeIntegralInRange(0, 1500);
        w.hasFocusedControl = data_.ConsumeIntegralInRange(0, 5) != 0;
        w.menu.kind = data_.PickValueInArray({fakes::FakeMenu::Kind::FileMenu, fakes::FakeMenu::Kind::FileMenu,
                                              fakes::FakeMenu::Kind::None, fakes::FakeMenu::Kind::SystemMenu,
                                              fakes::FakeMenu::Kind::Ribbon});
        w.menu.opens = data_.ConsumeIntegralInRange(0, 5) != 0;
        w.menu.opensAfterMs = data_.ConsumeIntegralInRange(0, 1300);
        w.menu.owner = data_.ConsumeIntegralInRange(0, 7) == 0 ? AnyWindow() : 0;
        w.menu.letterClosesIt = data_.ConsumeIntegralInRange(0, 5) != 0;
        w.menu.closesAfterMs = data_.ConsumeIntegralInRange(0, 300);
        w.menu.ignoresCancel = data_.ConsumeBool();
        w.menu.opensDialog = data_.ConsumeIntegralInRange(0, 5) == 0;
        w.menu.viewHasCaret = data_.ConsumeBool();
        w.caretInFocus = data_.ConsumeIntegralInRange(0, 5) != 0;
        w.busyUntil = data_.ConsumeBool() ? 0 : h_.clock.now + data_.ConsumeIntegralInRange(0, 5000);
        if (data_.ConsumeIntegralInRange(0, 3) == 0)
            AddDocument(handle);
    }
    // Word or Excel: a document that answers for itself, late, busy, hung, or not at all.
    void AddDocument(WindowHandle window) {
        const auto program = data_.ConsumeBool() ? DocumentProgram::Word : DocumentProgram::Excel;
        fakes::FakeDocument& d = h_.documents.documents[h_.desktop.MakeDocumentProgram(window, program)];
        d.state = {data_.ConsumeIntegralInRange(0, 7) == 0, data_.ConsumeBool(), data_.ConsumeIntegralInRange(0, 5) != 0,
                   data_.ConsumeIntegralInRange(0, 7) == 0, data_.ConsumeIntegralInRange(0, 7) == 0,
                   data_.ConsumeBool() ? L"C:\\docs\\report.docx" : L""};
        d.copyRefused = data_.ConsumeBool();
        h_.documents.files[L"C:\\docs\\report.docx"].locked = data_.ConsumeIntegralInRange(0, 5) == 0;
        d.saveLeavesFile = data_.ConsumeIntegralInRange(0, 5) == 0;
        d.noObject = data_.ConsumeIntegralInRange(0, 7) == 0;
        d.unexpected = data_.ConsumeIntegralInRange(0, 7) == 0;
        d.busyUntil = data_.ConsumeBool() ? 0 : h_.clock.now + data_.ConsumeIntegralInRange(0, 8000);
        d.hangsUntil = data_.ConsumeIntegralInRange(0, 5) == 0 ? h_.clock.now + data_.ConsumeIntegralInRange(0, 20000) : 0;
        d.latencyMs = data_.ConsumeIntegralInRange(0, 300);
        d.saveFailure = data_.ConsumeIntegralInRange(0, 7) == 0 ? data_.PickValueInArray({0x80020009u, 0x80010001u, 0x800706BAu}) : 0;
        d.saveLeavesChanges = data_.ConsumeIntegralInRange(0, 7) == 0;
        d.goneAfterSave = data_.ConsumeIntegralInRange(0, 7) == 0;
    }
    void Tray() {
        static const int kCodes[] = {tray::WmLButtonDblClk, tray::WmRButtonUp, 0x201, 0x202, 0x204};
        MouseMoveMessage m;
        m.wParam = tray::kIconId;
        m.lParam = data_.PickValueInArray(kCodes);
        m.sentFromOtherThread = true;
        // The menu's choice: a program, set-time (with an answer), exit, or dismissed.
        switch (data_.ConsumeIntegralInRange(0, 4)) {
        case 0:
            h_.shell.menuChoice = traymenu::kFirstProgram + data_.ConsumeIntegralInRange(0, 8);
            break;
        case 1:
            h_.shell.menuChoice = traymenu::kSetTime;
            h_.shell.answers.push_back(data_.PickValueInArray({L"2", L"1", L"0", L"", L"x", L"5"}));
            break;
        case 2:
            h_.shell.menuChoice = data_.ConsumeIntegralInRange(0, 20) == 0 ? traymenu::kExit : 0;
            break;
        default:
            h_.shell.menuChoice = 0;
        }
        h_.app.Form_MouseMove(m);
    }
    void Step() {
        switch (data_.ConsumeIntegralInRange(0, 15)) {
        case 0:
            h_.app.OnClick(data_.PickValueInArray(kClickable));
            break;
        case 1:
            h_.view.SetListIndex(Control::List1, data_.ConsumeIntegralInRange(-1, 8));
            break;
        case 2:
            h_.view.SetValue(data_.PickValueInArray(kBoxes), data_.ConsumeIntegralInRange(0, 1));
            break;
        case 3:
        case 4:
        case 5: {
            const Timer timer = data_.PickValueInArray(kTimers);
            if (h_.view.TimerRunning(timer))
                h_.app.OnTimer(timer);
            break;
        }
        case 6:
            h_.clock.Advance(data_.ConsumeIntegralInRange(1, 1200));
            break;
        case 7:
            AddWindow();
            break;
        case 8:
            if (const WindowHandle w = AnyWindow(); w != h_.view.handle)
                h_.desktop.Close(w);
            break;
        case 9:
            if (const WindowHandle w = AnyWindow(); w && h_.desktop.windows[w].exists) {
                h_.desktop.SetForeground(w); // the user clicks a window
                h_.input.UserInput();
                h_.app.OnWindowActivity(w);
            }
            break;
        case 10:
            if (const WindowHandle w = AnyWindow())
                h_.desktop.windows[w].elevation = data_.PickValueInArray({Elevation::Elevated, Elevation::Unknown,
                                                                          Elevation::NotElevated});
            break;
        case 11: {
            const std::uint8_t key = data_.PickValueInArray(kKeys);
            if (data_.ConsumeBool())
                h_.input.down.insert(key);
            else
                h_.input.down.erase(key);
            h_.input.UserInput();
            break;
        }
        case 12: {
            const int dik = data_.ConsumeBool() ? kDikF2 : kDikF3;
            if (data_.ConsumeBool())
                h_.system.keyboard.Press(dik);
            else
                h_.system.keyboard.Release(dik);
            break;
        }
        case 13:
            Tray();
            break;
        case 14:
            h_.view.SetText(Control::txtInterval, data_.PickValueInArray({L"2", L"1", L"0", L"10", L"0.5", L"x"}));
            break;
        default: { // a second of the program's life: every running timer at its own pace
            for (int ms = 0; ms < 1000; ms += 10) {
                h_.clock.Advance(10);
                for (Timer timer : {Timer::tmrDeliver, Timer::tmrDocument, Timer::tmrMessage, Timer::tmrCopy,
                                    Timer::tmrKey, Timer::tmrRefresh})
                    if (h_.view.TimerRunning(timer))
                        h_.app.OnTimer(timer);
            }
            for (Timer timer : {Timer::tmrWait, Timer::tmrLoop})
                if (h_.view.TimerRunning(timer))
                    h_.app.OnTimer(timer);
            break;
        }
        }
    }

    FuzzedDataProvider& data_;
    Harness h_;
    WindowHandle nextHandle_ = 0x2000;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    fuzz::FakeFailures failures;
    try {
        Driver(data).Run();
    } catch (const fakes::ProcessExited&) {
        // The tray menu's exit ends the run.
    }
    return 0;
}
