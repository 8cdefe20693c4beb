// The list fill over any desktop: up to thousands of windows, titles of up to 100,000 characters
// with lone surrogates and control characters, any styles. After a refresh and the tmrWait fill,
// entry i of List2 is the handle of the window whose title (cut to 255 characters, plus one
// space) is entry i of List1, every window that passes the filter is listed once, and the two
// lists differ in length only by the visible filter's leaving out of the first window in List1.
#include "FuzzSupport.h"

#include "fakes/FakeDesktop.h"
#include "fakes/FakeFormView.h"
#include "windows/ProgramLists.h"

#include <climits>
#include <cwchar>
#include <set>

using namespace quillon;
using fuzz::Show;

namespace {

std::wstring AnyTitle(FuzzedDataProvider& data) {
    switch (data.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return L"";
    case 1: { // long: a piece repeated up to 100,000 characters
        const std::wstring piece = fuzz::AnyText(data, 8);
        const std::size_t length = data.ConsumeIntegralInRange<std::size_t>(200, 100'000);
        std::wstring title;
        while (!piece.empty() && title.size() < length)
            title += piece;
        return title.substr(0, length);
    }
    case 2: // around the cut
        return std::wstring(data.ConsumeIntegralInRange<std::size_t>(250, 260), L'x') + fuzz::AnyText(data, 4);
    case 3: // the prefixes of the system windows the plain filter hides
        return fuzz::TextFrom(data, L" MSWINDDOLEle", 6);
    default:
        return fuzz::AnyText(data, 40);
    }
}

std::uint32_t AnyStyle(FuzzedDataProvider& data) {
    static const std::uint32_t kStyles[] = {fakes::kWsVisible | fakes::kWsBorder, fakes::kWsVisible | fakes::kWsCaption,
                                            fakes::kWsVisible, fakes::kWsBorder, 0};
    return data.ConsumeBool() ? data.PickValueInArray(kStyles) : data.ConsumeIntegral<std::uint32_t>();
}

std::optional<WindowHandle> ParseHandle(const std::wstring& text) {
    if (text.empty() || text.find_first_not_of(L"-0123456789") != std::wstring::npos)
        return std::nullopt;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 10);
    if (*end != 0 || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<WindowHandle>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    fuzz::FakeFailures failures;
    fakes::FakeClock clock;
    fakes::FakeDesktop desktop{clock};
    fakes::FakeFormView view;
    const Numbers numbers;
    const bool timerSet = false;
    KeptProgram kept{desktop};
    ProgramLists lists{view, desktop, numbers, timerSet, kept};

    const int visible = data.ConsumeIntegralInRange(0, 2);
    view.SetValue(Control::chkVisible, visible);
    // Mostly a few windows; now and then thousands, most of them alike.
    const int count = data.ConsumeBool() ? data.ConsumeIntegralInRange(0, 40) : data.ConsumeIntegralInRange(0, 5000);
    std::set<WindowHandle> handles;
    std::size_t totalChars = 0;
    for (int i = 0; i < count && (data.remaining_bytes() > 0 || i < 40); ++i) {
        WindowHandle handle = data.ConsumeBool() ? 0x10000 + i * 2 : data.ConsumeIntegral<WindowHandle>();
        if (handle == 0 || !handles.insert(handle).second)
            continue;
        // Long titles up to a total of a few million characters, to keep each run quick.
        std::wstring title = data.remaining_bytes() > 0 ? AnyTitle(data) : L"w";
        if (totalChars + title.size() > 3'000'000)
            title.resize(20);
        totalChars += title.size();
        fakes::FakeWindow& window = desktop.Add(handle, title);
        window.style = AnyStyle(data);
        window.ownProcess = data.ConsumeIntegralInRange(0, 7) == 0; // one of Quillon's own
        if (data.ConsumeIntegralInRange(0, 15) == 0)
            desktop.Close(handle);
    }
    // A stale selection and stale entries must not survive the refresh.
    view.SetList(Control::List1, {L"old"}, 0);
    view.SetList(Control::List2, {L"1"});

    lists.RefreshWindowList();
    FUZZ_CHECK(view.ListCount(Control::List1) == 0 && view.ListCount(Control::List2) == 0);
    FUZZ_CHECK(view.TimerRunning(Timer::tmrWait));
    lists.tmrWait_Timer();
    FUZZ_CHECK(!view.TimerRunning(Timer::tmrWait));

    const auto& list1 = view.ListItems(Control::List1);
    const auto& list2 = view.ListItems(Control::List2);
    // The qualifying windows, in enumeration order.
    std::vector<WindowHandle> expected;
    for (WindowHandle handle : desktop.zOrder) {
        const fakes::FakeWindow& w = desktop.windows[handle];
        if (!w.exists)
            continue;
        const std::wstring listed = w.title.substr(0, 255) + L" ";
        const bool qualifies = visible == 1 ? (w.style & 0x10800000u) == 0x10800000u && !w.ownProcess
                                            : !HasHiddenPrefix(listed);
        if (qualifies)
            expected.push_back(handle);
    }
    FUZZ_CHECK(list2.size() == expected.size()) << list2.size() << " handles listed, " << expected.size() << " qualify";
    FUZZ_CHECK(list1.size() == list2.size()) << "List1 has " << list1.size() << " entries, List2 " << list2.size();
    for (std::size_t i = 0; i < list2.size(); ++i) {
        const auto handle = ParseHandle(list2[i]);
        FUZZ_CHECK(handle.has_value()) << "List2 entry " << i << " is " << Show(list2[i]);
        // Newest first: the last qualifying window is at the top.
        FUZZ_CHECK(*handle == expected[expected.size() - 1 - i]) << "entry " << i;
        if (i < list1.size()) {
            const std::wstring title = desktop.windows[*handle].title.substr(0, 255) + L" ";
            FUZZ_CHECK(list1[i] == title) << "entry " << i << ": List1 " << Show(list1[i]) << ", window "
                                          << Show(title);
        }
    }
    FUZZ_CHECK(lists.SelectedTitle().empty() && !lists.SelectedHandle());
    return 0;
}
