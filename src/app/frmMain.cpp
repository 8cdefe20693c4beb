#include "app/frmMain.h"

#include "windows/Hide.h"

namespace quillon {

frmMain::frmMain(IFormView& view, Platform& platform, std::wstring version)
    : view_(view), platform_(platform), numbers_(platform.system.DecimalSeparator()),
      settings_(platform.registry, platform.system, platform.shell),
      userSettings_(platform.userRegistry, platform.system),
      progress_(view), kept_(platform.desktop), lists_(view, platform.desktop, numbers_, TimerSet, kept_),
      log_(platform.system), versions_(platform.system, platform.documents),
      delivery_(view, platform.desktop, platform.input, platform.system, log_, versions_),
      alertsOwed_(platform.desktop, platform.system, platform.documents),
      documentSave_(view, platform.desktop, platform.input, platform.system, platform.documents, log_, alertsOwed_,
                    versions_),
      messageSave_(view, platform.desktop, platform.input, platform.system, log_, versions_),
      unsavedCopy_(view, platform.desktop, platform.input, platform.system, platform.documents),
      work_(platform.desktop), cycle_(platform.desktop, platform.system, {delivery_, documentSave_, messageSave_,
                                                                         unsavedCopy_, versions_},
                                      kept_, work_, lists_),
      countdown_(view, progress_, numbers_, accepted_,
                 [this](double seconds) { StartSave(view_, lists_, cycle_, seconds); }),
      interval_(view, progress_, numbers_, settings_, TimerSet, accepted_),
      switch_(view, platform.desktop, lists_, cycle_), options_(view, settings_, lists_), icon_(platform.tray),
      saveStatus_(icon_, platform.system),
      trayMenu_(view, platform.shell, platform.system, settings_, userSettings_, icon_, numbers_, TimerSet,
                accepted_),
      sysMenu_(platform.shell, std::move(version)),
      watch_(
          view,
          [this] {
              SwitchOn();
              RefreshTick();
          },
          [this] {
              switch_.SelectOff();
              RefreshTick();
          }) {
    cycle_.OnFinished([this](const SaveReport& report) { saveStatus_.Report(report); });
    cycle_.OnKeptProgramChanged([this] { StoreKeptProgram(); });
    trayMenu_.OnProgramPicked([this] { ChooseSelectedProgram(); });
    trayMenu_.OnExit([this] { documentSave_.BeforeExit(); });
}

void frmMain::OnClick(Control control) {
    switch (control) {
    case Control::cmdSet:
        interval_.cmdSet_Click();
        break;
    case Control::Command1:
        lists_.RefreshWindowList();
        break;
    case Control::optOn:
        SwitchOn();
        break;
    case Control::optOff:
        switch_.SelectOff();
        break;
    case Control::chkSaveAs:
    case Control::chkCurrent:
    case Control::chkVisible:
    case Control::chkSave:
        options_.UserClick(control);
        break;
    case Control::cmdKill:
        log_.Clear();
        break;
    case Control::XPButton1:
        view_.Close();
        return;
    default:
        break;
    }
    RefreshTick();
}

void frmMain::cboTime_Click() {
    interval_.cboTime_Click();
    RefreshTick();
}

void frmMain::OnChange(Control control) {
    if (control == Control::List1)
        ChooseSelectedProgram();
    if (control == Control::txtInterval || control == Control::List1)
        RefreshTick();
}

void frmMain::SwitchOn() {
    if (switch_.SelectOn())
        OnSwitchedOn();
}

// What is saved from now on is what is selected, and it is remembered for the next start.
void frmMain::OnSwitchedOn() {
    if (const auto selected = lists_.SelectedWindow(); selected && selected->window != kept_.Window().window)
        kept_.Choose(*selected, lists_.SelectedTitle());
    StoreKeptProgram();
    cycle_.Restart();
}

void frmMain::ChooseSelectedProgram() {
    const auto selected = lists_.SelectedWindow();
    if (!selected)
        return;
    kept_.Choose(*selected, lists_.SelectedTitle());
    cycle_.Restart();
    if (switch_.IsOn())
        StoreKeptProgram();
}

void frmMain::StoreKeptProgram() {
    userSettings_.StoreProgram(kept_.Identity());
}

void frmMain::OnTimer(Timer timer) {
    switch (timer) {
    case Timer::tmrLoop:
        countdown_.tmrLoop_Timer();
        break;
    case Timer::tmrWait:
        lists_.tmrWait_Timer();
        break;
    case Timer::tmrRefresh:
        lists_.tmrRefresh_Timer();
        break;
    case Timer::tmrKey:
        watch_.tmrKey_Timer();
        break;
    case Timer::tmrDeliver:
        delivery_.tmrDeliver_Timer();
        break;
    case Timer::tmrDocument:
        documentSave_.tmrDocument_Timer();
        break;
    case Timer::tmrMessage:
        messageSave_.tmrMessage_Timer();
        break;
    case Timer::tmrCopy:
        unsavedCopy_.tmrCopy_Timer();
        break;
    }
    // Of the ticks, only the fill changes what the refresh rule looks at (it drops the
    // selection); the keyboard watch runs the rule itself when it switches. The 10 ms ticks of the
    // delivery and of the keyboard watch leave it alone.
    if (timer == Timer::tmrWait)
        RefreshTick();
}

void frmMain::OnKeyboardChanged() {
    watch_.OnKeyboardChanged();
}

void frmMain::Form_MouseMove(const MouseMoveMessage& message) {
    if (!IsTrayCallback(message))
        return;
    // The icon's mouse message arrives as the X coordinate of a mouse move, in twips.
    const auto code = static_cast<int>(message.lParam & 0xFFFF);
    const double xTwips = code * view_.TwipsPerPixelX();
    OnTrayMouseMessage(DecodeTrayMessage(xTwips, view_.TwipsPerPixelX()));
    RefreshTick();
}

void frmMain::OnTrayMouseMessage(int code) {
    if (code == tray::WmLButtonDblClk)
        BringBackFromTray();
    else if (code == tray::WmRButtonUp)
        trayMenu_.OpenAndDispatch();
}

void frmMain::BringBackFromTray() {
    view_.SetState(WindowState::Normal);
    switch_.SelectOff();
    ShowWindowNormal(platform_.desktop, view_.Handle());
    platform_.desktop.SetForegroundWindow(view_.Handle());
    // The window is back on the screen: this is the activation that lists the programs again,
    // also when the window was active already (a tray menu activates it while it is hidden).
    Form_Activate();
}

} // namespace quillon
