// A document never saved in a program whose text a classic control holds: Notepad's Edit,
// WordPad's RichEdit (its text without the formatting) and Notepad++'s Scintilla answer
// WM_GETTEXT as any window does. Its Save would open a Save As dialog in the user's face and save
// nothing until it is answered; instead its text is kept in the history, as UTF-8, whenever it
// changed since its last copy. Nothing is typed into the program, the front never moves, and the
// document stays as it was (unnamed, holding its changes, its undo intact). The copy waits for the
// user's pause while they work in that very program, as a save does, and runs off the window's
// thread: a program that does not answer costs the cycle, never Quillon's window.
#pragma once

#include "app/FormView.h"
#include "platform/Platform.h"
#include "scheduler/SaveDelivery.h"
#include "scheduler/SaveOutcome.h"

#include <functional>
#include <map>

namespace quillon {

// The control that holds the text of the never-saved document the window shows; 0 for any other
// window (another program's, or a document with a file).
WindowHandle UnsavedTextControl(IDesktop& desktop, WindowHandle window);

class UnsavedCopy {
public:
    static constexpr std::uint64_t kPauseMs = 1500;
    static constexpr std::uint64_t kCopyWaitMs = 15000; // tens of megabytes of text take their time
    static constexpr unsigned kPollMs = 100;

    UnsavedCopy(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, IDocuments& documents)
        : view_(view), desktop_(desktop), input_(input), system_(system), documents_(documents) {}

    // How it ended: CopyKept, NothingToSave (the text is the one kept last), CopyNotKept (`why`),
    // or why it could not ask; `cut`: only the first part of a longer text was kept.
    void OnFinished(std::function<void(SaveOutcome outcome, KeepResult why, bool cut)> listener) {
        onFinished_ = std::move(listener);
    }

    // Starts the copy; one still waiting for the user's pause goes on as the new cycle's.
    void Begin(const SaveRequest& request, WindowHandle control);
    // The next cycle came while this one waits for the user's pause: it goes on as the new cycle's.
    void CarryOver(std::uint64_t intervalMs);
    // Saving was switched off: a copy not asked for yet ends here.
    void Cancel();
    void tmrCopy_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    bool Waiting() const { return phase_ == Phase::WaitPause; }

private:
    enum class Phase { Idle, WaitPause, Copying };

    void Copy(std::uint64_t now);
    void OnReply(const KeepReply& reply);
    void Enter(Phase phase);
    void Finish(SaveOutcome outcome, KeepResult why = KeepResult::None, bool cut = false);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    IDocuments& documents_;
    std::function<void(SaveOutcome, KeepResult, bool)> onFinished_;
    Phase phase_ = Phase::Idle;
    WindowHandle window_ = 0;
    WindowHandle control_ = 0;
    std::uint64_t intervalMs_ = 0;
    std::uint64_t cycleStart_ = 0;
    DocumentCallId call_ = 0;
    std::uint64_t callStart_ = 0;
    std::map<WindowHandle, std::uint64_t> lastText_; // the mark of each window's text copied last
};

} // namespace quillon
