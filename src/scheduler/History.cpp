#include "scheduler/History.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <map>
#include <utility>

namespace quillon::history {
namespace {

constexpr std::wstring_view kRefused = L"<>:\"/\\|?*";
constexpr std::array<std::wstring_view, 4> kDevices = {L"CON", L"PRN", L"AUX", L"NUL"};
constexpr std::wstring_view kNumberedDevices[] = {L"COM", L"LPT"};
constexpr std::size_t kStampChars = 19; // "2026-12-09 08.15.00"

std::wstring Lower(std::wstring_view text) {
    std::wstring lower(text);
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    return lower;
}

bool IsDevice(std::wstring_view stem) {
    const std::wstring upper = [&] {
        std::wstring u(stem);
        for (wchar_t& c : u)
            c = static_cast<wchar_t>(std::towupper(c));
        return u;
    }();
    if (std::find(kDevices.begin(), kDevices.end(), upper) != kDevices.end())
        return true;
    return upper.size() == 4 && upper[3] >= L'1' && upper[3] <= L'9' &&
           std::any_of(std::begin(kNumberedDevices), std::end(kNumberedDevices),
                       [&](std::wstring_view device) { return upper.starts_with(device); });
}

void TrimEnd(std::wstring& text) {
    while (!text.empty() && (text.back() == L'.' || text.back() == L' '))
        text.pop_back();
}

std::wstring Hex(std::uint32_t value) {
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = L"0123456789ABCDEF"[value & 0xF];
    return text;
}

std::wstring Padded(int value, std::size_t width) {
    std::wstring text = std::to_wstring(value);
    return std::wstring(width > text.size() ? width - text.size() : 0, L'0') + text;
}

// "2026-12-09 08.15.00": a file name cannot hold a colon.
std::wstring StampText(const Stamp& at) {
    return Padded(at.year, 4) + L"-" + Padded(at.month, 2) + L"-" + Padded(at.day, 2) + L" " +
           Padded(at.hour, 2) + L"." + Padded(at.minute, 2) + L"." + Padded(at.second, 2);
}

std::optional<Stamp> ParseStamp(std::wstring_view text) {
    const auto number = [&](std::size_t from, std::size_t digits, int& value) {
        value = 0;
        for (std::size_t i = from; i < from + digits; ++i) {
            if (text[i] < L'0' || text[i] > L'9')
                return false;
            value = value * 10 + (text[i] - L'0');
        }
        return true;
    };
    Stamp at;
    if (text.size() != kStampChars || !number(0, 4, at.year) || text[4] != L'-' || !number(5, 2, at.month) ||
        text[7] != L'-' || !number(8, 2, at.day) || text[10] != L' ' || !number(11, 2, at.hour) ||
        text[13] != L'.' || !number(14, 2, at.minute) || text[16] != L'.' || !number(17, 2, at.second))
        return std::nullopt;
    return at;
}

std::wstring_view FileNameOf(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// A file's name split before its extension ("report", ".docx"); a name that is all extension, or
// whose extension is no plain one, has none.
std::pair<std::wstring_view, std::wstring_view> SplitExtension(std::wstring_view name) {
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0 || dot + 1 == name.size() || name.size() - dot > 16 ||
        !std::all_of(name.begin() + dot + 1, name.end(),
                     [](wchar_t c) { return std::iswalnum(c) || c == L'_'; }))
        return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long DayNumber(const Stamp& at) {
    const int y = at.year - (at.month <= 2);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (at.month + (at.month > 2 ? -3 : 9)) + 2) / 5 + at.day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<long long>(era) * 146097 + dayOfEra - 719468;
}

bool IsDrivePath(std::wstring_view path) {
    return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' &&
           (path[2] == L'\\' || path[2] == L'/');
}

bool IsSharePath(std::wstring_view path) {
    return path.size() > 2 && path.starts_with(L"\\\\") && path[2] != L'?' && path[2] != L'.';
}

// A URL's escapes are UTF-8 bytes.
std::wstring DecodeUrlPath(std::wstring_view url) {
    std::string bytes;
    for (std::size_t i = 0; i < url.size(); ++i) {
        const wchar_t c = url[i];
        if (c == L'%' && i + 2 < url.size() && std::iswxdigit(url[i + 1]) && std::iswxdigit(url[i + 2])) {
            bytes += static_cast<char>(std::stoi(std::wstring(url.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else if (c < 0x80) {
            bytes += static_cast<char>(c == L'/' ? L'\\' : c);
        } else {
            return L""; // a file URL escapes what is not ASCII
        }
    }
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= bytes.size() + (extra == 0))
            return L"";
        char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
            code = code << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(code);
        }
    }
    return text;
}

// The arguments of a Windows command line, as programs split them: blanks part them, quotes keep
// blanks in one, and backslashes are plain but before a quote.
std::vector<std::wstring> Arguments(std::wstring_view line) {
    std::vector<std::wstring> arguments;
    std::wstring argument;
    bool inArgument = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c == L'\\') {
            std::size_t slashes = 0;
            for (; i < line.size() && line[i] == L'\\'; ++i)
                ++slashes;
            const bool beforeQuote = i < line.size() && line[i] == L'"';
            argument.append(beforeQuote ? slashes / 2 : slashes, L'\\');
            if (beforeQuote && slashes % 2 == 1)
                argument += L'"';
            else if (beforeQuote)
                quoted = !quoted;
            else
                --i;
            inArgument = true;
        } else if (c == L'"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == L' ' || c == L'\t') && !quoted) {
            if (inArgument)
                arguments.push_back(std::exchange(argument, {}));
            inArgument = false;
        } else {
            argument += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(argument));
    return arguments;
}

} // namespace

std::wstring SafeFileName(std::wstring_view text, std::size_t maxChars) {
    std::wstring name;
    for (wchar_t c : text)
        name += c < 0x20 || kRefused.find(c) != std::wstring_view::npos ? L'_' : c;
    name.erase(0, name.find_first_not_of(L' ') == std::wstring::npos ? name.size()
                                                                     : name.find_first_not_of(L' '));
    if (name.size() > maxChars) {
        name.resize(maxChars);
        if (!name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) // half a pair
            name.pop_back();
    }
    TrimEnd(name);
    // A device name stays one with an extension or blanks after it: "CON.txt", "NUL .log".
    std::wstring base = name.substr(0, name.find(L'.'));
    TrimEnd(base);
    if (name.empty() || IsDevice(base))
        name.insert(0, L"_");
    return name;
}

std::wstring VersionFolder(std::wstring_view file) {
    std::uint32_t mark = 2166136261u;
    for (wchar_t c : Lower(file))
        mark = (mark ^ static_cast<std::uint32_t>(c)) * 16777619u;
    return SafeFileName(FileNameOf(file), 60) + L" [" + Hex(mark) + L"]";
}

std::wstring VersionName(std::wstring_view file, const Stamp& at) {
    const auto [stem, extension] = SplitExtension(FileNameOf(file));
    return SafeFileName(stem, 60) + L" (" + StampText(at) + L")" + std::wstring(extension);
}

std::wstring CopyName(std::wstring_view title, WindowHandle window, const Stamp& at) {
    return SafeFileName(title, 60) + L" [" + Hex(static_cast<std::uint32_t>(window)) + L"] (" +
           StampText(at) + L")";
}

bool AllDigits(std::wstring_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

std::optional<Stamped> ParseName(std::wstring_view name) {
    if (name.starts_with(kPartialMark))
        return std::nullopt;
    auto [stem, extension] = SplitExtension(name);
    // A second copy within the same second is numbered after the time: "a (… 08.15.00) 2.txt".
    const std::size_t blank = stem.rfind(L' ');
    if (blank != std::wstring_view::npos && blank > 0 && stem[blank - 1] == L')' &&
        AllDigits(stem.substr(blank + 1)))
        stem = stem.substr(0, blank);
    const std::size_t open =
        stem.size() >= kStampChars + 3 ? stem.size() - kStampChars - 3 : std::wstring_view::npos;
    if (open == std::wstring_view::npos || stem.substr(open, 2) != L" (" || stem.back() != L')')
        return std::nullopt;
    const auto at = ParseStamp(stem.substr(open + 2, kStampChars));
    if (!at)
        return std::nullopt;
    return Stamped{std::wstring(stem.substr(0, open)) + std::wstring(extension), *at};
}

Pruning Prune(std::span<const Entry> entries, const Stamp& now, std::uint64_t freeBytes,
              std::uint64_t incoming) {
    struct Item {
        std::size_t index;
        Stamp at;
        std::uint64_t size;
        bool kept = false;
    };
    std::map<std::wstring, std::vector<Item>> series;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (const auto stamped = ParseName(entries[i].name))
            series[Lower(entries[i].folder) + L"\\" + Lower(stamped->series)].push_back(
                {i, stamped->at, entries[i].size});
    // Each series keeps its newest, and the first of each of the last days.
    std::vector<Item> items;
    const long long today = DayNumber(now);
    for (auto& [key, list] : series) {
        std::sort(list.begin(), list.end(), [](const Item& a, const Item& b) { return a.at > b.at; });
        for (std::size_t i = 0; i < list.size() && i < kNewestKept; ++i)
            list[i].kept = true;
        long long lastDay = -1;
        for (auto item = list.rbegin(); item != list.rend(); ++item) {
            const long long day = DayNumber(item->at);
            if (day != lastDay && today - day < kDaysKept)
                item->kept = true;
            lastDay = day;
        }
        items.insert(items.end(), list.begin(), list.end());
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.at < b.at; });
    // Then the oldest go until the history, the incoming bytes with it, is within its bounds.
    std::uint64_t kept = 0, freed = 0;
    for (const Item& item : items)
        (item.kept ? kept : freed) += item.size;
    const auto fits = [&] {
        return kept + incoming <= kMostHistory && freeBytes + freed >= incoming + kLeastFree;
    };
    for (Item& item : items)
        if (item.kept && !fits()) {
            item.kept = false;
            kept -= item.size;
            freed += item.size;
        }
    Pruning pruning;
    for (const Item& item : items)
        if (!item.kept)
            pruning.remove.push_back(item.index);
    pruning.room = fits();
    return pruning;
}

Keep DecideVersion(std::uint64_t size, std::optional<std::uint64_t> newestSize, bool sameAsNewest) {
    if (size > kLargestFile)
        return Keep::TooLarge;
    return newestSize == size && sameAsNewest ? Keep::SameAsNewest : Keep::Copy;
}

std::uint64_t TextHash(std::wstring_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : text)
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    return hash;
}

