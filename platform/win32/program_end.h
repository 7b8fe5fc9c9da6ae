#pragma once
// Steps that must run however the program ends: by its own immediate end, by a fault in a
// handler, or by the session ending. They run once, in the order they were added.
namespace win32 {

void atProgramEnd(void (*step)());
void runProgramEnd();

}  // namespace win32
