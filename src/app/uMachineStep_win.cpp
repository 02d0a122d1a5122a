#include "app/uMachineStep.h"

#include "app/uOwnBinding.h"
#include "platform/uElevation.h"
#include "platform/uSysApi.h"
#include "platform/uText.h"
#include "store/uStreams.h"

#include <cwchar>
#include <iterator>

namespace {

// Marks our WM_COPYDATA among any other; a text longer than this is no report of ours.
constexpr ULONG_PTR kStepReportTag = 0x53435250; // "SCRP"
constexpr DWORD kMaxReport = 64 * 1024;

constexpr wchar_t kSinkClass[] = L"TScrStepReportSink";

// A message-only window that keeps the last report it received while it lives.
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
            if (!self || !data || data->dwData != kStepReportTag || data->cbData > kMaxReport) return FALSE;
            // No exception may leave a window procedure.
            try {
                self->FText.assign(static_cast<const char*>(data->lpData), data->cbData);
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

TInstallResult ResultOfStep(DWORD exitCode) {
    switch (static_cast<TSetupExit>(exitCode)) {
    case TSetupExit::Installed: return TInstallResult::Installed;
    case TSetupExit::NoDestination: return TInstallResult::NoDestination;
    case TSetupExit::InvalidPayload: return TInstallResult::InvalidPayload;
    case TSetupExit::EntryConflict: return TInstallResult::EntryConflict;
    case TSetupExit::InstalledElsewhere: return TInstallResult::InstalledElsewhere;
    default: return TInstallResult::WriteFailed;
    }
}

} // namespace

TInstallOutcome RunMachineStep(const std::string& destination, HWND owner) {
    TInstallOutcome outcome;
    TStepReportSink sink;
    const TElevatedRun run = RunElevatedAndWait(
        sys::ProgramPath(), StepArguments(OwnImageBinding(), sink.Handle(), ToWide(destination)), owner);
    if (!run.Started) {
        outcome.Result = TInstallResult::ElevationRefused;
        outcome.Message = LoadResString(SElevationRefused);
        // A refused prompt says it all; any other cause is the system's to tell.
        if (run.Error != ERROR_CANCELLED) outcome.Message += "\r\n" + SystemErrorText(run.Error);
        return outcome;
    }
    outcome.Result = ResultOfStep(run.ExitCode);
    if (outcome.Result == TInstallResult::Installed || outcome.Result == TInstallResult::NoDestination)
        return outcome;
    outcome.Message = sink.Text();
    if (outcome.Message.empty())
        outcome.Message = outcome.Result == TInstallResult::InvalidPayload
                              ? LoadResString(SInvalidData)
                              : FormatMessageText(LoadResString(SInstallError), std::to_string(run.ExitCode));
    return outcome;
}

void SendStepReport(std::uintptr_t window, const std::string& text) {
    const HWND target = reinterpret_cast<HWND>(window);
    if (!target || text.empty() || text.size() > kMaxReport || !IsWindow(target)) return;
    // The window comes from a command line anybody could have written: only a report
    // window of ours gets it, never another (elevated) program's window, which would
    // take our message for one of its own peers'.
    wchar_t className[64];
    const int n = GetClassNameW(target, className, 64);
    if (n != static_cast<int>(std::size(kSinkClass)) - 1 || std::wmemcmp(className, kSinkClass, n) != 0) return;
    COPYDATASTRUCT data{kStepReportTag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
    // Bounded: a starter that no longer answers must not hold the step.
    SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                        5000, nullptr);
}
