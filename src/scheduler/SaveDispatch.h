// Which window receives the save keystrokes and which keystrokes, and their careful delivery:
// a listed target is typed into only once it really is the foreground window, nothing is typed
// while the user holds a modifier, a hotkey or a mouse button, and nothing goes to a program
// that runs elevated above Quillon.
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

// The keys and buttons that must all be up before anything is typed.
inline constexpr std::uint8_t kGuardedKeys[] = {vk::Shift,   vk::Control, vk::Menu,     vk::LWin,
                                                vk::RWin,    vk::F2,      vk::F3,       vk::LButton,
                                                vk::RButton, vk::MButton, vk::XButton1, vk::XButton2};

enum class DeliveryOutcome { Typed, NoTarget, NotForeground, KeysHeld, Elevated, Incomplete, Busy };

// One save's delivery, advanced by tmrDeliver every 10 ms until it has typed or given up.
class SaveDelivery {
public:
    static constexpr std::uint64_t kForegroundWaitMs = 1000;
    static constexpr std::uint64_t kRetryAfterMs = 300;
    static constexpr std::uint64_t kKeyReleaseWaitMs = 2000;
    static constexpr unsigned kPollMs = 10;

    SaveDelivery(IFormView& view, IDesktop& desktop, IInput& input, ISystem& system, ActivityLog& log)
        : view_(view), desktop_(desktop), input_(input), system_(system), log_(log) {}

    // Starts delivering `row`; `listed` is the selected program's handle, `entry` its List1 text,
    // `writeLog` whether a typed save is logged. A save already under way is not interrupted.
    void Begin(const SaveRow& row, std::optional<WindowHandle> listed, const std::wstring& entry,
               bool writeLog);
    void tmrDeliver_Timer() { Advance(); }

    bool Busy() const { return phase_ != Phase::Idle; }
    std::optional<DeliveryOutcome> LastOutcome() const { return lastOutcome_; }

private:
    enum class Phase { Idle, WaitForeground, WaitKeysReleased };

    void Advance();
    bool AdvanceForeground(std::uint64_t now);
    bool AnyGuardedKeyDown();
    void TypeNow();
    void Finish(DeliveryOutcome outcome);

    IFormView& view_;
    IDesktop& desktop_;
    IInput& input_;
    ISystem& system_;
    ActivityLog& log_;

    Phase phase_ = Phase::Idle;
    SaveRow row_{SaveTarget::Listed, L""};
    WindowHandle target_ = 0;
    std::wstring entry_;
    bool writeLog_ = false;
    bool retried_ = false;
    std::uint64_t phaseStart_ = 0;
    std::optional<DeliveryOutcome> lastOutcome_;
};

} // namespace quillon

namespace quillon {
class ProgramLists;
// The save of one cycle: reads the two options and the selected program, and starts typing.
void StartSave(IFormView& view, const ProgramLists& lists, SaveDelivery& delivery);
} // namespace quillon
