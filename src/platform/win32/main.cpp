// Quillon's entry point: creates frmMain, runs its load, and pumps its messages until it closes.
#include "app/frmMain.h"
#include "platform/win32/MainWindow.h"
#include "platform/win32/Win32Platform.h"
#include "quillon_version.h" // generated from the VERSION file

#include <commctrl.h>

using namespace quillon;
using namespace quillon::win32;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    MainWindow window(instance);
    if (!window.Create())
        return 1;
    Win32Desktop desktop;
    Win32Input input;
    Win32Registry registry;
    Win32Tray tray;
    Win32ShellUi shell(instance, window.hwnd());
    Win32System system(instance);
    Win32UserRegistry userRegistry;
    Win32Documents documents;
    Platform platform{desktop, input, registry, tray, shell, system, userRegistry, documents};
    frmMain form(window, platform, QUILLON_VERSION_WTEXT);

    window.Attach(&form);
    if (form.Form_Load() == frmMain::LoadResult::EndProgram) {
        window.Attach(nullptr);
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    form.Form_Terminate();
    window.Attach(nullptr);
    return static_cast<int>(message.wParam);
}
