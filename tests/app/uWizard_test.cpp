#include "app/uWizard.h"

#include <gtest/gtest.h>

namespace {
constexpr int kPages = 4;
TPageButtons B(TStringId caption, bool next, bool prev, bool cancelOff) { return {caption, next, prev, cancelOff}; }
} // namespace

TEST(WizardButtons, EveryPageOfTheTable) {
    EXPECT_EQ(PageButtons(kFailurePageIndex, kPages, false), B(SCaptionExit, true, false, true));
    EXPECT_EQ(PageButtons(kWelcomePageIndex, kPages, false), B(SCaptionNext, true, false, false));
    EXPECT_EQ(PageButtons(kLicencePageIndex, kPages, false), B(SCaptionNext, false, true, false));
    EXPECT_EQ(PageButtons(kLicencePageIndex, kPages, true), B(SCaptionNext, true, true, false));
    EXPECT_EQ(PageButtons(kOptionsPageIndex, kPages, false), B(SCaptionInstall, true, true, false));
    EXPECT_EQ(PageButtons(kFinishPageIndex, kPages, true), B(SCaptionFinish, true, false, true));
    // The "agree" choice matters only on the licence page.
    EXPECT_TRUE(PageButtons(kWelcomePageIndex, kPages, false).NextEnabled);
    EXPECT_TRUE(PageButtons(kOptionsPageIndex, kPages, false).NextEnabled);
}

TEST(WizardNavigation, LicencePageIsSkippedOnlyWithoutText) {
    EXPECT_TRUE(IsSkippedPage(kLicencePageIndex, true));
    EXPECT_FALSE(IsSkippedPage(kLicencePageIndex, false));
    EXPECT_FALSE(IsSkippedPage(kOptionsPageIndex, true));

    // With a licence: 0 -> 1 -> 2 -> 3 and back 2 -> 1 -> 0.
    EXPECT_EQ(NextPageIndex(0, false), 1);
    EXPECT_EQ(NextPageIndex(1, false), 2);
    EXPECT_EQ(NextPageIndex(2, false), 3);
    EXPECT_EQ(PrevPageIndex(2, false), 1);
    EXPECT_EQ(PrevPageIndex(1, false), 0);
    // Without: 0 -> 2 -> 3 and back 2 -> 0.
    EXPECT_EQ(NextPageIndex(0, true), 2);
    EXPECT_EQ(NextPageIndex(2, true), 3);
    EXPECT_EQ(PrevPageIndex(2, true), 0);
    // Back does nothing on the first page and on the failure page.
    EXPECT_EQ(PrevPageIndex(0, true), 0);
    EXPECT_EQ(PrevPageIndex(kFailurePageIndex, false), kFailurePageIndex);
}
