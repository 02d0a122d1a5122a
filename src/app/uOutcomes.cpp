#include "app/uOutcomes.h"

#include <iterator>

namespace {

using P = TOutcomePage;
using R = TInstallResult;
using X = TSetupExit;

// The order of TInstallResult.
constexpr TOutcomeRule kRules[] = {
    {R::Installed, X::Installed, TStringId{}, P::Finish, false, "installed"},
    {R::InstalledRestartPending, X::RestartRequired, SRestartCompletes, P::Finish, false,
     "installed; the earlier files in use go at the next restart"},
    {R::InvalidPayload, X::InvalidPayload, SInvalidData, P::Failure, false, "invalid data"},
    {R::PlayerMissing, X::PlayerMissing, SFlashMissing, P::Failure, true, "player missing or too old"},
    {R::NoName, X::InvalidPayload, SNoScreenSaverName, P::Failure, false, "no screensaver name"},
    {R::NoDestination, X::NoDestination, SNoDestination, P::Box, false, "destination folder missing"},
    {R::BadDestination, X::NoDestination, SDestinationNotLocal, P::Box, false,
     "destination not a full local path"},
    {R::UnrepresentableDestination, X::NoDestination, SDestinationNotRepresentable, P::Box, false,
     "destination not representable in code page 932"},
    {R::WriteFailed, X::WriteFailed, SWriteFailed, P::Failure, false, "file not written"},
    {R::DiskFull, X::DiskFull, SWriteFailed, P::Failure, false, "disk full"},
    {R::FileInUse, X::FileInUse, SWriteFailed, P::Failure, false, "file in use"},
    {R::RegistrationFailed, X::RegistrationFailed, SRegistrationFailed, P::Failure, false,
     "registration failed"},
    {R::ReadFailed, X::WriteFailed, SReadFailed, P::Failure, false, "the registration could not be read"},
    {R::ElevationRefused, X::ElevationRefused, SElevationRefused, P::Box, false,
     "administrator rights refused"},
    {R::ProgramNotHeld, X::ElevationRefused, SProgramNotHeld, P::Box, false,
     "the program's file could not be held"},
    {R::StepUnconfirmed, X::StepUnconfirmed, SStepUnconfirmed, P::Failure, false,
     "the step did not confirm its result"},
    {R::EntryConflict, X::EntryConflict, SEntryConflict, P::Failure, false,
     "uninstall entry of another product"},
    {R::InstalledElsewhere, X::InstalledElsewhere, SInstalledElsewhere, P::Box, false, "installed elsewhere"},
    {R::InstalledOtherScope, X::InstalledElsewhere, SInstalledOtherScope, P::Box, false,
     "installed in the other scope (for everyone or for one user)"},
    {R::Unexpected, X::Unexpected, SUnexpectedError, P::Failure, false, "unexpected error"},
};
static_assert(std::size(kRules) == static_cast<std::size_t>(R::Unexpected) + 1);

// Win32 error codes (winerror.h), named here so the table builds on every side.
enum : unsigned long {
    kAccessDenied = 5,
    kNotEnoughMemory = 8,
    kOutOfMemory = 14,
    kWriteProtect = 19,
    kSharingViolation = 32,
    kLockViolation = 33,
    kHandleDiskFull = 39,
    kDiskFull = 112,
    kFilenameExcedRange = 206,
    kUserMappedFile = 1224,
    kDiskQuotaExceeded = 1295,
};

} // namespace

const TOutcomeRule& OutcomeRule(TInstallResult result) {
    const auto i = static_cast<std::size_t>(result);
    return kRules[i < std::size(kRules) ? i : std::size(kRules) - 1];
}

TInstallResult ResultOfExit(int exitCode) {
    for (const TOutcomeRule& rule : kRules)
        if (static_cast<int>(rule.Exit) == exitCode) return rule.Result;
    return R::Unexpected;
}

namespace {

// The system's codes told apart in the user's words, and what a failed write with each is.
struct TCause {
    unsigned long Code;
    TStringId Message;
    TInstallResult Write;
};
constexpr TCause kCauses[] = {
    {kDiskFull, SCauseDiskFull, R::DiskFull},
    {kHandleDiskFull, SCauseDiskFull, R::DiskFull},
    {kDiskQuotaExceeded, SCauseDiskFull, R::DiskFull},
    {kSharingViolation, SCauseInUse, R::FileInUse},
    {kLockViolation, SCauseInUse, R::FileInUse},
    {kUserMappedFile, SCauseInUse, R::FileInUse},
    {kAccessDenied, SCauseAccessDenied, R::WriteFailed},
    {kWriteProtect, SCauseAccessDenied, R::WriteFailed},
    {kFilenameExcedRange, SCausePathTooLong, R::WriteFailed},
    {kNotEnoughMemory, SCauseOutOfMemory, R::WriteFailed},
    {kOutOfMemory, SCauseOutOfMemory, R::WriteFailed},
};

const TCause* CauseOf(unsigned long systemError) {
    for (const TCause& cause : kCauses)
        if (cause.Code == systemError) return &cause;
    return nullptr;
}

} // namespace

TInstallResult WriteFailure(unsigned long systemError) {
    const TCause* cause = CauseOf(systemError);
    return cause ? cause->Write : R::WriteFailed;
}

TStringId CauseMessage(unsigned long systemError) {
    const TCause* cause = CauseOf(systemError);
    return cause ? cause->Message : TStringId{};
}

const char* PackageManagerResponse(TSetupExit exit) {
    switch (exit) {
    case TSetupExit::Installed:
        break;
    case TSetupExit::BadCommandLine:
    case TSetupExit::NoDestination:
        return "invalidParameter";
    case TSetupExit::PlayerMissing:
        return "missingDependency";
    case TSetupExit::ElevationRefused:
        return "cancelledByUser";
    case TSetupExit::InstalledElsewhere:
        return "alreadyInstalled";
    case TSetupExit::RestartRequired:
        return "rebootRequiredToFinish";
    case TSetupExit::DiskFull:
        return "diskFull";
    case TSetupExit::FileInUse:
        return "fileInUse";
    case TSetupExit::InvalidPayload:
    case TSetupExit::WriteFailed:
    case TSetupExit::EntryConflict:
    case TSetupExit::RegistrationFailed:
    case TSetupExit::Unexpected:
    case TSetupExit::StepUnconfirmed:
        return "contactSupport";
    }
    return "";
}
