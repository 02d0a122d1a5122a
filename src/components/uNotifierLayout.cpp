#include "components/uNotifierLayout.h"

#include <algorithm>

TNotifierLayout ArrangeNotifier(const TNotifierLayoutInput& in) {
    TNotifierLayout out{};
    out.ClientHeight =
        in.LabelHeight + 30 + (in.CanCancel ? in.CancelHeight : 0) + (in.ShowProgressBar ? in.BarHeight : 0);
    std::int32_t content = std::max({in.LabelWidth, in.CaptionWidth, in.CanCancel ? in.CancelWidth : 0});
    // content x 1.2 to the nearest integer (6/5 of an integer never ends in exactly .5).
    std::int64_t scaled = std::int64_t(content) * 12;
    out.ClientWidth = static_cast<std::int32_t>(scaled >= 0 ? (scaled + 5) / 10 : -((-scaled + 5) / 10));

    out.LabelLeft = 9;
    out.LabelTop = in.CanCancel || in.ShowProgressBar ? 8 : (out.ClientHeight - in.LabelHeight) / 2;
    std::int32_t labelBottom = out.LabelTop + in.LabelHeight;

    out.BarLeft = 9;
    out.BarTop = labelBottom + 12;
    out.BarWidth = out.ClientWidth - 16;

    out.CancelTop = in.ShowProgressBar ? out.BarTop + in.BarHeight + 4 : labelBottom + 10;
    out.CancelLeft = (out.ClientWidth - in.CancelWidth) / 2;

    std::int32_t outerW = out.ClientWidth + in.FrameWidth, outerH = out.ClientHeight + in.FrameHeight;
    out.WindowLeft = in.TargetLeft + (in.TargetRight - in.TargetLeft - outerW) / 2;
    out.WindowTop = in.TargetTop + (in.TargetBottom - in.TargetTop - outerH) / 2;
    return out;
}
