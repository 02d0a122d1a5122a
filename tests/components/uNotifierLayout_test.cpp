// The notifier's Arrange arithmetic: margins, centring, widths and rounding.
#include "components/uNotifierLayout.h"

#include <gtest/gtest.h>

TEST(NotifierLayout, NeitherBarNorButtonCentresTheLabel) {
    TNotifierLayoutInput in;
    in.LabelWidth = 200;
    in.LabelHeight = 12;
    in.CaptionWidth = 0; // empty caption contributes nothing
    in.TargetRight = 1000;
    in.TargetBottom = 800;
    in.FrameWidth = 6;
    in.FrameHeight = 25;
    auto l = ArrangeNotifier(in);
    EXPECT_EQ(l.ClientHeight, 42);
    EXPECT_EQ(l.LabelTop, 15);
    EXPECT_EQ(l.LabelLeft, 9);
    EXPECT_EQ(l.ClientWidth, 240);
    EXPECT_EQ(l.WindowLeft, (1000 - 246) / 2);
    EXPECT_EQ(l.WindowTop, (800 - 67) / 2);
}

TEST(NotifierLayout, MarginsBelowBarAndButton) {
    TNotifierLayoutInput in;
    in.LabelWidth = 100;
    in.LabelHeight = 24;
    in.CanCancel = true;
    in.ShowProgressBar = true;
    auto both = ArrangeNotifier(in);
    EXPECT_EQ(both.LabelTop, 8);
    EXPECT_EQ(both.BarTop, 8 + 24 + 12);
    EXPECT_EQ(both.BarLeft, 9);
    EXPECT_EQ(both.BarWidth, both.ClientWidth - 16);
    EXPECT_EQ(both.CancelTop, both.BarTop + 16 + 4);
    EXPECT_EQ(both.ClientHeight - (both.CancelTop + 20), 6);
    EXPECT_EQ(both.CancelLeft, (120 - 75) / 2);

    in.ShowProgressBar = false;
    auto button = ArrangeNotifier(in);
    EXPECT_EQ(button.CancelTop, 8 + 24 + 10);
    EXPECT_EQ(button.ClientHeight - (button.CancelTop + 20), 12);

    in.ShowProgressBar = true;
    in.CanCancel = false;
    auto bar = ArrangeNotifier(in);
    EXPECT_EQ(bar.ClientHeight - (bar.BarTop + 16), 10);
    EXPECT_EQ(bar.ClientWidth - (bar.BarLeft + bar.BarWidth), 7);
}

TEST(NotifierLayout, WidthIsTheWidestPartTimesOnePointTwoRounded) {
    TNotifierLayoutInput in;
    in.LabelWidth = 13; // 15.6 -> 16
    EXPECT_EQ(ArrangeNotifier(in).ClientWidth, 16);
    in.LabelWidth = 11; // 13.2 -> 13
    EXPECT_EQ(ArrangeNotifier(in).ClientWidth, 13);
    in.CaptionWidth = 300; // the caption is wider
    EXPECT_EQ(ArrangeNotifier(in).ClientWidth, 360);
    in.CaptionWidth = 0;
    in.CanCancel = true; // the button (75) is wider than the label
    EXPECT_EQ(ArrangeNotifier(in).ClientWidth, 90);
}

TEST(NotifierLayout, SmallOrEmptyTargetsGiveEvenOverlapRoundedTowardZero) {
    TNotifierLayoutInput in;
    in.LabelWidth = 100; // client 120
    in.LabelHeight = 13; // client 43
    in.FrameWidth = 1;   // outer 121 x 44
    in.FrameHeight = 1;
    in.TargetLeft = 10;
    in.TargetTop = 20;
    in.TargetRight = 110; // 100 wide: (100 - 121) / 2 = -10 (toward zero)
    in.TargetBottom = 61; // 41 high: (41 - 44) / 2 = -1
    auto l = ArrangeNotifier(in);
    EXPECT_EQ(l.WindowLeft, 0);
    EXPECT_EQ(l.WindowTop, 19);
    TNotifierLayoutInput zero; // Msg set before any show: an all-zero rectangle
    zero.LabelWidth = 50;
    zero.LabelHeight = 10;
    auto z = ArrangeNotifier(zero);
    EXPECT_EQ(z.WindowLeft, -30);
    EXPECT_EQ(z.WindowTop, -20);
}
