// Which window receives the save keystrokes and which keystrokes: the dispatch table over the two
// options, the key strings, and the rules that say whether a window may be typed into at all.
// SaveDelivery.h types them, one confirmed step at a time.
#pragma once

#include "app/FormView.h"

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

// The two steps of a save string: the keys that open the menu ("%F") and the item's key ("S").
struct SaveSteps {
    std::wstring openMenu;
    std::wstring item;
};
SaveSteps SplitSaveKeys(const std::wstring& keys);

// Key events for a key string in which "%", "^" and "+" hold Alt, Ctrl and Shift down for the
// next character; letters are typed as their upper-case virtual keys.
std::vector<KeyEvent> KeyEventsFor(const std::wstring& keys);

// Whether synthetic input may be sent to a target: a program running elevated cannot receive
// input from a non-elevated one, and one whose elevation cannot be read is treated the same.
bool MayTypeInto(Elevation self, Elevation target);

// Whether typed keys would reach `window` itself: it is enabled, and when it is a dialog its owner
// is too (a modal dialog disables its owner, and the dialog on top of it takes the keys).
bool TakesKeys(IDesktop& desktop, WindowHandle window);

// The user works in the program of `window`: one of its windows is in front, and they have not
// paused for `pauseMs`. A save without keys waits for their pause only then.
bool UserWorksIn(IDesktop& desktop, IInput& input, WindowHandle window, std::uint64_t pauseMs);

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

class SaveCycle;
class ProgramLists;
// The save of one cycle: reads the options and starts the cycle, which saves the kept program
// (or the window in front). `intervalSeconds` is the length of the cycle that starts now.
void StartSave(IFormView& view, const ProgramLists& lists, SaveCycle& cycle, double intervalSeconds);

} // namespace quillon
