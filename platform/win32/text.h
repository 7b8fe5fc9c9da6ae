#pragma once
// UTF-8 inside the program, UTF-16 at the system's calls, the ANSI code page only where an
// ANSI consumer reads the text.
#include <optional>
#include <string>
#include <string_view>

namespace win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// The text in the system's ANSI code page, or nothing when the code page cannot represent it.
std::optional<std::string> toAnsi(std::string_view utf8);

}  // namespace win32
