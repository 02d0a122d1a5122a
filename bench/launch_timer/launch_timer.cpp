// launch_timer: how long a program takes from its start to its first visible top-level
// window, measured over several runs.
//
//   launch_timer.exe <exe> [--window-title-contains T] [--runs N] [--timeout SECONDS]
//
// Each run starts <exe>, polls the desktop's top-level windows until one of the process
// (visible, unowned, and with T in its title when given) appears, takes the time with
// QueryPerformanceCounter, then closes the window with WM_CLOSE and terminates the process
// when it has not ended within five seconds. Prints each run and the minimum and median in
// milliseconds; the exit code is non-zero when any run saw no window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Options {
    std::wstring Exe;
    std::wstring TitlePart;
    int Runs = 5;
    double TimeoutSeconds = 60;
};

struct Search {
    DWORD ProcessId = 0;
    const std::wstring* TitlePart = nullptr;
    HWND Found = nullptr;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->ProcessId || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    if (!search->TitlePart->empty()) {
        wchar_t title[512] = {};
        GetWindowTextW(window, title, 512);
        if (!std::wcsstr(title, search->TitlePart->c_str())) return TRUE;
    }
    search->Found = window;
    return FALSE;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One run: the milliseconds to the first window, or a negative value when none appeared.
double TimeOneRun(const Options& options) {
    std::wstring commandLine = L"\"" + options.Exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(options.Exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", options.Exe.c_str(), GetLastError());
        return -1;
    }
    Search search{info.dwProcessId, &options.TitlePart, nullptr};
    double elapsed = -1;
    for (;;) {
        EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&now);
        if (search.Found) {
            elapsed = Seconds(start, now, frequency) * 1000.0;
            break;
        }
        if (Seconds(start, now, frequency) > options.TimeoutSeconds ||
            WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0)
            break;
        Sleep(1);
    }
    if (search.Found) PostMessageW(search.Found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(info.hProcess, 5000) != WAIT_OBJECT_0) {
        std::fwprintf(stderr,
                      L"the program had not ended 5 s after WM_CLOSE (or the time-out): terminated\n");
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return elapsed;
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: launch_timer <exe> [--window-title-contains T] [--runs N] [--timeout SECONDS]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--window-title-contains" && i + 1 < argc) {
            options.TitlePart = argv[++i];
        } else if (arg == L"--runs" && i + 1 < argc) {
            options.Runs = _wtoi(argv[++i]);
        } else if (arg == L"--timeout" && i + 1 < argc) {
            options.TimeoutSeconds = _wtof(argv[++i]);
        } else if (options.Exe.empty() && !arg.starts_with(L"--")) {
            options.Exe = arg;
        } else {
            return Usage();
        }
    }
    if (options.Exe.empty() || options.Runs < 1 || options.TimeoutSeconds <= 0) return Usage();

    std::vector<double> times;
    bool missed = false;
    for (int run = 1; run <= options.Runs; ++run) {
        const double ms = TimeOneRun(options);
        if (ms < 0) {
            std::wprintf(L"run %d: no window\n", run);
            missed = true;
            continue;
        }
        std::wprintf(L"run %d: %.1f ms\n", run, ms);
        std::fflush(stdout);
        times.push_back(ms);
    }
    if (times.empty()) return 1;
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::wprintf(L"%ls: runs %zu, min %.1f ms, median %.1f ms\n", options.Exe.c_str(), n, times.front(),
                 median);
    return missed ? 1 : 0;
}
