#pragma once
// The wizard's page arithmetic: which page Next and Back lead to, and how the button row
// looks on each page. Kept apart from the window so that the rules can be checked on any
// system; the main window applies them to its controls.
#include "resources/uStrings.h"

// Page indices of the wizard; the failure page is not one of the pages and has index -1.
inline constexpr int kFailurePageIndex = -1;
inline constexpr int kWelcomePageIndex = 0;
inline constexpr int kLicencePageIndex = 1;
inline constexpr int kOptionsPageIndex = 2;
inline constexpr int kFinishPageIndex = 3;

// The button row for one page.
struct TPageButtons {
    TStringId NextCaption = SCaptionNext;
    bool NextEnabled = true;
    bool PrevEnabled = false;
    // Cancel is disabled on this page (and is never enabled again afterwards).
    bool CancelDisabled = false;
    bool operator==(const TPageButtons&) const = default;
};

// The failure page shows "exit" and disables Back and Cancel; the last page shows
// "finish" and disables Back and Cancel; the page before the last shows "install"; the
// others show "next". Back is enabled past the first page. Next is enabled except on the
// licence page, where it follows the "agree" radio button.
TPageButtons PageButtons(int pageIndex, int pageCount, bool agreeChecked);

// The licence page is skipped when the payload carries no licence text.
bool IsSkippedPage(int pageIndex, bool licenceEmpty);

// The page Next leads to from pageIndex (0 .. pageCount - 2), skipping the licence page
// without text.
int NextPageIndex(int pageIndex, bool licenceEmpty);
// The page Back leads to; pageIndex itself when Back does nothing (the first page, the
// failure page).
int PrevPageIndex(int pageIndex, bool licenceEmpty);
