#pragma once
// wWinMain's body, guarded: a fault before the first window exists is shown in a message box
// with the program's title, and the program ends with a non-zero exit code.
#include <functional>
#include <string_view>

namespace win32 {

int runProgram(std::string_view title, const std::function<int()>& program);

}  // namespace win32
