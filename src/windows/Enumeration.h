// The snapshot of the desktop's top-level windows that the program lists are built from.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// A window's title as the program reads it: through a buffer of 256 characters, so at most 255.
std::wstring ReadWindowTitle(IDesktop& desktop, WindowHandle window);

struct WindowRecord {
    WindowHandle hWnd = 0;
    std::wstring Title; // the window's title followed by one space
    std::wstring State; // "Normal", "Minimized", "Maximized" or empty
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The window table, indexed from 1 like the count that the list fill lowers as it skips windows.
class WindowTable {
public:
    static constexpr std::int16_t kMaxRecords = 32767;

    void Erase() {
        records_.clear();
        WindowCount = 0;
    }
    std::size_t Size() const { return records_.size(); }
    const WindowRecord& operator[](int index) const { return records_.at(index - 1); }

    // The enumeration callback: appends one record for `window`. Always continues.
    bool EnumWindowsProc(IDesktop& desktop, WindowHandle window);

    // The number of records, lowered by the list fill for each record it skips.
    std::int16_t WindowCount = 0;

private:
    std::vector<WindowRecord> records_;
};

} // namespace quillon
