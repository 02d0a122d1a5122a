#include "app/uMachineStep.h"

#include "app/uInstallLog.h"
#include "app/uMain.h"
#include "app/uOwnBinding.h"
#include "platform/uElevation.h"
#include "platform/uSysApi.h"
#include "platform/uWinHandles.h"
#include "store/uHexText.h"
#include "store/uStreams.h"
#include "store/uText.h"

#include <string>
#include <vector>

namespace {

// The step's report: messages on a pipe of the starter's, each a kind byte and code page 932
// text. A message longer than kMaxReport is no report of ours.
constexpr char kLogLine = 'L'; // a line of the install log
constexpr char kFailure = 'F'; // the failure text for the user
constexpr char kResult = 'R';  // "<exit code> <binding in hex>": the step's last word
constexpr DWORD kMaxReport = 64 * 1024;

std::wstring ReportPipeName(std::wstring_view id) {
    return L"\\\\.\\pipe\\ScrSetupStepReport-" + std::wstring(id);
}

std::string ResultText(TSetupExit exit, const TSha256& binding) {
    return std::to_string(static_cast<int>(exit)) + " " + hextext::Text<std::string>(binding);
}

// The starter's end: a pipe with a name from the system's random generator, one instance,
// local clients only. It listens while the step runs and takes messages only from the
// process it started, and only when that process runs this very program file: another
// process of the user that finds the pipe is disconnected unread.
class TReportPipe final : public IElevatedRunWatcher {
public:
    TReportPipe() : FId(ToWide(NewChangeId())), FEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (FId.empty() || !FEvent) return;
        FPipe.Reset(CreateNamedPipeW(
            ReportPipeName(FId).c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kMaxReport, 0, nullptr));
    }
    ~TReportPipe() override {
        if (FPipe && FState != TState::Done) CancelIo(FPipe.Get());
    }
    bool Ok() const { return static_cast<bool>(FPipe); }
    const std::wstring& Id() const { return FId; }

    void Started(HANDLE process) override {
        // Kept until the report is read: the id is never another process's meanwhile.
        HANDLE kept = nullptr;
        DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &kept, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        FProcess.Reset(kept);
        FProcessId = GetProcessId(process);
        FOurProgram = RunsHeldProgram(process);
        // Another program started with administrator rights in the step's place: ended at
        // once, before it does more than it already has.
        if (!FOurProgram) TerminateProcess(process, static_cast<UINT>(TSetupExit::StepUnconfirmed));
        Listen();
    }
    HANDLE Event() override { return FState == TState::Done ? nullptr : FEvent.Get(); }
    void Signalled() override {
        DWORD bytes = 0;
        const bool ok = GetOverlappedResult(FPipe.Get(), &FOverlapped, &bytes, FALSE);
        if (FState == TState::Listening) {
            if (ok)
                Connected();
            else
                FState = TState::Done;
        } else if (FState == TState::Reading) {
            if (ok) {
                Take(bytes);
                Read();
            } else if (GetLastError() == ERROR_MORE_DATA) {
                Refuse("a message too long"); // no report of ours
            } else {
                FState = TState::Done; // the step closed its end: all is read
            }
        }
    }
    // After the step ended: what it wrote is still in the pipe.
    void Finish() {
        for (int i = 0; i < 1000 && FState != TState::Done; ++i) {
            if (WaitForSingleObject(FEvent.Get(), FState == TState::Listening ? 0 : 5000) != WAIT_OBJECT_0)
                break;
            Signalled();
        }
        if (FState != TState::Done) {
            CancelIo(FPipe.Get());
            FState = TState::Done;
        }
    }

    bool OurProgram() const { return FOurProgram; }
    bool HasResult() const { return FHasResult; }
    const std::string& Result() const { return FResult; }
    const std::string& Failure() const { return FFailure; }
    const std::vector<std::string>& Lines() const { return FLines; }

private:
    enum class TState { Idle, Listening, Reading, Done };

