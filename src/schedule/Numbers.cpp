#include "schedule/Numbers.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <limits>

namespace quillon {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}
bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Checks the shape [sign] digits [sep digits] [e [sign] digits] and returns it as ASCII with '.'.
std::optional<std::string> NormaliseNumber(const std::wstring& text, wchar_t decimal) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    std::string out;
    std::size_t i = begin;
    if (i < end && (text[i] == L'+' || text[i] == L'-'))
        out += static_cast<char>(text[i++]);
    int digits = 0;
    for (; i < end && IsDigit(text[i]); ++i, ++digits)
        out += static_cast<char>(text[i]);
    if (i < end && text[i] == decimal) {
        out += '.';
        for (++i; i < end && IsDigit(text[i]); ++i, ++digits)
            out += static_cast<char>(text[i]);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < end && (text[i] == L'e' || text[i] == L'E')) {
        out += 'e';
        ++i;
        if (i < end && (text[i] == L'+' || text[i] == L'-'))
            out += static_cast<char>(text[i++]);
        int exponentDigits = 0;
        for (; i < end && IsDigit(text[i]); ++i, ++exponentDigits)
            out += static_cast<char>(text[i]);
        if (exponentDigits == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    return out;
}

// A number as decimal digits: value = 0.digits × 10^exponent, digits without leading zeros.
struct DecimalDigits {
    bool negative = false;
    std::string digits; // empty for zero
    int exponent = 0;
};

// Takes the 15 significant digits that a double reliably carries, so that 1.005 counts as 1.005
// and not as the binary neighbour just below it, then rounds half away from zero at `decimals`.
DecimalDigits RoundHalfAwayFromZero(double value, int decimals) {
    DecimalDigits result;
    if (value == 0 || !std::isfinite(value))
        return result;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    // Next to the largest doubles the 15-digit figure lies beyond them and would not read back;
    // 17 digits always name the double itself.
    if (!std::isfinite(std::strtod(buffer, nullptr)))
        std::snprintf(buffer, sizeof buffer, "%.16e", value);
    const char* p = buffer;
    if (*p == '-') {
        result.negative = true;
        ++p;
    }
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    const int exponent = std::atoi(p + 1) + 1; // 0.ddd × 10^exponent
    const int keep = exponent + decimals;
    if (keep < 0)
        return {};
    if (keep < static_cast<int>(digits.size())) {
        const bool roundUp = digits[keep] >= '5';
        digits.resize(keep);
        int carryAt = keep - 1;
        if (roundUp) {
            while (carryAt >= 0 && digits[carryAt] == '9')
                digits[carryAt--] = '0';
            if (carryAt >= 0) {
                ++digits[carryAt];
            } else {
                digits.insert(digits.begin(), '1');
                result.exponent = 1;
            }
        }
    }
    result.exponent += exponent;
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    std::size_t lead = 0;
    while (lead < digits.size() && digits[lead] == '0')
        ++lead;
    digits.erase(0, lead);
    result.exponent -= static_cast<int>(lead);
    result.digits = digits;
    if (digits.empty())
        result.negative = false;
    return result;
}

std::wstring IntegerPart(const DecimalDigits& d) {
    std::wstring out;
    for (int i = 0; i < d.exponent; ++i)
        out += i < static_cast<int>(d.digits.size()) ? static_cast<wchar_t>(d.digits[i]) : L'0';
    return out;
}

std::wstring FractionPart(const DecimalDigits& d) {
    std::wstring out;
    for (int i = 0; i < static_cast<int>(d.digits.size()) - d.exponent; ++i) {
        const int index = d.exponent + i;
        out += index >= 0 ? static_cast<wchar_t>(d.digits[index]) : L'0';
    }
    return out;
}

} // namespace

std::optional<double> Numbers::Parse(const std::wstring& text) const {
    const auto normalised = NormaliseNumber(text, decimal_);
    if (!normalised)
        return std::nullopt;
    const double value = std::strtod(normalised->c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<float> Numbers::ParseSingle(const std::wstring& text) const {
    const auto value = Parse(text);
    if (!value || std::fabs(*value) > FLT_MAX)
        return std::nullopt;
    return static_cast<float>(*value);
}

std::optional<long long> Numbers::ParseWhole(const std::wstring& text) const {
    const auto value = Parse(text);
    if (!value || std::fabs(*value) > 9.0e15)
        return std::nullopt;
    return static_cast<long long>(std::nearbyint(*value));
}

std::wstring Numbers::FormatWhole(double value) const {
    const DecimalDigits d = RoundHalfAwayFromZero(value, 0);
    if (d.digits.empty())
        return L"";
    return (d.negative ? L"-" : L"") + IntegerPart(d);
}

std::wstring Numbers::FormatTwoDecimals(double value) const {
    const DecimalDigits d = RoundHalfAwayFromZero(value, 2);
    std::wstring out = d.negative ? L"-" : L"";
    if (d.digits.empty())
        return out + decimal_;
    return out + IntegerPart(d) + decimal_ + FractionPart(d);
}

std::wstring Numbers::PlainText(double value) const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    // As for the patterns: a 15-digit figure beyond the largest double is written with 17 digits.
    if (std::isfinite(value) && !std::isfinite(std::strtod(buffer, nullptr)))
        std::snprintf(buffer, sizeof buffer, "%.17G", value);
    std::wstring out;
    for (const char* p = buffer; *p; ++p)
        out += *p == '.' ? decimal_ : static_cast<wchar_t>(*p);
    return out;
}

} // namespace quillon
