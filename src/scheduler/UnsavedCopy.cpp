#include "scheduler/UnsavedCopy.h"

#include "scheduler/History.h"
#include "windows/Enumeration.h"
#include "windows/TitleMarks.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string_view>

namespace quillon {
namespace {

// The programs whose document is the text of one classic control, and the names they give a
// document never saved, in the languages people run them in. Only these names count: a file
// without an extension ("README - Notepad") is no new document.
struct TextProgram {
    std::array<std::wstring_view, 2> windowClasses; // Windows', and Wine's
    std::array<std::wstring_view, 2> controls;
    std::array<std::wstring_view, 12> untitled; // the whole name, or a prefix before a number
    bool numbered;                              // "new 1", "new 2": the name is a prefix
};

constexpr TextProgram kTextPrograms[] = {
    {{L"Notepad", {}},
     {L"Edit", {}},
     {L"Untitled", L"无标题", L"無標題", L"Sans titre", L"Unbenannt", L"Senza titolo", L"Sin título",
      L"Sem título", L"Без имени", L"無題", L"제목 없음"},
     false},
    {{L"WordPadClass", L"WORDPADTOP"},
     {L"RICHEDIT50W", L"RichEdit20W"},
     {L"Document", L"文档", L"文件", L"Dokument", L"Documento", L"Документ", L"ドキュメント", L"문서"},
     false},
    {{L"Notepad++", {}}, {L"Scintilla", {}}, {L"new ", L"新文件 ", L"新建 ", L"nouveau ", L"neu "}, true},
};

bool SameText(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

bool IsUntitled(const TextProgram& program, std::wstring_view name) {
    return std::any_of(program.untitled.begin(), program.untitled.end(), [&](std::wstring_view word) {
        if (word.empty())
            return false;
        if (!program.numbered)
            return SameText(name, word);
        return name.size() > word.size() && SameText(name.substr(0, word.size()), word) &&
               history::AllDigits(name.substr(word.size()));
    });
}

} // namespace

WindowHandle UnsavedTextControl(IDesktop& desktop, WindowHandle window) {
    const std::wstring windowClass = desktop.ClassName(window);
    for (const TextProgram& program : kTextPrograms) {
        if (std::find(program.windowClasses.begin(), program.windowClasses.end(), windowClass) ==
            program.windowClasses.end())
            continue;
        const MarkedTitle title = SplitUnsavedMark(ReadWindowTitle(desktop, window));
        if (NamesAFile(title.document) || !IsUntitled(program, title.document))
            return 0;
        for (std::wstring_view control : program.controls)
            if (!control.empty())
                if (const WindowHandle found = desktop.FindDescendant(window, std::wstring(control)))
                    return found;
        return 0;
    }
    return 0;
}

void UnsavedCopy::Begin(const SaveRequest& request, WindowHandle control) {
    if (Waiting())
        system_.Trace(L"save-carried-over");
    window_ = request.listed ? request.listed->window : 0;
    control_ = control;
    intervalMs_ = request.intervalMs;
    cycleStart_ = system_.TickCountMs();
    Enter(Phase::WaitPause);
    tmrCopy_Timer();
}

void UnsavedCopy::CarryOver(std::uint64_t intervalMs) {
    system_.Trace(L"save-carried-over");
    intervalMs_ = intervalMs;
    cycleStart_ = system_.TickCountMs();
}

void UnsavedCopy::Cancel() {
    if (Waiting())
        Finish(SaveOutcome::Cancelled);
}

void UnsavedCopy::tmrCopy_Timer() {
    const std::uint64_t now = system_.TickCountMs();
    if (phase_ == Phase::WaitPause) {
        if (!UserWorksIn(desktop_, input_, window_, kPauseMs))
            return Copy(now);
        const std::uint64_t limit = intervalMs_ > 0 ? intervalMs_ : SaveDelivery::kDefaultWaitLimitMs;
        if (now - cycleStart_ >= limit)
            Finish(SaveOutcome::UserBusy);
    } else if (phase_ == Phase::Copying) {
        if (const auto reply = documents_.TakeReply(call_)) {
            call_ = 0;
            return OnReply(reply->keep);
        }
        if (now - callStart_ >= kCopyWaitMs) {
            documents_.Abandon(call_);
            call_ = 0;
            Finish(SaveOutcome::NotResponding);
        }
    }
}

// The text is read with a bounded wait on a worker, and written only when it changed since the
// window's last copy. A program the system takes for hung is not asked.
void UnsavedCopy::Copy(std::uint64_t now) {
    if (!desktop_.IsWindow(window_))
        return Finish(SaveOutcome::NoTarget);
    if (desktop_.IsHung(window_))
        return Finish(SaveOutcome::NotResponding);
    std::erase_if(lastText_, [&](const auto& entry) { return !desktop_.IsWindow(entry.first); });
    DocumentAsk ask;
    ask.request = DocumentRequest::CopyText;
    ask.target.window = window_;
    ask.keep.control = control_;
    ask.keep.lastHash = lastText_[window_];
    ask.keep.history = system_.HistoryFolder();
    ask.keep.now = system_.LocalNow();
    ask.keep.copyTo =
        ask.keep.history + L"\\" + history::kUnsavedFolder + L"\\" +
        history::CopyName(SplitUnsavedMark(ReadWindowTitle(desktop_, window_)).title, window_, ask.keep.now);
    call_ = documents_.Start(ask);
    if (call_ == 0)
        return Finish(SaveOutcome::NotResponding);
    callStart_ = now;
    Enter(Phase::Copying);
}

void UnsavedCopy::OnReply(const KeepReply& reply) {
    switch (reply.result) {
    case KeepResult::Kept:
        lastText_[window_] = reply.hash;
        return Finish(SaveOutcome::CopyKept, KeepResult::None, reply.cut);
    case KeepResult::Unchanged:
        return Finish(SaveOutcome::NothingToSave);
    case KeepResult::Refused: // the control did not give its text in time
        return Finish(SaveOutcome::NotResponding);
    default:
        return Finish(SaveOutcome::CopyNotKept, reply.result);
    }
}

void UnsavedCopy::Enter(Phase phase) {
    phase_ = phase;
    view_.SetTimer(Timer::tmrCopy, kPollMs, true);
}

void UnsavedCopy::Finish(SaveOutcome outcome, KeepResult why, bool cut) {
    phase_ = Phase::Idle;
    view_.SetTimer(Timer::tmrCopy, kPollMs, false);
    if (onFinished_)
        onFinished_(outcome, why, cut);
}

} // namespace quillon
