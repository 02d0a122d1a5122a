#pragma once
// A small driver for real windows of another process (or this one): find top-level
// windows and their controls by class, caption or control id, read their state, click,
// type, and wait for conditions. Used by the end-to-end tests of the installer and by
// the tests that must answer a message box.
#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

namespace windriver {

inline std::wstring ClassOf(HWND h) {
    wchar_t buf[256];
    int n = GetClassNameW(h, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Window text; works across processes for standard controls (WM_GETTEXT is marshalled).
inline std::wstring TextOf(HWND h) {
    LRESULT len = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
    std::wstring s(static_cast<std::size_t>(len) + 1, L'\0');
    LRESULT got =
        SendMessageW(h, WM_GETTEXT, static_cast<WPARAM>(s.size()), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<std::size_t>(got));
    return s;
}

// Polls cond every 20 ms until it holds or the timeout passes.
inline bool WaitFor(const std::function<bool()>& cond,
                    std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        // Keep this thread's own windows responsive while waiting.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return cond();
}

// Visible top-level windows of a process (any process when pid is 0).
inline std::vector<HWND> TopWindows(DWORD pid = 0) {
    struct Ctx {
        DWORD pid;
        std::vector<HWND> found;
    } ctx{pid, {}};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            if ((c->pid == 0 || owner == c->pid) && IsWindowVisible(h)) c->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

// Waits for the first visible top-level window of the process whose class (and caption,
// when given) match; null when none came.
inline HWND WaitTop(DWORD pid, const std::wstring& cls, const std::wstring& caption = L"",
                    std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND h : TopWindows(pid))
                if (!found && (cls.empty() || ClassOf(h) == cls) && (caption.empty() || TextOf(h) == caption))
                    found = h;
            return found != nullptr;
        },
        timeout);
    return found;
}

// All descendants of a window, in Z order, depth first.
inline std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// A descendant by window class and exact caption (either may be empty for "any").
inline HWND FindControl(HWND parent, const std::wstring& cls, const std::wstring& caption) {
    for (HWND h : Descendants(parent)) {
        if ((cls.empty() || ClassOf(h) == cls) && (caption.empty() || TextOf(h) == caption)) return h;
    }
    return nullptr;
}

inline bool IsEnabled(HWND h) {
    return h && IsWindowEnabled(h);
}
// Visible on screen: the control and every ancestor are visible.
inline bool IsShown(HWND h) {
    return h && IsWindowVisible(h);
}
inline bool IsChecked(HWND h) {
    return SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Presses a button as a user would (the owner receives BN_CLICKED). Posted, so a
// button that opens a modal box does not block the driver.
inline void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

// Brings the window to the front and types keys on it as one chord, as a user would:
// pressed in order, released in reverse ({VK_MENU, 'N'} is Alt+N).
inline bool PressKeys(HWND window, std::initializer_list<WORD> keys) {
    SetForegroundWindow(window);
    if (!WaitFor([&] { return GetForegroundWindow() == window; }, std::chrono::seconds(5))) return false;
    std::vector<INPUT> in(keys.size() * 2, INPUT{INPUT_KEYBOARD, {}});
    for (std::size_t i = 0; i < keys.size(); ++i) {
        in[i].ki.wVk = in[in.size() - 1 - i].ki.wVk = keys.begin()[i];
        in[in.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
}

inline void SetText(HWND edit, const std::wstring& text) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// A message box (dialog class #32770) of the process, optionally with the given text in
// its static control; null when none is shown.
inline HWND FindMessageBox(DWORD pid, const std::wstring& text = L"") {
    for (HWND h : TopWindows(pid)) {
        if (ClassOf(h) != L"#32770") continue;
        if (text.empty() || FindControl(h, L"Static", text)) return h;
    }
    return nullptr;
}

// The text of a message box (its static controls).
inline std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND h : Descendants(box))
        if (ClassOf(h) == L"Static") text += TextOf(h);
    return text;
}

// Waits for a message box of the process that shows text in a static control (any box
// when text is empty); null when none came.
inline HWND WaitMessageBox(DWORD pid, const std::wstring& text = L"") {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(pid, text)) != nullptr; });
    return box;
}

// Waits for a message box of the process whose text contains part; null when none came.
inline HWND WaitMessageBoxWith(DWORD pid, const std::wstring& part) {
    const auto shows = [&](HWND box) { return box && BoxText(box).find(part) != std::wstring::npos; };
    HWND box = nullptr;
    WaitFor([&] { return shows(box = FindMessageBox(pid)); });
    return shows(box) ? box : nullptr;
}

// Presses the message box button with the given id (IDOK, IDYES, IDNO, ...).
inline bool AnswerMessageBox(HWND box, int buttonId) {
    HWND button = GetDlgItem(box, buttonId);
    if (button) Click(button);
    return button != nullptr;
}

// A started process, ended (killed if still running) when the object goes away.
class Process {
public:
    Process() = default;
    explicit Process(const std::wstring& commandLine, const wchar_t* dir = nullptr)
        : Process(commandLine, dir, false) {}
    // suspended: the first thread waits for Resume().
    Process(const std::wstring& commandLine, const wchar_t* dir, bool suspended) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring line = commandLine;
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0,
                           nullptr, dir, &si, &FInfo)) {
            if (!suspended) {
                CloseHandle(FInfo.hThread);
                FInfo.hThread = nullptr;
            }
        } else {
            FInfo = {};
        }
    }
    // Lets a suspended program run.
    void Resume() {
        if (!FInfo.hThread) return;
        ResumeThread(FInfo.hThread);
        CloseHandle(FInfo.hThread);
        FInfo.hThread = nullptr;
    }
    ~Process() {
        if (FInfo.hThread) CloseHandle(FInfo.hThread);
        if (FInfo.hProcess) {
            // A program still running is ended, and gone, before the test goes on.
            if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT &&
                TerminateProcess(FInfo.hProcess, 99))
                WaitForSingleObject(FInfo.hProcess, 10000);
            CloseHandle(FInfo.hProcess);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return FInfo.hProcess != nullptr; }
    DWORD Id() const { return FInfo.dwProcessId; }
    HANDLE Handle() const { return FInfo.hProcess; }
    // Waits for the end; returns the exit code, or STILL_ACTIVE on timeout.
    DWORD Wait(DWORD ms = 15000) const {
        if (!FInfo.hProcess || WaitForSingleObject(FInfo.hProcess, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = 0;
        GetExitCodeProcess(FInfo.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION FInfo{};
};

} // namespace windriver
#endif
