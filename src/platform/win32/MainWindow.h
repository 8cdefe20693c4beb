// The real frmMain: a top-level window with standard child controls, created from the form's
// description. It implements the core's view of the controls and passes every window message
// the core handles to frmMain, in one dispatch function.
#pragma once

#include "app/FormView.h"
#include "app/frmMain.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <array>

namespace quillon::win32 {

class MainWindow final : public IFormView {
public:
    explicit MainWindow(HINSTANCE instance) : instance_(instance) {}
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and its controls, hidden.
    bool Create();
    // Events reach `form` from now on; nullptr stops them.
    void Attach(frmMain* form) { form_ = form; }
    HWND hwnd() const { return hwnd_; }
    // Lets dialog keys (Tab, arrows) move between the controls.
    bool PreTranslate(MSG& message) { return hwnd_ && IsDialogMessageW(hwnd_, &message); }

    // IFormView
    std::wstring Text(Control control) const override;
    void SetText(Control control, const std::wstring& text) override;
    int Value(Control control) const override;
    void SetValue(Control control, int value) override;
    bool Enabled(Control control) const override;
    void SetEnabled(Control control, bool enabled) override;
    void ListClear(Control list) override;
    void ListInsert(Control list, int index, const std::wstring& text) override;
    void ListRemove(Control list, int index) override;
    int ListCount(Control list) const override;
    std::wstring ListText(Control list, int index) const override;
    int ListIndex(Control list) const override;
    void SetListIndex(Control list, int index) override;
    void BeginListUpdate(Control list, int count) override;
    void EndListUpdate(Control list) override;
    void ShowProgress(int max, int value) override;
    void SetTimer(Timer timer, unsigned intervalMs, bool enabled) override;
    WindowHandle Handle() const override;
    WindowState State() const override;
    void SetState(WindowState state) override;
    void Show() override;
    void Close() override;
    std::uintptr_t IconHandle() const override;
    std::uintptr_t AlertIconHandle() const override;
    double WidthTwips() const override;
    double HeightTwips() const override;
    void MoveTwips(double left, double top) override;
    double TwipsPerPixelX() const override;
    double TwipsPerPixelY() const override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void OnComboPick();
    void OnMouseMove(WPARAM wParam, LPARAM lParam);
    bool CreateControls();
    void WatchWindowActivity();
    HWND Item(Control control) const { return controls_[static_cast<int>(control)]; }
    int Pixels(int twips) const { return MulDiv(twips, dpi_, 1440); }

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    frmMain* form_ = nullptr;
    int dpi_ = 96;
    UINT taskbarCreated_ = 0;
    std::array<HWND, kControlCount> controls_{};
    UniqueFont font_;
    UniqueFont listFont_;
    UniqueIcon icon_;
    UniqueIcon smallIcon_;
    UniqueIcon alertIcon_;
    UniqueWinEventHook foregroundHook_;
    UniqueWinEventHook focusHook_;
};

} // namespace quillon::win32
