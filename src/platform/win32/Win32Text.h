// Text conversions between the core's wide strings and the system's ANSI code page.
#pragma once

#include <string>

namespace quillon::win32 {

std::string ToAnsi(const std::wstring& text, bool* lossy = nullptr);
std::wstring FromAnsi(const std::string& text);

} // namespace quillon::win32
