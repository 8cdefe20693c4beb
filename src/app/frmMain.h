// frmMain: the program's one window as the core sees it. It owns the handlers of every event the
// window receives and routes each to the subsystem that does the work.
#pragma once

#include "app/FormView.h"
#include "app/ProgressBar.h"
#include "platform/Platform.h"
#include "schedule/Interval.h"
#include "schedule/Numbers.h"
#include "schedule/Switch.h"
#include "scheduler/ActivityLog.h"
#include "scheduler/Countdown.h"
#include "scheduler/DocumentSave.h"
#include "scheduler/KeyboardWatch.h"
#include "scheduler/MessageSave.h"
#include "scheduler/SaveCycle.h"
#include "scheduler/SaveDelivery.h"
#include "scheduler/SaveDispatch.h"
#include "scheduler/UnsavedCopy.h"
#include "scheduler/UnsavedWork.h"
#include "scheduler/Versions.h"
#include "settings/OptionBoxes.h"
#include "settings/Registry.h"
#include "settings/UserSettings.h"
#include "shell/IconMenu.h"
#include "shell/SaveStatus.h"
#include "shell/SytemMenu.h"
#include "shell/TrayMenu.h"
#include "windows/KeptProgram.h"
#include "windows/ProgramLists.h"

#include <memory>

namespace quillon {

// The message shown when the keyboard device cannot be set up; the program ends after it.
std::wstring KeyboardSetupMessage(KeyboardSetupStep step, std::uint32_t errorCode);
inline const std::wstring kCannotCarryOut = L"无法执行请求";

class frmMain {
public:
    frmMain(IFormView& view, Platform& platform, std::wstring version);

    enum class LoadResult { Shown, EndProgram };
    LoadResult Form_Load();

    void Form_Resize();
    void Form_Activate();
    void Form_QueryUnload();
    void Form_Unload();
    void Form_Terminate();
    // The session ends without a close request: every closing step runs before the process ends.
    void Form_EndSession();

    void OnClick(Control control);
    void cboTime_Click();
    // The user changed a control's content without clicking: typed into txtInterval, or moved
    // List1's selection.
    void OnChange(Control control);
    void OnTimer(Timer timer);
    void OnKeyboardChanged();
    void Form_MouseMove(const MouseMoveMessage& message);
    bool OnSystemCommand(std::uintptr_t wParam) { return sysMenu_.OnSystemCommand(wParam); }
    void OnTaskbarCreated() { icon_.Readd(); }
    // A window of any program came to the front or took the focus.
    void OnWindowActivity(WindowHandle window) { cycle_.OnWindowActivity(window); }

    // An interval has been set in this run.
    bool TimerSet = false;

    const ProgressBar& Progress() const { return progress_; }
    const SaveDelivery& Delivery() const { return delivery_; }
    const SaveCycle& Cycle() const { return cycle_; }
    const KeptProgram& Kept() const { return kept_; }
    const TrayIcon& Icon() const { return icon_; }
    const SaveStatus& Status() const { return saveStatus_; }

private:
    bool OpenKeyboardDevice();
    void RestoreSettings();
    void RestoreUnit(const std::wstring& intervalSeconds);
    bool ResumesSaving();
    void ResumeSaving();
    void SwitchOn();
    void OnSwitchedOn();
    // The user chose the selected program (in List1 or the tray menu): saving follows it.
    void ChooseSelectedProgram();
    void StoreKeptProgram();
    void OnTrayMouseMessage(int code);
    void BringBackFromTray();
    // The refresh tick: optOn and cmdKill follow the selection, the interval and the switch. It
    // runs after every event that may have changed one of them.
    void RefreshTick() { lists_.tmrRefresh_Timer(); }

    IFormView& view_;
    Platform& platform_;
    AcceptedInterval accepted_;
    Numbers numbers_;
    SettingsStore settings_;
    UserSettings userSettings_;
    ProgressBar progress_;
    KeptProgram kept_;
    ProgramLists lists_;
    ActivityLog log_;
    Versions versions_;
    SaveDelivery delivery_;
    AlertsOwed alertsOwed_;
    DocumentSave documentSave_;
    MessageSave messageSave_;
    UnsavedCopy unsavedCopy_;
    UnsavedWork work_;
    SaveCycle cycle_;
    Countdown countdown_;
    IntervalSetting interval_;
    OnOffSwitch switch_;
    OptionBoxes options_;
    TrayIcon icon_;
    SaveStatus saveStatus_;
    TrayMenu trayMenu_;
    SystemMenu sysMenu_;
    KeyboardWatch watch_;
    std::unique_ptr<IKeyboardDevice> keyboard_;
    bool shown_ = false;     // the load has shown the window; resizes are handled from then on
    bool activated_ = false; // activated since it was last shown
};

} // namespace quillon
