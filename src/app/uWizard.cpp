#include "app/uWizard.h"

TPageButtons PageButtons(int pageIndex, int pageCount, bool agreeChecked) {
    TPageButtons b;
    b.PrevEnabled = pageIndex > 0;
    b.NextEnabled = pageIndex < pageCount - 1;
    if (pageIndex == kLicencePageIndex) b.NextEnabled = agreeChecked;
    const int last = pageCount - 1;
    if (pageIndex < 0) {
        b.NextCaption = SCaptionExit;
        b.NextEnabled = true;
        b.PrevEnabled = false;
        b.CancelDisabled = true;
    } else if (pageIndex >= last) {
        b.NextCaption = SCaptionFinish;
        b.NextEnabled = true;
        b.PrevEnabled = false;
        b.CancelDisabled = true;
    } else if (pageIndex == last - 1) {
        b.NextCaption = SCaptionInstall;
        b.NextEnabled = true;
    } else {
        b.NextCaption = SCaptionNext;
    }
    return b;
}

bool IsSkippedPage(int pageIndex, bool licenceEmpty) { return pageIndex == kLicencePageIndex && licenceEmpty; }

int NextPageIndex(int pageIndex, bool licenceEmpty) {
    int next = pageIndex + 1;
    if (IsSkippedPage(next, licenceEmpty)) ++next;
    return next;
}

int PrevPageIndex(int pageIndex, bool licenceEmpty) {
    if (pageIndex <= 0) return pageIndex;
    int prev = pageIndex - 1;
    if (IsSkippedPage(prev, licenceEmpty)) --prev;
    return prev;
}
