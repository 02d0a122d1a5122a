// Loaded into a running installer by the end-to-end tests: turns on high contrast as the
// installer sees it, since Wine's SystemParametersInfo always reports it off. The main
// program's import of SystemParametersInfoW is pointed at a stand-in that answers
// SPI_GETHIGHCONTRAST with HCF_HIGHCONTRASTON (everything else goes to the real one), and
// the system colours become those of the black high-contrast scheme. The named event
// "scrtest-high-contrast-done" is set when both are done.
#include <windows.h>

namespace {

using TSystemParametersInfoW = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT);
TSystemParametersInfoW gReal = nullptr;

BOOL WINAPI StandIn(UINT action, UINT param, PVOID data, UINT winIni) {
    if (action == SPI_GETHIGHCONTRAST && data) {
        auto* hc = static_cast<HIGHCONTRASTW*>(data);
        hc->dwFlags = HCF_HIGHCONTRASTON | HCF_AVAILABLE;
        hc->lpszDefaultScheme = nullptr;
        return TRUE;
    }
    return gReal(action, param, data, winIni);
}

void PatchImport() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    gReal = reinterpret_cast<TSystemParametersInfoW>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoW")));
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t) {
            if (reinterpret_cast<void*>(t->u1.Function) != reinterpret_cast<void*>(gReal)) continue;
            DWORD old;
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, PAGE_READWRITE, &old);
            t->u1.Function = reinterpret_cast<ULONG_PTR>(&StandIn);
            VirtualProtect(&t->u1.Function, sizeof t->u1.Function, old, &old);
        }
    }
}

void BlackScheme() {
    const int elements[] = {COLOR_WINDOW,    COLOR_WINDOWTEXT,    COLOR_BTNFACE,  COLOR_BTNTEXT,
                            COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT, COLOR_3DFACE};
    const COLORREF colours[] = {RGB(0, 0, 0),      RGB(255, 255, 255), RGB(0, 0, 0),     RGB(255, 255, 255),
                                RGB(26, 235, 255), RGB(0, 0, 0),       RGB(63, 242, 63), RGB(0, 0, 0)};
    SetSysColors(8, elements, colours);
}

// Runs once the loader has let go of its lock: changing the colours sends messages to the
// program's windows, whose thread may be waiting to load a DLL itself.
DWORD WINAPI Apply(LPVOID) {
    PatchImport();
    BlackScheme();
    if (HANDLE done = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"scrtest-high-contrast-done")) {
        SetEvent(done);
        CloseHandle(done);
    }
    return 0;
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        if (HANDLE thread = CreateThread(nullptr, 0, Apply, nullptr, 0, nullptr)) CloseHandle(thread);
    return TRUE;
}
