#pragma once
// A program's start, guarded. A fault before the message loop runs (a window the system
// refuses, a graphics library that does not start) escapes no further: it is shown as a fault
// in a handler is shown, and the program ends with a non-zero exit code.
#include <functional>
#include <string_view>

namespace forms {

// The exit code of a program ended by a fault, before its first window or in a handler, so that
// whoever started it does not take the end for success.
inline constexpr int kFaultExitCode = 1;

// Runs `program` (which builds the first window and runs the message loop) and returns its exit
// code; a fault is handed to `show` with its description and yields kFaultExitCode.
int runGuarded(const std::function<int()>& program, const std::function<void(std::string_view)>& show);

}  // namespace forms