    void Listen() {
        FState = TState::Listening;
        ResetEvent(FEvent.Get());
        FOverlapped = {};
        FOverlapped.hEvent = FEvent.Get();
        if (ConnectNamedPipe(FPipe.Get(), &FOverlapped)) return;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            Connected();
        } else if (error == ERROR_NO_DATA && FRefused < kMaxRefused) {
            // A client came and went before it was listened for: listen again.
            ++FRefused;
            DisconnectNamedPipe(FPipe.Get());
            Listen();
        } else if (error != ERROR_IO_PENDING) {
            FState = TState::Done;
        }
    }
    void Connected() {
        ULONG client = 0;
        if (!GetNamedPipeClientProcessId(FPipe.Get(), &client) || client != FProcessId)
            return Refuse("process " + std::to_string(client));
        if (!FOurProgram) return Refuse("the program started, which is not this installer's file");
        FState = TState::Reading;
        Read();
    }
    // Another process at the pipe is turned away, unread; a few are logged, and past a
    // bound the pipe stops listening (the step's result then stays unconfirmed).
    void Refuse(const std::string& what) {
        if (++FRefused <= 4) FLines.push_back("a report from " + what + " was ignored");
        DisconnectNamedPipe(FPipe.Get());
        if (FRefused < kMaxRefused)
            Listen();
        else
            FState = TState::Done;
    }
    void Read() {
        ResetEvent(FEvent.Get());
        FOverlapped = {};
        FOverlapped.hEvent = FEvent.Get();
        // Completed at once or later, the event is set either way.
        if (!ReadFile(FPipe.Get(), FBuffer, sizeof FBuffer, nullptr, &FOverlapped) &&
            GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA)
            FState = TState::Done;
    }
    void Take(DWORD bytes) {
        if (bytes == 0) return;
        const std::string text(FBuffer + 1, bytes - 1);
        switch (FBuffer[0]) {
        case kLogLine:
            FLines.push_back(text);
            break;
        case kFailure:
            FFailure = text;
            break;
        case kResult:
            FHasResult = true;
            FResult = text;
            break;
        default:
            break;
        }
    }

    static constexpr int kMaxRefused = 64;
    std::wstring FId;
    UniqueHandle FEvent, FPipe, FProcess;
    int FRefused = 0;
    OVERLAPPED FOverlapped{};
    TState FState = TState::Idle;
    DWORD FProcessId = 0;
    bool FOurProgram = false, FHasResult = false;
    char FBuffer[kMaxReport];
    std::string FResult, FFailure;
    std::vector<std::string> FLines;
};

// The step's end of the pipe, when its starter named one.
UniqueHandle gReport;

void Send(char kind, std::string_view text) {
    if (!gReport) return;
    std::string message(1, kind);
    message.append(text.substr(0, kMaxReport - 1));
    DWORD written = 0;
    WriteFile(gReport.Get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
}

// The step's log lines wait in memory until its work is done: a pipe that is not read (a
// starter that hangs, or a program of the user's that started the step with a pipe of its
// own) could otherwise hold the step at any line, with the folder and the lock held.
std::vector<std::string> gLines;

void RelayLogLine(std::string_view line) {
    gLines.emplace_back(line);
}

// Connects to the starter's pipe, waiting a while for it to be free (another process may
// hold it for a moment until the starter turns it away). The starter may not act as the
// step: identification only.
bool ConnectReport(std::wstring_view id) {
    const std::wstring name = ReportPipeName(id);
    for (int attempt = 0; attempt < 20; ++attempt) {
        gReport.Reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (gReport) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(gReport.Get(), &mode, nullptr, nullptr);
            return true;
        }
        if (GetLastError() != ERROR_PIPE_BUSY) return false;
        WaitNamedPipeW(name.c_str(), 500);
    }
    return false;
}

} // namespace

