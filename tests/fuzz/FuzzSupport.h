// Shared pieces of the fuzz targets: a failed property stops the run with a message (libFuzzer
// then saves the input), and misuse reported by the unit tests' fakes through GoogleTest counts
// as a failed property too.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace quillon::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n%s:%d: property failed: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

// FUZZ_CHECK(condition) << "details"; stops the run when the condition is false.
class CheckMessage {
public:
    CheckMessage(const char* file, int line, const char* condition) : file_(file), line_(line) {
        out_ << condition;
    }
    [[noreturn]] ~CheckMessage() { Fail(file_, line_, out_.str()); }
    template <typename T> CheckMessage& operator<<(const T& value) {
        out_ << (first_ ? " -- " : "") << value;
        first_ = false;
        return *this;
    }

private:
    const char* file_;
    int line_;
    bool first_ = true;
    std::ostringstream out_;
};

#define FUZZ_CHECK(condition)                                                                           \
    switch (0)                                                                                          \
    case 0:                                                                                             \
    default:                                                                                            \
        if (condition) {                                                                                \
        } else                                                                                          \
            ::quillon::fuzz::CheckMessage(__FILE__, __LINE__, #condition)

// Collects the failures the fakes report (ADD_FAILURE) during one input; a failure stops the run.
class FakeFailures {
public:
    FakeFailures() : reporter_(testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results_) {}
    ~FakeFailures() { Check(); }
    void Check() const {
        for (int i = 0; i < results_.size(); ++i)
            if (results_.GetTestPartResult(i).failed())
                Fail(results_.GetTestPartResult(i).file_name() ? results_.GetTestPartResult(i).file_name() : "?",
                     results_.GetTestPartResult(i).line_number(),
                     std::string("a fake reported: ") + results_.GetTestPartResult(i).message());
    }

private:
    testing::TestPartResultArray results_;
    testing::ScopedFakeTestPartResultReporter reporter_;
};

// A text of UTF-16 code units, any of them (lone surrogates and control characters included).
inline std::wstring AnyText(FuzzedDataProvider& data, std::size_t maxChars) {
    const std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, maxChars);
    std::wstring text;
    for (std::size_t i = 0; i < n && data.remaining_bytes() > 0; ++i)
        text += static_cast<wchar_t>(data.ConsumeIntegral<std::uint16_t>());
    return text;
}

// A text drawn mostly from `alphabet`, now and then any code unit unless `only` is set.
inline std::wstring TextFrom(FuzzedDataProvider& data, const std::wstring& alphabet, std::size_t maxChars,
                             bool only = false) {
    const std::size_t n = data.ConsumeIntegralInRange<std::size_t>(0, maxChars);
    std::wstring text;
    for (std::size_t i = 0; i < n && data.remaining_bytes() > 0; ++i) {
        const auto pick = data.ConsumeIntegral<std::uint8_t>();
        if (pick < 240 || only)
            text += alphabet[pick % alphabet.size()];
        else
            text += static_cast<wchar_t>(data.ConsumeIntegral<std::uint16_t>());
    }
    return text;
}

// A text as printable ASCII for messages (other code units as \\uXXXX).
inline std::string Show(const std::wstring& text, std::size_t limit = 300) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", c);
            out += buffer;
        }
    }
    if (text.size() > limit)
        out += "...(" + std::to_string(text.size()) + " chars)";
    return out + "\"";
}

} // namespace quillon::fuzz
