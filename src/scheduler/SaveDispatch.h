// Which window receives the save keystrokes and which keystrokes, and their careful delivery.
// A save never takes the keyboard from the user: a listed program that is not in front is
// brought there only after a pause in the user's typing and mousing, and after a Save the front
// goes back to the window the user was working in. Nothing is typed while the user holds a
// modifier, a hotkey or a mouse button, into a window that is not really in front and ready, into
// a disabled window or a modal dialog's owner, into a program that does not answer or runs
// elevated above Quillon, into a window whose handle now belongs to another process, or into
// Quillon's own windows.
#pragma once

#include "app/FormView.h"
#include "scheduler/ActivityLog.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {

enum class SaveTarget { Listed, Focused };

struct SaveRow {
    SaveTarget target;
    std::wstring keys; // "%FS" or "%FA"
    bool operator==(const SaveRow&) const = default;
};

// The dispatch table over the values of chkSaveAs (S) and chkCurrent (W), first match wins.
SaveRow ChooseSaveRow(int saveAs, int current);

// Key events for a key string in which "%", "^" and "+" hold Alt, Ctrl and Shift down for the
// next character; letters are typed as their upper-case virtual keys.
std::vector<KeyEvent> KeyEventsFor(const std::wstring& keys);

// Whether synthetic input may be sent to a target: a program running elevated cannot receive
// input from a non-elevated one, and one whose elevation cannot be read is treated the same.
bool MayTypeInto(Elevation self, Elevation target);

// Whether typed keys would reach `window` itself: it is enabled, and when it is a dialog its owner
// is too (a modal dialog disables its owner, and the dialog on top of it takes the keys).
bool TakesKeys(IDesktop& desktop, WindowHandle window);

// The keys and buttons that must all be up before anything is typed.
inline constexpr std::uint8_t kGuardedKeys[] = {vk::Shift,   vk::Control, vk::Menu,     vk::LWin,
                                                vk::RWin,    vk::F2,      vk::F3,       vk::LButton,
                                                vk::RButton, vk::MButton, vk::XButton1, vk::XButton2};

// The window chosen in the program list, and the process that owned it when it was listed:
// Windows reuses handles, so a handle kept for hours may name another program's window.
struct ListedWindow {
    WindowHandle window = 0;
    std::uint32_t processId = 0;
};

enum class DeliveryOutcome {
    Typed,         // the keys went in (and the log line was written when asked for)
    NoTarget,      // nothing to type into: no listed window, closed, reused, Quillon's own, a dialog
    UserBusy,      // the user kept working; the listed window was not brought to the front
    NotResponding, // the listed program does not answer
    NotForeground, // the listed window never came to the front ready for keys
    KeysHeld,      // the user held a guarded key or button throughout
    Elevated,      // the receiver runs elevated above Quillon
    Incomplete,    // the system did not take every key event
    Busy,          // the previous save was still being delivered
    Cancelled,     // saving was switched off before anything was typed
};

struct SaveRequest {
    SaveRow row;
    std::optional<ListedWindow> listed; // the selected program, for the listed rows
    std::wstring entry;                 // its List1 text, for the log line
    bool writeLog = false;
    std::uint64_t intervalMs = 0; // the cycle's length: the longest wait for a pause in the user's input
};

// One save's delivery, advanced by tmrDeliver until it has typed or given up.
class SaveDelivery {
public:
    static constexpr std::uint64_t kPauseBeforeTakingFrontMs = 1500;
    static constexpr std::uint64_t kPauseWaitLimitMs = 10000;
    static constexpr std::uint64_t kForegroundWaitMs = 1000;
    static constexpr std::uint64_t kRetryAfterMs = 300;
    static constexpr std::uint64_t kKeyReleaseWaitMs = 2000;
    static constexpr std::uint64_t kKeysTakenWaitMs = 1000;
    // A program whose Alt+F opens no classic menu (a ribbon) is taken to have the keys this long
    // after they went in, once it answers.
    static constexpr std::uint64_t kNoMenuGraceMs = 200;
    static constexpr unsigned kAnswerTimeoutMs = 25;
    static constexpr unsigned kPollMs = 10;
    static constexpr unsigned kPausePollMs = 100;
    // How close to Quillon's own typing an input may come and still be taken for it.
    static constexpr std::uint64_t kOwnInputSlackMs = 100;

    SaveDelivery(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, ActivityLog& log)
        : view_(view), desktop_(desktop), input_(input), system_(system), log_(log) {}

    // Starts delivering a save. A save already under way is not interrupted.
    void Begin(const SaveRequest& request);
    // Saving was switched off: a delivery that has not typed yet ends here.
    void Cancel();
    void tmrDeliver_Timer();

    bool Busy() const { return phase_ != Phase::Idle; }
    std::optional<DeliveryOutcome> LastOutcome() const { return lastOutcome_; }

private:
    enum class Phase { Idle, WaitForPause, WaitForeground, WaitKeysReleased, WaitKeysTaken };
    class StepGuard;

    void Advance();
    void AdvancePause(std::uint64_t now);
    std::uint64_t UserIdleMs(std::uint64_t now) const;
    void TakeFront(std::uint64_t now);
    bool AdvanceForeground(std::uint64_t now);
    void AdvanceKeysTaken(std::uint64_t now);
    bool AnyGuardedKeyDown();
    bool IsListedWindowStillThere() const;
    void TypeNow();
    void GiveFrontBack();
    void Enter(Phase phase, std::uint64_t now, unsigned pollMs = kPollMs);
    void Finish(DeliveryOutcome outcome);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    ActivityLog& log_;

    Phase phase_ = Phase::Idle;
    SaveRequest request_;
    WindowHandle target_ = 0;
    bool retried_ = false;
    std::uint64_t phaseStart_ = 0;
    std::uint64_t cycleStart_ = 0;
    // The window the user was working in when the listed one was brought to the front, and the
    // control that had its keyboard focus; 0 when the listed window was in front already.
    WindowHandle previousFront_ = 0;
    WindowHandle previousFocus_ = 0;
    std::optional<std::uint64_t> ownInputAt_; // when Quillon last typed a key itself
    bool inStep_ = false;
    bool sawMenu_ = false;
    int answersAfterKeys_ = 0;
    std::optional<DeliveryOutcome> lastOutcome_;
};

class ProgramLists;
// The save of one cycle: reads the two options and the selected program, and starts typing.
// `intervalSeconds` is the length of the cycle that starts now.
void StartSave(IFormView& view, const ProgramLists& lists, SaveDelivery& delivery, double intervalSeconds);

} // namespace quillon
