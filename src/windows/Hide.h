// Hiding the main window to the notification area and showing it normally again.
#pragma once

#include "platform/Platform.h"

namespace quillon {

// Both return the show call's result: non-zero when the window was visible before.
inline int HideWindow(IDesktop& desktop, WindowHandle window) {
    return desktop.ShowWindow(window, ShowCommand::Hide);
}
inline int ShowWindowNormal(IDesktop& desktop, WindowHandle window) {
    return desktop.ShowWindow(window, ShowCommand::ShowNormal);
}

} // namespace quillon
