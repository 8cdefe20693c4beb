// The window's life after load: minimising hides it to the tray, each showing refreshes the
// program lists, and every way of closing removes the tray icon.
#include "app/frmMain.h"
#include "windows/Hide.h"

namespace quillon {

void frmMain::Form_Resize() {
    if (!shown_)
        return;
    if (view_.State() == WindowState::Minimized) {
        HideWindow(platform_.desktop, view_.Handle());
        activated_ = false;
    } else {
        ShowWindowNormal(platform_.desktop, view_.Handle());
    }
}

// Runs when the window becomes active after being shown: at start-up and on each return from
// the tray; switching between programs while the window stays shown is no new activation, and
// neither is an activation while the window is hidden (the tray menu activates its owner, which
// must not drop the selection that saving runs on).
void frmMain::Form_Activate() {
    if (!shown_ || activated_)
        return;
    if (view_.State() == WindowState::Minimized || !platform_.desktop.IsWindowVisible(view_.Handle()))
        return;
    activated_ = true;
    sysMenu_.AppendAboutEntry();
    lists_.RefreshWindowList();
    RefreshTick();
}

void frmMain::Form_QueryUnload() {
    icon_.Remove();
}

// A program whose alerts a Save switched off gets them back before Quillon goes.
void frmMain::Form_Unload() {
    documentSave_.BeforeExit();
    icon_.Remove();
    if (keyboard_)
        keyboard_->Unacquire();
}

void frmMain::Form_Terminate() {
    icon_.Remove();
}

void frmMain::Form_EndSession() {
    Form_QueryUnload();
    Form_Unload();
    Form_Terminate();
}

} // namespace quillon
