// wizard_timer: times two installers' wizards side by side, run after run, under the same
// conditions: from the process start to the welcome page being shown, from the start to
// that page's Next button being enabled (the program has done its start-up checks and
// answers clicks), and from the click on the install button to the finish page being shown.
//
//   wizard_timer.exe --ours SETUP.exe --nsis REFERENCE.exe --dest-root DIR
//                    [--bare BARE.exe] [--ours-entry KEY] [--runs N] [--nsis-name NAME]
//                    [--timeout SECONDS]
//
// SETUP.exe is an installer built by scrpack onto scrsetup.exe, REFERENCE.exe the NSIS
// reference installer (bench/nsis/reference.nsi, Japanese Modern UI, radio buttons on its
// licence page) whose product name is NAME ("Launch Bench Reference" by default), BARE.exe
// bench/launch_timer/bare_window.cpp (one plain window: its start only). The runs
// KEY is the uninstall entry our installer writes (under HKLM\...\Uninstall), deleted
// after each of its runs: ours refuses another folder while it is installed. The runs
// alternate between them, after one warm-up run of each that is not counted, so that a
// busy moment of the machine hits both alike.
//
// One run: start the program with CreateProcess, poll (about every millisecond) until the
// welcome page's own text is on screen, walk welcome -> licence (agree) -> destination,
// type a fresh empty folder under DIR as the destination, click the install button and
// poll until the finish page's text is on screen, then press the finish button, wait for
// the program to end and delete the folder. Times come from QueryPerformanceCounter.
// "On screen" means a control that is visible together with all its ancestors, whose text
// starts with the page's marker; only visible controls are asked for their text, so the
// polling sends no message to the installer before its window is shown.
//
// Prints every run, then one line per installer and measure with the median and minimum;
// the exit code is non-zero when a run did not get through.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

struct Options {
    std::wstring Ours, Nsis, Bare, DestRoot, OursEntry;
    std::wstring NsisName = L"Launch Bench Reference";
    int Runs = 10;
    double TimeoutSeconds = 60;
};

std::wstring ClassOf(HWND h) {
    wchar_t buf[256];
    const int n = GetClassNameW(h, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The first characters of a control's text (WM_GETTEXT is marshalled across processes);
// a control that does not answer within a second reads as empty.
std::wstring TextPrefix(HWND h, std::size_t chars) {
    std::wstring s(chars + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()), SMTO_ABORTIFHUNG,
                             1000, &got))
        got = 0;
    s.resize(std::min<std::size_t>(got, chars));
    return s;
}

std::wstring Lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// What identifies a control: its window class (empty for any, compared without case)
// and the start of its text.
struct Marker {
    std::wstring Class;
    std::wstring Text;
};