std::wstring FileOfDocument(std::wstring_view name) {
    if (Lower(name.substr(0, 5)) == L"file:") {
        // "file:///C:/a.odt" names a disk's file, "file://server/share/a.odt" a share's.
        std::wstring_view rest = name.substr(5);
        if (rest.starts_with(L"///"))
            rest.remove_prefix(3);
        const std::wstring path = DecodeUrlPath(rest);
        return IsDrivePath(path) || IsSharePath(path) ? path : L"";
    }
    return IsDrivePath(name) || IsSharePath(name) ? std::wstring(name) : L"";
}

std::wstring FileUrlOf(std::wstring_view path) {
    std::wstring url = path.starts_with(L"\\\\") ? L"file:" : L"file:///";
    const auto escape = [&](unsigned byte) {
        url += L'%';
        url += L"0123456789ABCDEF"[byte >> 4];
        url += L"0123456789ABCDEF"[byte & 0xF];
    };
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t c = path[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (path[++i] - 0xDC00);
        if (c == L'\\')
            url += L'/';
        else if (c < 0x80 &&
                 (std::iswalnum(static_cast<wint_t>(c)) ||
                  std::wstring_view(L"-._~/:").find(static_cast<wchar_t>(c)) != std::wstring_view::npos))
            url += static_cast<wchar_t>(c);
        else if (c < 0x80)
            escape(static_cast<unsigned>(c));
        else if (c < 0x800)
            escape(0xC0 | (c >> 6)), escape(0x80 | (c & 0x3F));
        else if (c < 0x10000)
            escape(0xE0 | (c >> 12)), escape(0x80 | ((c >> 6) & 0x3F)), escape(0x80 | (c & 0x3F));
        else
            escape(0xF0 | (c >> 18)), escape(0x80 | ((c >> 12) & 0x3F)), escape(0x80 | ((c >> 6) & 0x3F)),
                escape(0x80 | (c & 0x3F));
    }
    return url;
}

std::wstring FileOnCommandLine(std::wstring_view commandLine, std::wstring_view shownName) {
    std::vector<std::wstring> files;
    const std::vector<std::wstring> arguments = Arguments(commandLine);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        if (!arguments[i].starts_with(L"/") && !arguments[i].starts_with(L"-"))
            files.push_back(arguments[i]);
    if (files.size() != 1 || !(IsDrivePath(files[0]) || IsSharePath(files[0])) ||
        Lower(FileNameOf(files[0])) != Lower(shownName))
        return L"";
    return files[0];
}

} // namespace quillon::history
