// Numbers under either decimal separator: every display text of a finite number reads back to
// that number rounded as the pattern says, with the input's sign, and every parse is consistent
// across Parse, ParseSingle and ParseWhole.
#include "FuzzSupport.h"

#include "schedule/Numbers.h"

#include <cfloat>
#include <cmath>
#include <cstring>

using quillon::Numbers;
using quillon::fuzz::Show;

namespace {

double Tolerance(double value) {
    return std::fabs(value) * 1e-14;
}

bool StartsNegative(const std::wstring& text) {
    return !text.empty() && text[0] == L'-';
}

void CheckDisplayTexts(const Numbers& numbers, wchar_t decimal, double value) {
    // Pattern "#": a whole number, or the empty text when the value rounds to zero.
    const std::wstring whole = numbers.FormatWhole(value);
    if (whole.empty()) {
        FUZZ_CHECK(std::fabs(value) < 0.5 + 1e-14) << value;
    } else {
        FUZZ_CHECK(whole.find(decimal) == std::wstring::npos) << Show(whole);
        const auto back = numbers.Parse(whole);
        FUZZ_CHECK(back.has_value()) << "\"#\" of " << value << " gives " << Show(whole);
        FUZZ_CHECK(*back == std::nearbyint(*back)) << Show(whole);
        FUZZ_CHECK(std::fabs(*back - value) <= 0.5 + Tolerance(value))
            << value << " -> " << Show(whole);
        FUZZ_CHECK(StartsNegative(whole) == (value < 0)) << value << " -> " << Show(whole);
        FUZZ_CHECK(*back != 0) << value << " -> " << Show(whole);
    }

    // Pattern "#.##": the separator always, at most two decimals; "." alone (or "-.") for zero.
    const std::wstring two = numbers.FormatTwoDecimals(value);
    const auto sep = two.find(decimal);
    FUZZ_CHECK(sep != std::wstring::npos) << Show(two);
    FUZZ_CHECK(two.size() - sep - 1 <= 2) << value << " -> " << Show(two);
    if (two == std::wstring(1, decimal)) {
        FUZZ_CHECK(std::fabs(value) < 0.005 + 1e-14) << value;
    } else {
        const auto back = numbers.Parse(two);
        FUZZ_CHECK(back.has_value()) << "\"#.##\" of " << value << " gives " << Show(two);
        FUZZ_CHECK(std::fabs(*back - value) <= 0.005 + Tolerance(value) + 1e-15)
            << value << " -> " << Show(two);
        FUZZ_CHECK(StartsNegative(two) == (value < 0)) << value << " -> " << Show(two);
        FUZZ_CHECK(two[0] != L'0') << "no leading zero: " << Show(two);
    }

    // The plain text carries 15 significant digits.
    const std::wstring plain = numbers.PlainText(value);
    const auto back = numbers.Parse(plain);
    FUZZ_CHECK(back.has_value()) << "plain text of " << value << " gives " << Show(plain);
    FUZZ_CHECK(std::fabs(*back - value) <= Tolerance(value)) << value << " -> " << Show(plain);
    if (value != 0)
        FUZZ_CHECK(StartsNegative(plain) == (value < 0)) << value << " -> " << Show(plain);
}

void CheckParse(const Numbers& numbers, wchar_t decimal, const std::wstring& text) {
    const auto value = numbers.Parse(text);
    const auto single = numbers.ParseSingle(text);
    const auto whole = numbers.ParseWhole(text);
    if (!value) {
        FUZZ_CHECK(!single && !whole) << Show(text);
        return;
    }
    FUZZ_CHECK(std::isfinite(*value)) << Show(text);
    FUZZ_CHECK(single.has_value() == (std::fabs(*value) <= FLT_MAX)) << Show(text);
    if (single)
        FUZZ_CHECK(*single == static_cast<float>(*value)) << Show(text);
    FUZZ_CHECK(whole.has_value() == (std::fabs(*value) <= 9.0e15)) << Show(text);
    if (whole)
        FUZZ_CHECK(static_cast<double>(*whole) == std::nearbyint(*value)) << Show(text);
    // Blanks around a number do not change it.
    FUZZ_CHECK(numbers.Parse(L" \t" + text + L"\t ") == value) << Show(text);
    CheckDisplayTexts(numbers, decimal, *value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const wchar_t decimal = data.ConsumeBool() ? L',' : L'.';
    const Numbers numbers(decimal);
    switch (data.ConsumeIntegralInRange(0, 3)) {
    case 0: { // any finite double, from its bits
        double value = 0;
        const auto raw = data.ConsumeIntegral<std::uint64_t>();
        std::memcpy(&value, &raw, sizeof value);
        if (std::isfinite(value))
            CheckDisplayTexts(numbers, decimal, value);
        break;
    }
    case 1: { // hundredths and halves, where the rounding rules matter
        const auto count = data.ConsumeIntegral<std::int64_t>() % 100'000'000'000'000LL;
        const int scale = data.ConsumeIntegralInRange(0, 4);
        CheckDisplayTexts(numbers, decimal, static_cast<double>(count) / std::pow(10.0, scale));
        CheckDisplayTexts(numbers, decimal, static_cast<double>(count) / 2.0);
        break;
    }
    case 2: { // a near neighbour of the largest numbers
        const auto steps = data.ConsumeIntegralInRange<int>(0, 1 << 20);
        double value = DBL_MAX;
        for (int i = 0; i < steps % 4096; ++i)
            value = std::nextafter(value, 0.0);
        value = std::ldexp(value, -data.ConsumeIntegralInRange(0, 8));
        CheckDisplayTexts(numbers, decimal, data.ConsumeBool() ? -value : value);
        break;
    }
    default: { // any text, mostly from the characters of numbers
        std::wstring alphabet = L"0123456789+-eE \t";
        alphabet += decimal;
        CheckParse(numbers, decimal, quillon::fuzz::TextFrom(data, alphabet, 40));
        break;
    }
    }
    return 0;
}
