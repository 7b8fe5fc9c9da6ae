#pragma once
// Wine touches about a megabyte of every new thread's stack before the thread's own code runs,
// and keeps a finished thread's stack until some other thread ends: in a program with one
// short-lived worker that megabyte stays resident for the program's life. A worker that is about
// to end calls this to tell the system that its stack below the caller's frame holds nothing
// any more. The pages stay committed (a later call that reaches them only finds them cleared),
// so this is safe on any system; Windows, which commits and touches stacks on demand, frees
// little.
#include <windows.h>

#include <cstdint>

namespace win32 {

inline void releaseSpentStack() {
    // Room for the frames of the calls below, which must not lose what they hold.
    constexpr std::uintptr_t kKeep = 32 * 1024;
    volatile char here = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    if (!VirtualQuery(const_cast<char*>(&here), &mbi, sizeof mbi)) return;
    auto top = reinterpret_cast<std::uintptr_t>(&here);
    if (top < kKeep) return;
    top = (top - kKeep) & ~std::uintptr_t{4095};
    // From the bottom of the stack's reservation up: only committed pages, never the guard page.
    auto at = reinterpret_cast<std::uintptr_t>(mbi.AllocationBase);
    while (at < top && VirtualQuery(reinterpret_cast<void*>(at), &mbi, sizeof mbi)) {
        auto end = reinterpret_cast<std::uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
        if (end <= at) return;
        if (mbi.State == MEM_COMMIT && !(mbi.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
            VirtualAlloc(reinterpret_cast<void*>(at), (end < top ? end : top) - at, MEM_RESET, PAGE_READWRITE);
        at = end;
    }
}

}  // namespace win32
