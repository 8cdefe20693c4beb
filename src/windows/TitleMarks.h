// The marks with which editors show unsaved changes in their titles ("*notes.txt - Notepad",
// "● notes.txt - Code", "notes.txt*", "notes.md • - Sublime Text", "notes.txt* - Kate"), a title
// with its mark set aside, and the document's name in it.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

struct MarkedTitle {
    std::wstring title;    // the title without its mark and the blanks around it
    std::wstring document; // the document's name: the title before the program's part (" - Program")
    bool marked = false;
    bool operator==(const MarkedTitle&) const = default;
};

// A leading "*", "●" or "•", a trailing "*", or a "*", "●" or "•" right after the document's name
// before the program's part, with the blanks beside it; the title comes back without the mark.
MarkedTitle SplitUnsavedMark(std::wstring_view title);

// Whether a document's name is a file's: it is a path, or it ends in a file extension. Names that
// editors give documents without a file ("Untitled-1", "new 1", "无标题", a first line of text) are not.
bool NamesAFile(std::wstring_view document);

// What a window's title says of the marked document a save began with.
enum class ShownDocument {
    Marked, // it is still shown, marked
    Clean,  // it is still shown, without its mark
    Other,  // another document is shown
};
ShownDocument FollowDocument(std::wstring_view title, std::wstring_view document);

// Whether a title (its mark aside) names the document `name` (a file's name or path, with or
// without its extension): it is the name, or begins with it before the program's part.
bool TitleNamesDocument(std::wstring_view title, std::wstring_view name);

} // namespace quillon
