#include "shell/SaveStatus.h"

namespace quillon {
namespace {

// Why a cycle did not save, as the user would say it.
const wchar_t* Reason(DeliveryOutcome outcome) {
    switch (outcome) {
    case DeliveryOutcome::NoTarget:
        return L"没有可保存的窗口";
    case DeliveryOutcome::Occupied:
        return L"程序正显示对话框或菜单";
    case DeliveryOutcome::UserBusy:
        return L"您一直在使用键盘、鼠标或菜单";
    case DeliveryOutcome::KeysHeld:
        return L"有键或鼠标键按着";
    case DeliveryOutcome::NotResponding:
        return L"程序没有响应";
    case DeliveryOutcome::Elevated:
        return L"程序以管理员身份运行";
    case DeliveryOutcome::NotForeground:
        return L"窗口没能来到前台";
    case DeliveryOutcome::MenuNotOpened:
        return L"文件菜单没有打开";
    case DeliveryOutcome::UserInterrupted:
        return L"您在保存时按了键或动了鼠标";
    case DeliveryOutcome::FrontLost:
        return L"窗口在保存时离开了前台";
    case DeliveryOutcome::LetterNotTaken:
        return L"文件菜单里没有保存命令";
    case DeliveryOutcome::Incomplete:
        return L"系统没有接受按键";
    case DeliveryOutcome::Saved:
    case DeliveryOutcome::Busy:
    case DeliveryOutcome::Cancelled:
        break;
    }
    return nullptr;
}

} // namespace

std::wstring SaveStatusTip(DeliveryOutcome outcome, const std::wstring& when) {
    if (outcome == DeliveryOutcome::Saved)
        return tray::kTip + L"：上次保存于 " + when;
    if (const wchar_t* reason = Reason(outcome))
        return tray::kTip + L"：未能保存，" + reason;
    return L"";
}

void SaveStatus::Report(DeliveryOutcome outcome) {
    const std::wstring tip = SaveStatusTip(outcome, system_.NowAsGeneralDate());
    if (tip.empty())
        return;
    failuresInARow_ = outcome == DeliveryOutcome::Saved ? 0 : failuresInARow_ + 1;
    icon_.ShowState(tip, failuresInARow_ >= kFailuresShownByIcon);
}

} // namespace quillon
