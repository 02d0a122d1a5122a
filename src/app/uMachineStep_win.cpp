#include "app/uMachineStep.h"

#include "app/uInstallLog.h"
#include "app/uMain.h"
#include "app/uOwnBinding.h"
#include "components/uFileEmbedder.h"
#include "platform/uElevation.h"
#include "platform/uSysApi.h"
#include "platform/uText.h"
#include "store/uStreams.h"

#include <cwchar>
#include <iterator>

namespace {

// Mark our WM_COPYDATA among any other: the failure text, and a line of the install log.
// A text longer than kMaxReport is no report of ours.
constexpr ULONG_PTR kStepReportTag = 0x53435250; // "SCRP"
constexpr ULONG_PTR kStepLogTag = 0x5343524C;    // "SCRL"
constexpr DWORD kMaxReport = 64 * 1024;

constexpr wchar_t kSinkClass[] = L"TScrStepReportSink";

// A message-only window that keeps the last failure text it received while it lives and
// writes the log lines it receives into this process's install log.
class TStepReportSink {
public:
    TStepReportSink() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TStepReportSink::WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kSinkClass;
        RegisterClassExW(&wc); // fails harmlessly when registered already
        FWindow = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    }
    ~TStepReportSink() {
        if (FWindow) DestroyWindow(FWindow);
    }
    TStepReportSink(const TStepReportSink&) = delete;
    TStepReportSink& operator=(const TStepReportSink&) = delete;

    std::uintptr_t Handle() const { return reinterpret_cast<std::uintptr_t>(FWindow); }
    const std::string& Text() const { return FText; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        } else if (message == WM_COPYDATA) {
            auto* self = reinterpret_cast<TStepReportSink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (!self || !data || data->cbData > kMaxReport) return FALSE;
            if (data->dwData != kStepReportTag && data->dwData != kStepLogTag) return FALSE;
            // No exception may leave a window procedure.
            try {
                const std::string text(static_cast<const char*>(data->lpData), data->cbData);
                if (data->dwData == kStepLogTag)
                    installlog::Line("step: " + text);
                else
                    self->FText = text;
            } catch (...) {
                return FALSE;
            }
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND FWindow = nullptr;
    std::string FText;
};

std::uintptr_t gReportWindow = 0;

// Sends one report of kind tag to the starter's window, when it is a report window of ours.
void Send(std::uintptr_t window, ULONG_PTR tag, std::string_view text) {
    const HWND target = reinterpret_cast<HWND>(window);
    if (!target || text.empty() || text.size() > kMaxReport || !IsWindow(target)) return;
    // The window comes from a command line anybody could have written: only a report
    // window of ours gets it, never another (elevated) program's window, which would
    // take our message for one of its own peers'.
    wchar_t className[64];
    const int n = GetClassNameW(target, className, 64);
    if (n != static_cast<int>(std::size(kSinkClass)) - 1 || std::wmemcmp(className, kSinkClass, n) != 0) return;
    COPYDATASTRUCT data{tag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
    // Bounded: a starter that no longer answers must not hold the step.
    SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                        5000, nullptr);
}

void RelayLogLine(std::string_view line) { Send(gReportWindow, kStepLogTag, line); }

} // namespace

TInstallOutcome RunMachineStep(const std::string& destination, HWND owner) {
    TInstallOutcome outcome;
    TStepReportSink sink;
    const std::wstring program = sys::ProgramPath();
    installlog::Line("step: starting \"" + FromWide(program) + "\" with administrator rights");
    const TElevatedRun run =
        RunElevatedAndWait(program, StepArguments(OwnImageBinding(), sink.Handle(), ToWide(destination)), owner);
    if (!run.Started) {
        outcome.Result = TInstallResult::ElevationRefused;
        // A refused prompt says it all; any other cause is the system's to tell.
        outcome.Message = OutcomeText(outcome.Result, {}, run.Error == ERROR_CANCELLED ? 0 : run.Error);
        installlog::Line("step: not started (system error " + std::to_string(run.Error) + ")");
        return outcome;
    }
    installlog::Line("step: exit code " + std::to_string(run.ExitCode));
    outcome.Result = ResultOfExit(static_cast<int>(run.ExitCode));
    if (outcome.Result == TInstallResult::Installed) return outcome;
    outcome.Message = sink.Text().empty() || IsInstalled(outcome.Result) ? OutcomeText(outcome.Result) : sink.Text();
    return outcome;
}

namespace {

// The uninstaller the main window's definition carries (resource TFRMMAIN); empty when it
// cannot be read.
std::vector<std::uint8_t> CarriedUninstaller() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(module, L"TFRMMAIN", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return EmbeddedFileOf(static_cast<const std::uint8_t*>(data), SizeofResource(module, resource));
}

} // namespace

TSetupExit RunStepProcess(const TSetupCommandLine& args) {
    gReportWindow = args.ReportWindow;
    installlog::RelayTo(&RelayLogLine);
    TPayloadSettings settings;
    std::string loadError;
    // Bound to this image: a container other than the one scrpack bound it to is invalid.
    if (!settings.LoadPayloadSettings(sys::ProgramPath(), kDesignedCaption, &loadError, OwnImageBinding()))
        installlog::Line("container: refused (" + loadError + ")");
    const TStartupVerdict verdict = settings.IntegrityVerdict();
    installlog::Line(std::string("start-up: ") + (verdict.Welcome() ? "passed" : OutcomeRule(verdict.Result).LogName) +
                     " (" + verdict.Why + ")");
    TInstallOutcome outcome;
    outcome.Result = verdict.Result;
    std::string destination;
    // A binding other than this image's: the file was replaced by another build of ours
    // between the starter's start and this one's, so its payload is not the one the user
    // was shown.
    if (outcome.Result == TInstallResult::Installed && args.StepBinding != OwnImageBinding())
        outcome.Result = TInstallResult::InvalidPayload;
    if (outcome.Result == TInstallResult::Installed) outcome.Result = ResolveDestination(args.Destination, destination);
    if (outcome.Result == TInstallResult::Installed) {
        TInstallRequest request{destination, {}};
        if (settings.FSignedUninstaller.empty()) request.Uninstaller = CarriedUninstaller();
        outcome = InstallScreenSaver(settings, request);
    } else {
        outcome.Message = OutcomeText(outcome.Result);
    }
    if (!IsInstalled(outcome.Result)) Send(args.ReportWindow, kStepReportTag, outcome.Message);
    return OutcomeRule(outcome.Result).Exit;
}
