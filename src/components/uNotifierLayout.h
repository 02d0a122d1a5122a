#pragma once
// The arithmetic of the notifier window's Arrange, apart from any window so that it can be
// checked on its own. All lengths in designed pixels; "halved" divides by 2 rounding
// toward zero.
#include <cstdint>

struct TNotifierLayoutInput {
    std::int32_t LabelWidth = 0, LabelHeight = 0; // the label sized to its text
    std::int32_t CaptionWidth = 0;                // the title measured with the window's font (0 when empty)
    bool CanCancel = false;
    std::int32_t CancelWidth = 75, CancelHeight = 20;
    bool ShowProgressBar = false;
    std::int32_t BarHeight = 16;
    std::int32_t FrameWidth = 0, FrameHeight = 0; // outer size minus client size
    std::int32_t TargetLeft = 0, TargetTop = 0, TargetRight = 0, TargetBottom = 0;
};

struct TNotifierLayout {
    std::int32_t ClientWidth, ClientHeight;
    std::int32_t LabelLeft, LabelTop;
    std::int32_t BarLeft, BarTop, BarWidth; // meaningful when the bar is shown
    std::int32_t CancelLeft, CancelTop;     // meaningful when the button is shown
    std::int32_t WindowLeft, WindowTop;     // outer window, centred in the target rectangle
};

TNotifierLayout ArrangeNotifier(const TNotifierLayoutInput& in);
