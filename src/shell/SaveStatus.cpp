#include "shell/SaveStatus.h"

namespace quillon {
namespace {

// Why a cycle did not save, as the user would say it.
const wchar_t* Reason(SaveOutcome outcome) {
    switch (outcome) {
    case SaveOutcome::NoTarget:
        return L"没有可保存的窗口";
    case SaveOutcome::Occupied:
        return L"程序正显示对话框或菜单";
    case SaveOutcome::UserBusy:
        return L"您一直在使用键盘、鼠标或菜单";
    case SaveOutcome::KeysHeld:
        return L"有键或鼠标键按着";
    case SaveOutcome::NotResponding:
        return L"程序没有响应";
    case SaveOutcome::Elevated:
        return L"程序以管理员身份运行";
    case SaveOutcome::NotForeground:
        return L"窗口没能来到前台";
    case SaveOutcome::MenuNotOpened:
        return L"文件菜单没有打开";
    case SaveOutcome::UserInterrupted:
        return L"您在保存时按了键或动了鼠标";
    case SaveOutcome::FrontLost:
        return L"窗口在保存时离开了前台";
    case SaveOutcome::LetterNotTaken:
        return L"文件菜单里没有保存命令";
    case SaveOutcome::Incomplete:
        return L"系统没有接受按键";
    case SaveOutcome::SeveralAlike:
        return L"有几个窗口显示同一文档";
    case SaveOutcome::ReadOnly:
        return L"文档是只读的";
    case SaveOutcome::NotSavedByProgram:
        return L"程序没有保存文档";
    case SaveOutcome::NeverSaved:
        return L"文档尚未保存过，请先手动保存";
    case SaveOutcome::NoSingleDocument:
        return L"无法确定窗口显示的是哪个文档";
    case SaveOutcome::CannotSeeState:
        return L"看不出这个程序有没有未保存的更改";
    case SaveOutcome::TitleChanged:
        return L"窗口已换成另一个文档，下次再保存";
    case SaveOutcome::FileNotWritten:
        return L"程序说已保存，但文件没有改变";
    default:
        return nullptr;
    }
}

// Why a version or a copy could not be kept.
const wchar_t* KeepReason(KeepResult result) {
    switch (result) {
    case KeepResult::NoFile:
        return L"文件不在了";
    case KeepResult::TooLarge:
        return L"文件太大";
    case KeepResult::Locked:
        return L"文件被其他程序锁定";
    case KeepResult::NoRoom:
        return L"磁盘空间不足";
    case KeepResult::NoHistory:
        return L"历史版本文件夹无法写入";
    case KeepResult::Refused:
        return L"程序没有给出副本";
    case KeepResult::Failed:
        return L"复制失败";
    case KeepResult::TooSlow:
        return L"复制太慢";
    default:
        return nullptr;
    }
}

// A title cut so that the whole tip fits the tip field.
std::wstring Fitted(const std::wstring& title, std::size_t room) {
    if (title.size() <= room)
        return title;
    return title.substr(0, room > 0 ? room - 1 : 0) + L"…";
}

} // namespace

std::wstring SaveStatusTip(const SaveReport& report, const std::wstring& now, const std::wstring& lastSave) {
    const std::wstring head = tray::kTip + L"：";
    switch (report.outcome) {
    case SaveOutcome::Saved:
        if (const wchar_t* reason = KeepReason(report.keep))
            return head + L"上次保存于 " + now + L"（未保留旧版本：" + reason + L"）";
        return head + L"上次保存于 " + now;
    case SaveOutcome::CopyKept:
        return head + L"已在历史版本中保留未命名文档" + (report.cut ? L"前 64 MiB 文字" : L"") + L"的副本（" + now +
               L"）";
    case SaveOutcome::CopyNotKept: {
        const wchar_t* reason = KeepReason(report.keep);
        return head + L"未能保留未命名文档的副本，" + (reason ? reason : L"复制失败");
    }
    case SaveOutcome::NothingToSave:
        return lastSave.empty() ? head + L"没有新的更改" : head + L"没有新的更改（上次保存于 " + lastSave + L"）";
    case SaveOutcome::WaitingForUse:
        if (const wchar_t* reason = Reason(report.cause))
            return head + L"未能保存，" + reason + L"（您再使用这个程序后重试）";
        return head + L"您再使用这个程序后重试";
    case SaveOutcome::WaitingForProgram: {
        const std::wstring before = head + L"等待“", after = L"”打开";
        const std::size_t room = tray::kTipChars - 1 - before.size() - after.size();
        return before + Fitted(report.program, room) + after;
    }
    case SaveOutcome::ProtectedView:
        return head + L"文档在受保护的视图中，无法更改";
    case SaveOutcome::SavesItself:
        return head + L"程序自己在自动保存这个文档";
    default:
        if (const wchar_t* reason = Reason(report.outcome))
            return head + L"未能保存，" + reason;
        return L"";
    }
}

void SaveStatus::Report(const SaveReport& report) {
    const std::wstring now = system_.NowAsGeneralDate();
    const std::wstring tip = SaveStatusTip(report, now, lastSave_);
    if (tip.empty())
        return;
    if (report.outcome == SaveOutcome::Saved)
        lastSave_ = now;
    failuresInARow_ = IsSafe(report.outcome) ? 0 : failuresInARow_ + 1;
    icon_.ShowState(tip, failuresInARow_ >= kFailuresShownByIcon);
}

} // namespace quillon