// A control of the process matching the marker that is visible with all its ancestors;
// null when there is none.
HWND FindShown(DWORD pid, const Marker& marker) {
    struct Ctx {
        DWORD Pid;
        const Marker* M;
        std::wstring Class;
        HWND Found = nullptr;
    } ctx{pid, &marker, Lower(marker.Class)};
    EnumWindows(
        [](HWND top, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(top, &owner);
            if (owner != c->Pid || !IsWindowVisible(top)) return TRUE;
            EnumChildWindows(
                top,
                [](HWND h, LPARAM q) -> BOOL {
                    auto* d = reinterpret_cast<Ctx*>(q);
                    if (!IsWindowVisible(h)) return TRUE;
                    if (!d->Class.empty() && Lower(ClassOf(h)) != d->Class) return TRUE;
                    if (TextPrefix(h, d->M->Text.size()) != d->M->Text) return TRUE;
                    d->Found = h;
                    return FALSE;
                },
                p);
            return c->Found ? FALSE : TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.Found;
}

// How an installer's wizard is recognised and walked through.
struct Wizard {
    const wchar_t* Label;
    Marker Welcome;    // text of the welcome page
    Marker NextButton; // Next on the welcome and licence pages
    Marker Agree;      // the radio button accepting the licence
    Marker ChangeDir;  // a check box to tick before the folder can be typed (Class empty: none)
    Marker DirEdit;    // the destination edit (its text is replaced, so only the class counts)
    Marker Install;    // the install button
    Marker Finished;   // text of the finish page
    Marker FinishButton;
    bool LaunchOnly() const { return NextButton.Text.empty(); }
};

Wizard OurWizard() {
    return {L"scrsetup",
            {L"TMemo", L"スクリーンセーバー インストール ウィザードへようこそ"},
            {L"TButton", L"次へ(&N) >"},
            {L"TRadioButton", L"使用許諾契約に同意する"},
            {L"TCheckBox", L"インストール先を変更する(&I)"},
            {L"TEdit", L""},
            {L"TButton", L"インストール(&N)"},
            {L"TCheckBox", L"画面のプロパティを開く(&P)"},
            {L"TButton", L"完了(&N)"}};
}

// The plain window: only its start is timed, then it is closed.
Wizard BareWindow() {
    return {L"bare", {L"Static", L"bare window"}, {}, {}, {}, {}, {}, {}, {}};
}

Wizard NsisWizard(const std::wstring& name) {
    return {L"NSIS",
            {L"Static", name + L" セットアップへようこそ"},
            {L"Button", L"次へ(&N) >"},
            {L"Button", L"この使用許諾契約に同意する(&A)"},
            {L"", L""},
            {L"Edit", L""},
            {L"Button", L"インストール(&I)"},
            {L"Static", name + L" セットアップの完了"},
            {L"Button", L"完了(&F)"}};
}

struct Clock {
    LARGE_INTEGER Frequency;
    Clock() { QueryPerformanceFrequency(&Frequency); }
    LARGE_INTEGER Now() const {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        return t;
    }
    double Ms(LARGE_INTEGER from, LARGE_INTEGER to) const {
        return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
               static_cast<double>(Frequency.QuadPart);
    }
};

// A started process; killed when still running at the end of its scope.
class Child {
public:
    explicit Child(const std::wstring& exe) {
        std::wstring line = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                           &FInfo))
            CloseHandle(FInfo.hThread);
        else
            FInfo = {};
    }
    ~Child() {
        if (!FInfo.hProcess) return;
        if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(FInfo.hProcess, 99);
            WaitForSingleObject(FInfo.hProcess, 5000);
        }
        CloseHandle(FInfo.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool Started() const { return FInfo.hProcess != nullptr; }
    DWORD Id() const { return FInfo.dwProcessId; }
    bool Ended(DWORD ms = 0) const { return WaitForSingleObject(FInfo.hProcess, ms) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION FInfo{};
};

// Polls every millisecond until the marker is on screen; null after the time-out or when
// the process ended.
HWND WaitShown(const Child& child, const Marker& marker, double timeoutSeconds, const Clock& clock) {
    const LARGE_INTEGER start = clock.Now();
    for (;;) {
        if (HWND h = FindShown(child.Id(), marker)) return h;
        if (child.Ended() || clock.Ms(start, clock.Now()) > timeoutSeconds * 1000) return nullptr;
        Sleep(1);
    }
}

// Deletes a folder and everything under it.
void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

struct RunResult {
    double LaunchMs = -1;
    double ReadyMs = -1; // start to the welcome page's Next enabled: the program answers clicks
    double InstallMs = -1;
    std::wstring Failure;
};

// One run of one installer: see the header comment.
RunResult RunOnce(const std::wstring& exe, const Wizard& w, const std::wstring& dest, const Options& options,
                  const Clock& clock) {
    RunResult r;
    const double timeout = options.TimeoutSeconds;
    auto fail = [&](const wchar_t* what) {
        r.Failure = what;
        return r;
    };

    CreateDirectoryW(dest.c_str(), nullptr);
    const LARGE_INTEGER start = clock.Now();
    Child child(exe);
    if (!child.Started()) return fail(L"cannot start the program");
    const HWND welcome = WaitShown(child, w.Welcome, timeout, clock);
    if (!welcome) return fail(L"no welcome page");
    r.LaunchMs = clock.Ms(start, clock.Now());
    if (w.LaunchOnly()) {
        PostMessageW(GetAncestor(welcome, GA_ROOT), WM_CLOSE, 0, 0);
        if (!child.Ended(static_cast<DWORD>(timeout * 1000))) r.Failure = L"the program did not end";
        return r;
    }

    // Next, once it is enabled: on the welcome page when the program's start-up checks are
    // done, on the licence page once the licence is accepted.
    auto enabledNext = [&] {
        const LARGE_INTEGER since = clock.Now();
        HWND next;
        while (!(next = FindShown(child.Id(), w.NextButton)) || !IsWindowEnabled(next)) {
            if (clock.Ms(since, clock.Now()) > timeout * 1000) return HWND{};
            Sleep(1);
        }
        return next;
    };
    HWND next = enabledNext();
    if (!next) return fail(L"no enabled Next button on the welcome page");
    r.ReadyMs = clock.Ms(start, clock.Now());
    PostMessageW(next, BM_CLICK, 0, 0);
    HWND agree = WaitShown(child, w.Agree, timeout, clock);
    if (!agree) return fail(L"no licence page");
    PostMessageW(agree, BM_CLICK, 0, 0);
    if (!(next = enabledNext())) return fail(L"Next stays disabled after agreeing");
    PostMessageW(next, BM_CLICK, 0, 0);
    HWND install = WaitShown(child, w.Install, timeout, clock);
    if (!install) return fail(L"no destination page");
    if (!w.ChangeDir.Class.empty()) {
        HWND box = WaitShown(child, w.ChangeDir, timeout, clock);
        if (!box) return fail(L"no box to change the destination");
        PostMessageW(box, BM_CLICK, 0, 0);
    }
    HWND edit = WaitShown(child, w.DirEdit, timeout, clock);
    if (!edit) return fail(L"no destination edit");
    const LARGE_INTEGER typing = clock.Now();
    while (!IsWindowEnabled(edit)) {
        if (clock.Ms(typing, clock.Now()) > timeout * 1000)
            return fail(L"the destination edit stays disabled");
        Sleep(1);
    }
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(dest.c_str()));

    const LARGE_INTEGER clicked = clock.Now();
    PostMessageW(install, BM_CLICK, 0, 0);
    if (!WaitShown(child, w.Finished, timeout, clock)) return fail(L"no finish page");
    r.InstallMs = clock.Ms(clicked, clock.Now());

    HWND finish = WaitShown(child, w.FinishButton, timeout, clock);
    if (finish) PostMessageW(finish, BM_CLICK, 0, 0);
    if (!finish || !child.Ended(static_cast<DWORD>(timeout * 1000))) r.Failure = L"the program did not end";
    return r;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: wizard_timer --ours SETUP.exe --nsis REFERENCE.exe --dest-root DIR [--runs N] "
                  L"[--bare BARE.exe] [--ours-entry KEY] [--nsis-name NAME] [--timeout SECONDS]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const wchar_t* value = argv[++i];
        if (arg == L"--ours")
            options.Ours = value;
        else if (arg == L"--nsis")
            options.Nsis = value;
        else if (arg == L"--dest-root")
            options.DestRoot = value;
        else if (arg == L"--bare")
            options.Bare = value;
        else if (arg == L"--ours-entry")
            options.OursEntry = value;
        else if (arg == L"--nsis-name")
            options.NsisName = value;
        else if (arg == L"--runs")
            options.Runs = _wtoi(value);
        else if (arg == L"--timeout")
            options.TimeoutSeconds = _wtof(value);
        else
            return Usage();
    }
    if (options.Ours.empty() || options.Nsis.empty() || options.DestRoot.empty() || options.Runs < 1 ||
        options.TimeoutSeconds <= 0)
        return Usage();
    CreateDirectoryW(options.DestRoot.c_str(), nullptr);

    const Clock clock;
    struct Subject {
        std::wstring Exe;
        Wizard W;
        std::vector<double> Launch, Ready, Install;
    };
    std::vector<Subject> subjects = {{options.Ours, OurWizard(), {}, {}, {}},
                                     {options.Nsis, NsisWizard(options.NsisName), {}, {}, {}}};
    if (!options.Bare.empty()) subjects.push_back({options.Bare, BareWindow(), {}, {}, {}});
    bool failed = false;
    int folder = 0;
    for (int run = 0; run <= options.Runs; ++run) { // run 0 warms up and is not counted
        for (Subject& s : subjects) {
            const std::wstring dest = options.DestRoot + L"\\run" + std::to_wstring(++folder);
            const RunResult r = RunOnce(s.Exe, s.W, dest, options, clock);
            RemoveTree(dest);
            if (&s == &subjects[0] && !options.OursEntry.empty())
                RegDeleteTreeW(
                    HKEY_LOCAL_MACHINE,
                    (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + options.OursEntry)
                        .c_str());
            if (!r.Failure.empty()) {
                std::wprintf(L"%-8ls run %d: FAILED (%ls)\n", s.W.Label, run, r.Failure.c_str());
                failed = true;
                continue;
            }
            std::wprintf(L"%-8ls run %d%ls: launch to welcome %7.1f ms, to Next enabled %7.1f ms, install to "
                         L"finish %7.1f ms\n",
                         s.W.Label, run, run == 0 ? L" (warm-up)" : L"", r.LaunchMs, r.ReadyMs, r.InstallMs);
            std::fflush(stdout);
            if (run == 0) continue;
            s.Launch.push_back(r.LaunchMs);
            s.Ready.push_back(r.ReadyMs);
            s.Install.push_back(r.InstallMs);
        }
    }
    for (const Subject& s : subjects) {
        if (s.Launch.empty()) continue;
        std::wprintf(L"RESULT %ls launch_to_welcome_ms median %.1f min %.1f runs %zu\n", s.W.Label,
                     Median(s.Launch), *std::min_element(s.Launch.begin(), s.Launch.end()), s.Launch.size());
        if (s.W.LaunchOnly()) continue;
        std::wprintf(L"RESULT %ls launch_to_ready_ms median %.1f min %.1f runs %zu\n", s.W.Label,
                     Median(s.Ready), *std::min_element(s.Ready.begin(), s.Ready.end()), s.Ready.size());
        std::wprintf(L"RESULT %ls install_to_finish_ms median %.1f min %.1f runs %zu\n", s.W.Label,
                     Median(s.Install), *std::min_element(s.Install.begin(), s.Install.end()),
                     s.Install.size());
    }
    return failed ? 1 : 0;
}
