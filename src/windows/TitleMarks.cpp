#include "windows/TitleMarks.h"

namespace quillon {
namespace {

constexpr std::wstring_view kLeadingMarks = L"*\u25CF\u2022"; // * ● •
constexpr std::wstring_view kBlanks = L" \u00A0";

std::wstring_view TrimBlanks(std::wstring_view text) {
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::wstring_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

} // namespace

MarkedTitle SplitUnsavedMark(std::wstring_view title) {
    const std::wstring_view trimmed = TrimBlanks(title);
    if (!trimmed.empty() && kLeadingMarks.find(trimmed.front()) != std::wstring_view::npos)
        return {std::wstring(TrimBlanks(trimmed.substr(1))), true};
    if (!trimmed.empty() && trimmed.back() == L'*')
        return {std::wstring(TrimBlanks(trimmed.substr(0, trimmed.size() - 1))), true};
    return {std::wstring(trimmed), false};
}

} // namespace quillon
