// Start-up: the load event of frmMain. Opens the keyboard device, centres the window, restores
// the settings into their controls, adds the tray icon and shows the window.
#include "app/FormLayout.h"
#include "app/Various.h"
#include "app/frmMain.h"

#include <cwctype>

namespace quillon {
namespace {

const wchar_t* StepName(KeyboardSetupStep step) {
    switch (step) {
    case KeyboardSetupStep::CreateDirectInput:
        return L"DirectInputCreateEx";
    case KeyboardSetupStep::CreateDevice:
        return L"CreateDevice";
    case KeyboardSetupStep::SetDataFormat:
        return L"SetDataFormat";
    case KeyboardSetupStep::SetCooperativeLevel:
        return L"SetCooperativeLevel";
    case KeyboardSetupStep::Acquire:
        return L"Acquire";
    }
    return L"";
}

std::wstring Hex(std::uint32_t value) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        out += digits[(value >> shift) & 0xF];
    return out;
}

bool StartsWithFalse(const std::wstring& text) {
    if (text.size() < 5)
        return false;
    std::wstring head = text.substr(0, 5);
    for (wchar_t& c : head)
        c = static_cast<wchar_t>(std::towupper(c));
    return head == L"FALSE";
}

} // namespace

std::wstring KeyboardSetupMessage(KeyboardSetupStep step, std::uint32_t errorCode) {
    if (step == KeyboardSetupStep::CreateDirectInput)
        return kCannotCarryOut;
    return std::wstring(L"无法打开键盘设备：") + StepName(step) + L" 失败（错误 " + Hex(errorCode) + L"）";
}

frmMain::LoadResult frmMain::Form_Load() {
    // The designed timers run from now on; none of them ticks before the load returns.
    for (const TimerDesign& timer : kFormTimers)
        view_.SetTimer(timer.timer, timer.intervalMs, timer.enabled);
    if (!OpenKeyboardDevice())
        return LoadResult::EndProgram;
    CenterForm(view_, platform_.system);
    RestoreSettings();
    const WindowHandle owner = platform_.desktop.OwnerOf(view_.Handle());
    if (owner != 0)
        platform_.desktop.ShowWindow(owner, ShowCommand::Hide);
    icon_.Add(view_.Handle(), view_.IconHandle(), view_.AlertIconHandle());
    TimerSet = false;
    view_.ListInsert(Control::cboTime, -1, std::wstring(kSeconds));
    view_.ListInsert(Control::cboTime, -1, std::wstring(kMinutes));
    shown_ = true;
    if (ResumesSaving())
        ResumeSaving();
    else
        view_.Show();
    RefreshTick();
    return LoadResult::Shown;
}

// The program saved last is looked for again; with start-with-Windows checked, saving goes on
// for it at once. Nothing stored here can keep Quillon from starting: what does not read back as
// Quillon wrote it is ignored.
bool frmMain::ResumesSaving() {
    if (const auto program = userSettings_.Program())
        kept_.Remember(*program);
    userSettings_.RefreshRunValue();
    if (!userSettings_.StartsWithWindows())
        return false;
    const auto interval = numbers_.Parse(view_.Text(Control::txtRemaining));
    return kept_.Any() && interval && IsAcceptableInterval(*interval);
}

// Straight into the tray with saving on: the window is not shown, the programs are listed so
// that the remembered one is selected once it runs, and the tip says what Quillon waits for.
void frmMain::ResumeSaving() {
    lists_.RefreshWindowList();
    switch_.Resume();
    cycle_.Restart();
    const SaveReport where = cycle_.Locate();
    if (where.outcome != SaveOutcome::Saved)
        saveStatus_.Report(where);
}

bool frmMain::OpenKeyboardDevice() {
    KeyboardSetup setup = platform_.system.OpenKeyboard(view_.Handle());
    if (!setup.device) {
        platform_.shell.ShowMessage(KeyboardSetupMessage(setup.failedStep, setup.errorCode),
                                    std::wstring(kProgramTitle));
        return false;
    }
    keyboard_ = std::move(setup.device);
    watch_.Attach(keyboard_.get());
    return true;
}

void frmMain::RestoreSettings() {
    std::wstring interval = settings_.Read(settings::TimerInterval);
    if (interval.empty())
        interval = L"0";
    view_.SetText(Control::txtInterval, interval);
    if (const auto max = numbers_.ParseSingle(interval))
        progress_.SetMax(*max);
    if (const auto seconds = numbers_.Parse(interval); seconds && IsAcceptableInterval(*seconds))
        accepted_.seconds = interval;

    for (Control box : {Control::chkSaveAs, Control::chkSave, Control::chkCurrent, Control::chkVisible}) {
        const auto value = numbers_.ParseWhole(settings_.Read(SettingNameOf(box)));
        if (value && *value >= 0 && *value <= 2)
            options_.Assign(box, static_cast<int>(*value));
    }
    RestoreUnit(interval);
    view_.SetText(Control::txtRemaining, interval);
}

// The unit box shows the stored word itself; only "Minutes" converts the shown interval.
void frmMain::RestoreUnit(const std::wstring& intervalSeconds) {
    view_.SetText(Control::cboTime, settings_.Read(settings::TimeMeasurement));
    if (StartsWithFalse(view_.Text(Control::cboTime)))
        view_.SetText(Control::cboTime, std::wstring(kSeconds));
    if (view_.Text(Control::cboTime) == L"Minutes") {
        if (const auto seconds = numbers_.Parse(intervalSeconds))
            view_.SetText(Control::txtInterval, numbers_.FormatTwoDecimals(*seconds / 60));
    }
}

} // namespace quillon
