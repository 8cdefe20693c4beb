// The description of frmMain: its caption and client size, and every control with its kind,
// text, place (in twips) and initial state, in tab order. The Win32 window is created from it.
#pragma once

#include "app/FormView.h"

#include <array>
#include <string_view>

namespace quillon {

enum class ControlKind { PushButton, ListBox, OptionButton, CheckBox, TextBox, ComboBox, ProgressBar, Label };

struct ControlDesign {
    Control control;
    std::string_view name;
    ControlKind kind;
    std::wstring_view text;
    int left, top, width, height; // twips, inside the client area
    int initialValue;             // check boxes and option buttons
    bool visible;
};

inline constexpr std::wstring_view kProgramTitle = L"岚舟自动保存";
inline constexpr std::wstring_view kWindowCaption =
    L"岚舟自动保存   (Brellon Studios 博客: https://brellon.example.org/)";
inline constexpr wchar_t kWindowClass[] = L"frmMain";
inline constexpr int kClientWidthTwips = 9720;
inline constexpr int kClientHeightTwips = 3750;
inline constexpr int kFontHundredthsOfPoint = 825; // Tahoma 8.25 pt

// clang-format off
inline constexpr std::array<ControlDesign, kControlCount> kFormControls{{
    {Control::cmdSet,           "cmdSet",           ControlKind::PushButton,   L"设置时间    ", 8040,  120, 1095,  375, 0, true},
    {Control::Command1,         "Command1",         ControlKind::PushButton,   L"刷新列表    ", 4800, 2760, 1095,  375, 0, true},
    {Control::List1,            "List1",            ControlKind::ListBox,      L"",             120,  120, 4455, 3540, 0, true},
    {Control::optOn,            "optOn",            ControlKind::OptionButton, L"开始自动保存", 5280,  720, 1575,  255, 0, true},
    {Control::optOff,           "optOff",           ControlKind::OptionButton, L"关闭自动保存", 7320,  720, 1695,  255, 1, true},
    {Control::chkSaveAs,        "chkSaveAs",        ControlKind::CheckBox,     L"自动保存弹出对话框窗口", 4800, 1800, 2535, 255, 0, true},
    {Control::chkCurrent,       "chkCurrent",       ControlKind::CheckBox,     L"",             360, 6840,  255,  195, 0, false},
    {Control::txtInterval,      "txtInterval",      ControlKind::TextBox,      L"0",           5880,  160,  855,  315, 0, true},
    {Control::List2,            "List2",            ControlKind::ListBox,      L"",             120, 2160,  135,  255, 0, false},
    {Control::txtRemaining,     "txtRemaining",     ControlKind::TextBox,      L"0",           5880, 1280,  975,  285, 0, true},
    {Control::chkVisible,       "chkVisible",       ControlKind::CheckBox,     L"显示当前运行程序", 7560, 1800, 2055, 195, 1, true},
    {Control::chkSave,          "chkSave",          ControlKind::CheckBox,     L"保存日志文件", 4800, 2280, 1695,  195, 0, true},
    {Control::cboTime,          "cboTime",          ControlKind::ComboBox,     L"",            6960,  180,  975,  315, 0, true},
    {Control::ProgressBar1,     "ProgressBar1",     ControlKind::ProgressBar,  L"",            7080, 1275, 2055,  255, 0, true},
    {Control::lblTimerInterval, "lblTimerInterval", ControlKind::Label,        L"时间设置：",  4800,  240, 1020,  195, 0, true},
    {Control::Label1,           "Label1",           ControlKind::Label,        L"剩余时间：",  4800, 1320, 1020,  195, 0, true},
    {Control::cmdKill,          "cmdKill",          ControlKind::PushButton,   L"清空日志    ", 6240, 2760, 1095,  375, 0, true},
    {Control::XPButton1,        "XPButton1",        ControlKind::PushButton,   L"退出  ",      7680, 2760, 1095,  375, 0, true},
    {Control::Label2,           "Label2",           ControlKind::Label,
        L"自动保存主要为编写文本文档、Word、Excel等编辑文字软件",                               4680, 3360, 4935,  255, 0, true},
}};
// clang-format on

struct TimerDesign {
    Timer timer;
    unsigned intervalMs; // 0: does not tick until it is given an interval
    bool enabled;
};

// The timers as the form is designed; tmrKey gets its interval from start-up. The refresh tick
// (tmrRefresh) has no clock of its own: it runs whenever one of its inputs may have changed, so
// an idle Quillon does not wake a hundred times a second to find nothing changed.
inline constexpr std::array<TimerDesign, 3> kFormTimers{{
    {Timer::tmrLoop, 1000, true},
    {Timer::tmrWait, 1000, false},
    {Timer::tmrKey, 0, true},
}};

inline constexpr const ControlDesign& DesignOf(Control c) {
    return kFormControls[static_cast<int>(c)];
}

} // namespace quillon
