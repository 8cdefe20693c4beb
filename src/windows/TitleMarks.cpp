#include "windows/TitleMarks.h"

#include <algorithm>
#include <cwctype>

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

std::size_t ProgramPartAt(std::wstring_view title) {
    std::size_t at = std::wstring_view::npos;
    for (std::wstring_view separator : kProgramSeparators)
        at = std::min(at, title.find(separator));
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

// The title with its mark taken out, and whether it had one.
std::pair<std::wstring, bool> WithoutMark(std::wstring_view trimmed) {
    if (!trimmed.empty() && kLeadingMarks.find(trimmed.front()) != std::wstring_view::npos)
        return {std::wstring(TrimBlanks(trimmed.substr(1))), true};
    if (!trimmed.empty() && trimmed.back() == L'*')
        return {std::wstring(TrimBlanks(trimmed.substr(0, trimmed.size() - 1))), true};
    const std::size_t part = ProgramPartAt(trimmed);
    if (part == std::wstring_view::npos)
        return {std::wstring(trimmed), false};
    const std::wstring_view name = TrimBlanks(trimmed.substr(0, part));
    if (name.size() < 2 || kLeadingMarks.find(name.back()) == std::wstring_view::npos)
        return {std::wstring(trimmed), false};
    return {std::wstring(TrimBlanks(name.substr(0, name.size() - 1))) + std::wstring(trimmed.substr(part)),
            true};
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

} // namespace

MarkedTitle SplitUnsavedMark(std::wstring_view title) {
    auto [rest, marked] = WithoutMark(TrimBlanks(title));
    const std::size_t part = ProgramPartAt(rest);
    std::wstring document(TrimBlanks(std::wstring_view(rest).substr(0, part)));
    return {std::move(rest), std::move(document), marked};
}

bool NamesAFile(std::wstring_view document) {
    const std::wstring_view name = TrimBlanks(document);
    return IsPath(name) || HasExtension(name);
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
