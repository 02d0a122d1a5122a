#pragma once
// The wizard's string table: the identifiers shared by strings.rc and the code. The
// numbers are plain macros because the resource compiler reads this header too; code
// uses the TStringId names.
#define SCR_IDS_CAPTION_NEXT 1001
#define SCR_IDS_CAPTION_INSTALL 1002
#define SCR_IDS_CAPTION_FINISH 1003
#define SCR_IDS_CAPTION_EXIT 1004
#define SCR_IDS_SELECT_FOLDER 1005
#define SCR_IDS_NO_DESTINATION 1006
#define SCR_IDS_FLASH_MISSING 1007
#define SCR_IDS_INVALID_DATA 1008
#define SCR_IDS_NO_SCREENSAVER_NAME 1009
#define SCR_IDS_WRITE_FAILED 1010
#define SCR_IDS_UNEXPECTED_ERROR 1011
#define SCR_IDS_SETUP_SWITCHES 1012
#define SCR_IDS_ELEVATION_REFUSED 1013
#define SCR_IDS_DESTINATION_NOT_LOCAL 1014
#define SCR_IDS_DESTINATION_NOT_REPRESENTABLE 1015
#define SCR_IDS_ENTRY_CONFLICT 1016
#define SCR_IDS_INSTALLED_ELSEWHERE 1017
#define SCR_IDS_REGISTRATION_FAILED 1018
#define SCR_IDS_CAUSE 1019
#define SCR_IDS_CAUSE_DISK_FULL 1020
#define SCR_IDS_CAUSE_ACCESS_DENIED 1021
#define SCR_IDS_CAUSE_IN_USE 1022
#define SCR_IDS_CAUSE_PATH_TOO_LONG 1023
#define SCR_IDS_CAUSE_OUT_OF_MEMORY 1024
#define SCR_IDS_RESTART_COMPLETES 1025
#define SCR_IDS_ROLLED_BACK 1026
#define SCR_IDS_NOT_ROLLED_BACK 1027
#define SCR_IDS_PROGRAM_NOT_HELD 1028
#define SCR_IDS_STEP_UNCONFIRMED 1029
#define SCR_IDS_READ_FAILED 1030
#define SCR_IDS_INSTALLED_OTHER_SCOPE 1031
#define SCR_IDS_POLICY_FORCES_OTHER 1032
#define SCR_IDS_POLICY_SAVERS_OFF 1033

#ifndef RC_INVOKED
enum TStringId : unsigned {
    SCaptionNext = SCR_IDS_CAPTION_NEXT,
    SCaptionInstall = SCR_IDS_CAPTION_INSTALL,
    SCaptionFinish = SCR_IDS_CAPTION_FINISH,
    SCaptionExit = SCR_IDS_CAPTION_EXIT,
    SSelectFolder = SCR_IDS_SELECT_FOLDER,
    SNoDestination = SCR_IDS_NO_DESTINATION,
    // Holds one "%s": the minimum player version.
    SFlashMissing = SCR_IDS_FLASH_MISSING,
    SInvalidData = SCR_IDS_INVALID_DATA,
    // The installation's own failures. SWriteFailed holds one "%s": the file's path;
    // SRegistrationFailed one: the registry value.
    SNoScreenSaverName = SCR_IDS_NO_SCREENSAVER_NAME,
    SWriteFailed = SCR_IDS_WRITE_FAILED,
    SRegistrationFailed = SCR_IDS_REGISTRATION_FAILED,
    SUnexpectedError = SCR_IDS_UNEXPECTED_ERROR,
    // The line naming why a write failed; holds one "%s": one of the causes below, or the
    // system's own text.
    SCause = SCR_IDS_CAUSE,
    SCauseDiskFull = SCR_IDS_CAUSE_DISK_FULL,
    SCauseAccessDenied = SCR_IDS_CAUSE_ACCESS_DENIED,
    SCauseInUse = SCR_IDS_CAUSE_IN_USE,
    SCausePathTooLong = SCR_IDS_CAUSE_PATH_TOO_LONG,
    SCauseOutOfMemory = SCR_IDS_CAUSE_OUT_OF_MEMORY,
    // The switches and exit codes; holds one "%s": the program's file name.
    SSetupSwitches = SCR_IDS_SETUP_SWITCHES,
    // The machine-wide step could not be started with administrator rights.
    SElevationRefused = SCR_IDS_ELEVATION_REFUSED,
    // A destination that is no full local path, or one with characters code page 932 lacks.
    SDestinationNotLocal = SCR_IDS_DESTINATION_NOT_LOCAL,
    SDestinationNotRepresentable = SCR_IDS_DESTINATION_NOT_REPRESENTABLE,
    // Holds one "%s": the uninstall key's name, registered by another product.
    SEntryConflict = SCR_IDS_ENTRY_CONFLICT,
    // Holds one "%s": the folder the screensaver is registered in.
    SInstalledElsewhere = SCR_IDS_INSTALLED_ELSEWHERE,
    // Installed; a file of the earlier installation was in use and goes at the next restart.
    SRestartCompletes = SCR_IDS_RESTART_COMPLETES,
    // The line after a failed installation: everything was put back as it was before it;
    // or, when that failed too, what the next run will do.
    SRolledBack = SCR_IDS_ROLLED_BACK,
    SNotRolledBack = SCR_IDS_NOT_ROLLED_BACK,
    // The program's own file could not be held open, so the step is not started from it.
    SProgramNotHeld = SCR_IDS_PROGRAM_NOT_HELD,
    // The elevated process did not confirm its result (or was not this program).
    SStepUnconfirmed = SCR_IDS_STEP_UNCONFIRMED,
    // Holds one "%s": the uninstall key or the uninstaller it names, which cannot be read.
    SReadFailed = SCR_IDS_READ_FAILED,
    // Holds one "%s": the folder of this screensaver's installation in the other scope.
    SInstalledOtherScope = SCR_IDS_INSTALLED_OTHER_SCOPE,
    // The options page's note under "set as the current screensaver" when a policy decides
    // instead: it runs another screensaver, or none.
    SPolicyForcesOther = SCR_IDS_POLICY_FORCES_OTHER,
    SPolicySaversOff = SCR_IDS_POLICY_SAVERS_OFF,
};
#endif
