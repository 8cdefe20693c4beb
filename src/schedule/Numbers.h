// Reading numbers from text boxes and writing them back: the locale-aware text-to-number
// conversion, the display patterns "#" and "#.##", and the plain decimal text of a count.
#pragma once

#include <optional>
#include <string>

namespace quillon {

class Numbers {
public:
    explicit Numbers(wchar_t decimalSeparator = L'.') : decimal_(decimalSeparator) {}

    // Blanks around the number are allowed; anything else that is not a number gives nothing.
    std::optional<double> Parse(const std::wstring& text) const;
    // The same conversion to single precision; a number too large for it gives nothing.
    std::optional<float> ParseSingle(const std::wstring& text) const;
    // The text converted to a whole number (halves to the even neighbour).
    std::optional<long long> ParseWhole(const std::wstring& text) const;

    // Pattern "#": rounded to a whole number (halves away from zero); zero gives an empty text.
    std::wstring FormatWhole(double value) const;
    // Pattern "#.##": at most two decimals, no leading zero, the decimal point always written.
    std::wstring FormatTwoDecimals(double value) const;
    // Plain decimal text: 59, 0, -1, 1.5 (up to 15 significant digits).
    std::wstring PlainText(double value) const;

private:
    wchar_t decimal_;
};

} // namespace quillon
