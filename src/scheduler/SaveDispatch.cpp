#include "scheduler/SaveDispatch.h"

#include "scheduler/SaveCycle.h"
#include "windows/ProgramLists.h"

#include <algorithm>
#include <cwctype>

namespace quillon {

SaveRow ChooseSaveRow(int saveAs, int current) {
    if (saveAs == 1 && current == 0)
        return {SaveTarget::Listed, L"%FA"};
    if (saveAs == 0 && current == 1)
        return {SaveTarget::Focused, L"%FS"};
    if (current == 1)
        return {SaveTarget::Focused, L"%FA"};
    return {SaveTarget::Listed, L"%FS"};
}

// "%F" opens the menu; what follows names its item.
SaveSteps SplitSaveKeys(const std::wstring& keys) {
    const std::size_t split = std::min<std::size_t>(2, keys.size());
    return {keys.substr(0, split), keys.substr(split)};
}

std::vector<KeyEvent> KeyEventsFor(const std::wstring& keys) {
    std::vector<KeyEvent> events;
    std::vector<std::uint8_t> held;
    for (wchar_t c : keys) {
        if (c == L'%' || c == L'^' || c == L'+') {
            const std::uint8_t modifier = c == L'%' ? vk::Menu : c == L'^' ? vk::Control : vk::Shift;
            events.push_back({modifier, true});
            held.push_back(modifier);
            continue;
        }
        const auto key = static_cast<std::uint8_t>(std::towupper(c));
        events.push_back({key, true});
        events.push_back({key, false});
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            events.push_back({*it, false});
        held.clear();
    }
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        events.push_back({*it, false});
    return events;
}

bool MayTypeInto(Elevation self, Elevation target) {
    return self == Elevation::Elevated || target == Elevation::NotElevated;
}

bool TakesKeys(IDesktop& desktop, WindowHandle window) {
    if (window == 0 || !desktop.IsEnabled(window))
        return false;
    const WindowHandle owner = desktop.OwnerOf(window);
    return owner == 0 || desktop.IsEnabled(owner);
}

bool UserWorksIn(IDesktop& desktop, IInput& input, WindowHandle window, std::uint64_t pauseMs) {
    const WindowHandle front = desktop.ForegroundWindow();
    const bool inFront = front != 0 && desktop.ProcessIdOf(front) == desktop.ProcessIdOf(window);
    return inFront && input.MsSinceLastInput() < pauseMs;
}

void StartSave(IFormView& view, const ProgramLists& lists, SaveCycle& cycle, double intervalSeconds) {
    SaveRequest request;
    request.row = ChooseSaveRow(view.Value(Control::chkSaveAs), view.Value(Control::chkCurrent));
    request.entry = lists.SelectedTitle();
    request.writeLog = view.Value(Control::chkSave) == 1;
    // An unknown length leaves the longest wait for a pause as it is.
    const double seconds = std::min(intervalSeconds > 0 ? intervalSeconds : 0.0, 1e9);
    request.intervalMs =
        seconds > 0 ? static_cast<std::uint64_t>(seconds * 1000) : SaveDelivery::kDefaultWaitLimitMs;
    cycle.Begin(request);
}

} // namespace quillon
