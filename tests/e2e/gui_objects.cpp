#include "gui_objects.h"

#include <winternl.h>

#include <vector>

namespace e2e {

namespace {

// Wine's GDI handle table (PEB's GdiSharedHandleTable): 65536 entries of this shape, the same
// in 32- and 64-bit processes; a free entry has type 0.
struct GdiEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};
static_assert(sizeof(GdiEntry) == 24);
constexpr SIZE_T kGdiEntries = 0x10000;
constexpr SIZE_T kPebGdiTable = sizeof(void*) == 8 ? 0xF8 : 0x94;

long gdiFromTable(HANDLE process) {
    using Query = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION info{};
    if (!query || query(process, ProcessBasicInformation, &info, sizeof info, nullptr) != 0) return -1;
    void* table = nullptr;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(static_cast<void*>(info.PebBaseAddress)) + kPebGdiTable, &table,
                           sizeof table, &got) ||
        !table)
        return -1;
    std::vector<GdiEntry> entries(kGdiEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiEntry), &got)) return -1;
    long n = 0;
    for (const GdiEntry& e : entries) n += e.type != 0;
    return n;
}

struct WindowCount {
    DWORD pid;
    long n = 0;
};

BOOL CALLBACK countChild(HWND, LPARAM p) {
    ++reinterpret_cast<WindowCount*>(p)->n;
    return TRUE;
}

BOOL CALLBACK countTop(HWND h, LPARAM p) {
    auto* c = reinterpret_cast<WindowCount*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == c->pid) {
        ++c->n;
        EnumChildWindows(h, countChild, p);
    }
    return TRUE;
}

long windowsOf(HANDLE process) {
    WindowCount c{GetProcessId(process)};
    EnumWindows(countTop, reinterpret_cast<LPARAM>(&c));
    return c.n;
}

}  // namespace

GuiObjects guiObjects(HANDLE process) {
    SetLastError(0);
    GuiObjects o{static_cast<long>(GetGuiResources(process, GR_GDIOBJECTS)),
                 static_cast<long>(GetGuiResources(process, GR_USEROBJECTS))};
    if (o.gdi == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) o = {gdiFromTable(process), windowsOf(process)};
    return o;
}

}  // namespace e2e
