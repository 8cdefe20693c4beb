// Text conversions between the core's wide strings and the system's ANSI code page, or UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quillon::win32 {

std::string ToAnsi(const std::wstring& text, bool* lossy = nullptr);
std::wstring FromAnsi(const std::string& text);
std::string ToUtf8(std::wstring_view text);

} // namespace quillon::win32
