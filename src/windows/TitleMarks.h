// The marks with which editors show unsaved changes in their titles ("*notes.txt - Notepad",
// "● notes.txt - Code", "notes.txt*"), and a title with its mark set aside.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

struct MarkedTitle {
    std::wstring title; // the title without its mark and the blanks around it
    bool marked = false;
    bool operator==(const MarkedTitle&) const = default;
};

// A leading "*", "●" or "•", or a trailing "*", with the blanks beside it; the title comes back
// without blanks around it either way.
MarkedTitle SplitUnsavedMark(std::wstring_view title);

} // namespace quillon
