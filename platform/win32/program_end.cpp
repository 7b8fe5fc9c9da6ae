#include "platform/win32/program_end.h"

#include <vector>

namespace win32 {

namespace {
std::vector<void (*)()>& steps() {
    static std::vector<void (*)()> s;
    return s;
}
}  // namespace

void atProgramEnd(void (*step)()) {
    steps().push_back(step);
}

void runProgramEnd() {
    std::vector<void (*)()> run;
    run.swap(steps());  // once, even when a step ends the program again
    for (auto step : run) step();
}

}  // namespace win32
