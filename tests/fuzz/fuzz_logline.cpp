// The log line with any title and date: one line per save, whatever the title holds. The line is
// the date, one space, the title with its line breaks (CR, LF, VT, FF, NEL, U+2028, U+2029) as
// spaces and every other character as it is, then CR LF, and CR LF is its only line break, also
// after the conversion to the code page that the file is written in.
#include "FuzzSupport.h"

#include "fakes/FakeSystem.h"
#include "scheduler/ActivityLog.h"

using namespace quillon;
using fuzz::Show;

namespace {

bool IsLineBreak(wchar_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    // The date is the system's own text: digits, separators, the words for morning and afternoon.
    const std::wstring date = fuzz::TextFrom(data, L"0123456789/-.: 年月日上午下午AMP", 30, true);
    const std::wstring title = data.ConsumeBool()
                                   ? fuzz::AnyText(data, 600)
                                   : fuzz::TextFrom(data, L"ab \r\n\t\v\f\x85\u2028\u2029\x7F\x9F岚", 600);
    const std::wstring line = LogLine(date, title);

    FUZZ_CHECK(line.size() == date.size() + 1 + title.size() + 2) << Show(line);
    FUZZ_CHECK(line.compare(0, date.size(), date) == 0) << Show(line);
    FUZZ_CHECK(line[date.size()] == L' ') << Show(line);
    FUZZ_CHECK(line.ends_with(L"\r\n")) << Show(line);
    for (std::size_t i = 0; i < title.size(); ++i) {
        const wchar_t written = line[date.size() + 1 + i];
        FUZZ_CHECK(written == (IsLineBreak(title[i]) ? L' ' : title[i]))
            << "title character " << i << " of " << Show(title);
    }
    for (std::size_t i = 0; i + 2 < line.size(); ++i)
        FUZZ_CHECK(!IsLineBreak(line[i])) << "a line break inside the line at " << i << ": " << Show(line);

    // As written to the file: exactly one CR and one LF, at the end.
    fakes::FakeClock clock;
    fakes::FakeSystem system{clock};
    system.dateTime = date;
    ActivityLog log{system};
    FUZZ_CHECK(log.Write(title));
    const std::string& file = system.files[LogPath(system.folder)];
    FUZZ_CHECK(file.size() >= 2 && file.compare(file.size() - 2, 2, "\r\n") == 0);
    FUZZ_CHECK(file.find('\n') == file.size() - 1) << Show(title);
    FUZZ_CHECK(file.find('\r') == file.size() - 2) << Show(title);
    return 0;
}
