// An abstract view of frmMain's controls. The program's state lives in these controls (the
// interval texts, the switch, the options, the program lists); the handlers read and write them
// through this interface, which the Win32 window implements with real controls.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace quillon {

// The controls of frmMain; the value is the tab index (the control ID is 1000 + the tab index).
enum class Control {
    cmdSet = 0,
    Command1,
    List1,
    optOn,
    optOff,
    chkSaveAs,
    chkCurrent,
    txtInterval,
    List2,
    txtRemaining,
    chkVisible,
    chkSave,
    cboTime,
    ProgressBar1,
    lblTimerInterval,
    Label1,
    cmdKill,
    XPButton1,
    Label2,
};
constexpr int kControlCount = 19;
constexpr int kFirstControlId = 1000;
constexpr int ControlId(Control c) {
    return kFirstControlId + static_cast<int>(c);
}

enum class Timer { tmrLoop = 1, tmrWait, tmrRefresh, tmrKey, tmrDeliver, tmrDocument, tmrMessage, tmrCopy };

enum class WindowState { Normal, Minimized, Maximized };

class IFormView {
public:
    virtual ~IFormView() = default;

    // Text of a text box, of the combo box's edit field, or a caption.
    virtual std::wstring Text(Control control) const = 0;
    virtual void SetText(Control control, const std::wstring& text) = 0;

    // Check boxes: 0 unchecked, 1 checked, 2 greyed. Option buttons: 1 selected, 0 not.
    // Setting a value only shows it; it raises no click.
    virtual int Value(Control control) const = 0;
    virtual void SetValue(Control control, int value) = 0;

    virtual bool Enabled(Control control) const = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;

    // List boxes (List1, List2) and the combo box's list (cboTime).
    virtual void ListClear(Control list) = 0;
    virtual void ListInsert(Control list, int index, const std::wstring& text) = 0; // -1 appends
    virtual void ListRemove(Control list, int index) = 0;
    virtual int ListCount(Control list) const = 0;
    virtual std::wstring ListText(Control list, int index) const = 0;
    virtual int ListIndex(Control list) const = 0; // the selected entry, -1 for none
    virtual void SetListIndex(Control list, int index) = 0;
    // Many entries are about to change (`count` of them): the list is drawn once, when
    // EndListUpdate says they have.
    virtual void BeginListUpdate(Control list, int count) = 0;
    virtual void EndListUpdate(Control list) = 0;

    // ProgressBar1 shows a range of 0..max and a position.
    virtual void ShowProgress(int max, int value) = 0;

    // Timers tick only while enabled with an interval above 0.
    virtual void SetTimer(Timer timer, unsigned intervalMs, bool enabled) = 0;

    // The window itself. Changing the state raises the window's resize event.
    virtual WindowHandle Handle() const = 0;
    virtual WindowState State() const = 0;
    virtual void SetState(WindowState state) = 0;
    virtual void Show() = 0;  // first show at the end of start-up
    virtual void Close() = 0; // unloads the window: close request, unload, termination
    virtual std::uintptr_t IconHandle() const = 0;
    // The same icon with a warning sign, for the notification area while saves keep failing.
    virtual std::uintptr_t AlertIconHandle() const = 0;

    // Position and size of the window in twips, and the screen's twips per pixel.
    virtual double WidthTwips() const = 0;
    virtual double HeightTwips() const = 0;
    virtual void MoveTwips(double left, double top) = 0;
    virtual double TwipsPerPixelX() const = 0;
    virtual double TwipsPerPixelY() const = 0;
};

} // namespace quillon
