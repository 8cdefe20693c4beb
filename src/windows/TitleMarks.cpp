#include "windows/TitleMarks.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace quillon {
namespace {

constexpr std::wstring_view kLeadingMarks = L"*\u25CF\u2022"; // * ● •
constexpr std::wstring_view kBlanks = L" \u00A0";
// Between the document's name and the program's: a hyphen, an en or an em dash with blanks.
constexpr std::wstring_view kProgramSeparators[] = {L" - ", L" \u2013 ", L" \u2014 "};
// What may follow a document's name in a title: the program's part, or a note in brackets.
constexpr std::wstring_view kAfterName = L"-\u2013\u2014[(|";
constexpr std::size_t kLongestExtension = 8;

std::wstring_view TrimBlanks(std::wstring_view text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::wstring_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

// Every place where a separator stands: the program's part begins at one of them, and a
// document's own name may hold the others ("notes - Copy.txt", "Q3 - budget.xlsx").
std::vector<std::size_t> SeparatorsIn(std::wstring_view title) {
    std::vector<std::size_t> at;
    for (std::wstring_view separator : kProgramSeparators)
        for (std::size_t found = title.find(separator); found != std::wstring_view::npos;
             found = title.find(separator, found + 1))
            at.push_back(found);
    std::sort(at.begin(), at.end());
    return at;
}

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); });
}

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// The title with its mark taken out, and whether it had one. A mark in the middle stands right
// before a separator, after the document's name.
std::pair<std::wstring, bool> WithoutMark(std::wstring_view trimmed) {
    if (!trimmed.empty() && kLeadingMarks.find(trimmed.front()) != std::wstring_view::npos)
        return {std::wstring(TrimBlanks(trimmed.substr(1))), true};
    if (!trimmed.empty() && trimmed.back() == L'*')
        return {std::wstring(TrimBlanks(trimmed.substr(0, trimmed.size() - 1))), true};
    for (std::size_t part : SeparatorsIn(trimmed)) {
        const std::wstring_view name = TrimBlanks(trimmed.substr(0, part));
        if (name.size() >= 2 && kLeadingMarks.find(name.back()) != std::wstring_view::npos)
            return {std::wstring(TrimBlanks(name.substr(0, name.size() - 1))) +
                        std::wstring(trimmed.substr(part)),
                    true};
    }
    return {std::wstring(trimmed), false};
}

bool IsPath(std::wstring_view name) {
    const bool drive = name.size() >= 3 && std::iswalpha(name[0]) && name[1] == L':' &&
                       (name[2] == L'\\' || name[2] == L'/');
    return drive || name.starts_with(L"\\\\") || name.starts_with(L"/") || name.starts_with(L"~/");
}

bool HasExtension(std::wstring_view name) {
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 || kBlanks.find(name[dot - 1]) != std::wstring_view::npos)
        return false;
    const std::wstring_view extension = name.substr(dot + 1);
    return !extension.empty() && extension.size() <= kLongestExtension &&
           std::all_of(extension.begin(), extension.end(), IsAsciiAlnum) &&
           std::any_of(extension.begin(), extension.end(),
                       [](wchar_t c) { return !(c >= L'0' && c <= L'9'); });
}

bool BeginsWithName(std::wstring_view title, std::wstring_view name) {
    if (name.empty() || !StartsWithIgnoringCase(title, name))
        return false;
    const std::wstring_view rest = TrimBlanks(title.substr(name.size()));
    if (rest.empty())
        return true;
    return title[name.size()] == L' ' && kAfterName.find(rest.front()) != std::wstring_view::npos;
}

// The document's name: the longest part before a separator that names a file, since the
// program's part is at the end and may hold separators itself ("report.md - project - Visual
// Studio Code"); a title that names no file, up to its first separator ("Untitled - Notepad").
std::wstring_view DocumentPart(std::wstring_view title) {
    const std::vector<std::size_t> separators = SeparatorsIn(title);
    for (auto part = separators.rbegin(); part != separators.rend(); ++part)
        if (const std::wstring_view name = TrimBlanks(title.substr(0, *part)); NamesAFile(name))
            return name;
    return TrimBlanks(title.substr(0, separators.empty() ? title.size() : separators.front()));
}

} // namespace

MarkedTitle SplitUnsavedMark(std::wstring_view title) {
    auto [rest, marked] = WithoutMark(TrimBlanks(title));
    return {rest, std::wstring(DocumentPart(rest)), marked};
}

bool NamesAFile(std::wstring_view document) {
    const std::wstring_view name = TrimBlanks(document);
    return IsPath(name) || HasExtension(name);
}

ShownDocument FollowDocument(std::wstring_view title, std::wstring_view document) {
    const MarkedTitle shown = SplitUnsavedMark(title);
    if (shown.document != document)
        return ShownDocument::Other;
    return shown.marked ? ShownDocument::Marked : ShownDocument::Clean;
}

bool TitleNamesDocument(std::wstring_view title, std::wstring_view name) {
    const std::wstring shown = SplitUnsavedMark(title).title;
    const std::wstring_view trimmed = TrimBlanks(name);
    if (BeginsWithName(shown, trimmed))
        return true;
    // Explorer's "hide extensions" makes some programs show the name without it.
    const std::size_t dot = trimmed.rfind(L'.');
    return HasExtension(trimmed) && BeginsWithName(shown, trimmed.substr(0, dot));
}

} // namespace quillon