TInstallOutcome RunMachineStep(const std::string& destination, HWND owner) {
    TInstallOutcome outcome;
    // Started from the file this process runs, held since its start: never by a name
    // another process could have put something else under.
    const std::wstring program = HeldProgramPath();
    if (program.empty()) {
        outcome.Result = TInstallResult::ProgramNotHeld;
        outcome.Message = OutcomeText(outcome.Result);
        installlog::Line("step: not started: this program's file could not be held open");
        return outcome;
    }
    TReportPipe pipe;
    if (!pipe.Ok()) {
        // Taken once: making the message's text may set the thread's last error again.
        const DWORD error = GetLastError();
        outcome.Result = TInstallResult::Unexpected;
        outcome.Message = OutcomeText(outcome.Result, {}, error);
        installlog::Line("step: not started: no report pipe (system error " + std::to_string(error) + ")");
        return outcome;
    }
    const TElevatedRun run = RunElevatedAndWait(
        program, StepArguments(OwnImageBinding(), pipe.Id(), ToWide(destination)), owner, &pipe);
    if (!run.Started) {
        outcome.Result = TInstallResult::ElevationRefused;
        // A refused prompt says it all; any other cause is the system's to tell.
        outcome.Message = OutcomeText(outcome.Result, {}, run.Error == ERROR_CANCELLED ? 0 : run.Error);
        installlog::Line("step: \"" + FromWide(program) + "\" not started (system error " +
                         std::to_string(run.Error) + ")");
        return outcome;
    }
    pipe.Finish();
    installlog::Line("step: \"" + FromWide(program) + "\" started with administrator rights");
    for (const std::string& line : pipe.Lines()) installlog::Line("step: " + line);
    if (run.WaitError) {
        outcome.Result = TInstallResult::Unexpected;
        outcome.Message = OutcomeText(outcome.Result, {}, run.WaitError);
        installlog::Line("step: its end could not be waited for (system error " +
                         std::to_string(run.WaitError) + ")");
        return outcome;
    }
    installlog::Line("step: exit code " + std::to_string(run.ExitCode));
    outcome.Result = ResultOfExit(static_cast<int>(run.ExitCode));
    // Only this program's own step, reporting the exit code it ended with and the binding
    // it was given, has done what it says.
    const bool confirmed =
        pipe.OurProgram() && pipe.HasResult() &&
        pipe.Result() == ResultText(OutcomeRule(outcome.Result).Exit, OwnImageBinding()) &&
        static_cast<int>(OutcomeRule(outcome.Result).Exit) == static_cast<int>(run.ExitCode);
    if (!confirmed) {
        installlog::Line(pipe.OurProgram() ? "step: no report of its result"
                                           : "step: the program started is not this installer's file");
        outcome.Result = TInstallResult::StepUnconfirmed;
        outcome.Message = OutcomeText(outcome.Result);
        return outcome;
    }
    if (outcome.Result == TInstallResult::Installed) return outcome;
    outcome.Message =
        pipe.Failure().empty() || IsInstalled(outcome.Result) ? OutcomeText(outcome.Result) : pipe.Failure();
    return outcome;
}

TSetupExit RunStepProcess(const TSetupCommandLine& args) {
    // A starter that named a pipe hears of everything through it, and connecting to it must
    // succeed; without one (an administrator running the step by hand) the exit code is all
    // the step tells.
    if (!args.ReportPipe.empty()) {
        if (!ConnectReport(args.ReportPipe)) return TSetupExit::BadCommandLine;
        installlog::RelayTo(&RelayLogLine);
    }
    TPayloadSettings settings;
    std::string loadError;
    // Bound to this image: a container other than the one scrpack bound it to is invalid.
    if (!settings.LoadPayloadSettings(sys::ProgramPath(), kDesignedCaption, &loadError, OwnImageBinding()))
        installlog::Line("container: refused (" + loadError + ")");
    const TStartupVerdict verdict = settings.IntegrityVerdict();
    installlog::Line(std::string("start-up: ") +
                     (verdict.Welcome() ? "passed" : OutcomeRule(verdict.Result).LogName) + " (" +
                     verdict.Why + ")");
    TInstallOutcome outcome;
    outcome.Result = verdict.Result;
    std::string destination;
    // A binding other than this image's: the file was replaced by another build of ours
    // between the starter's start and this one's, so its payload is not the one the user
    // was shown.
    if (outcome.Result == TInstallResult::Installed && args.StepBinding != OwnImageBinding())
        outcome.Result = TInstallResult::InvalidPayload;
    if (outcome.Result == TInstallResult::Installed)
        outcome.Result = ResolveDestination(args.Destination, destination);
    if (outcome.Result == TInstallResult::Installed) {
        TInstallRequest request{destination, {}};
        if (settings.FSignedUninstaller.empty()) request.Uninstaller = CarriedUninstaller();
        outcome = InstallScreenSaver(settings, request);
    } else {
        outcome.Message = OutcomeText(outcome.Result);
    }
    const TSetupExit exit = OutcomeRule(outcome.Result).Exit;
    for (const std::string& line : gLines) Send(kLogLine, line);
    if (!IsInstalled(outcome.Result)) Send(kFailure, outcome.Message);
    Send(kResult, ResultText(exit, args.StepBinding));
    return exit;
}
