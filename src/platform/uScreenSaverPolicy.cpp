#include "platform/uScreenSaverPolicy.h"

#include "store/uText.h"

TPolicyYield ScreenSaverYield(const TScreenSaverPolicy& policy, bool forcedIsThisOne) {
    if (policy.ScreenSaversOff) return TPolicyYield::ScreenSaversOff;
    if (!policy.ForcedScreenSaver.empty() && !forcedIsThisOne) return TPolicyYield::ForcedOther;
    return TPolicyYield::None;
}

std::string YieldReason(const TScreenSaverPolicy& policy, TPolicyYield yield) {
    switch (yield) {
    case TPolicyYield::ScreenSaversOff:
        return "a policy turns screensavers off";
    case TPolicyYield::ForcedOther:
        return "a policy runs another screensaver: " + policy.ForcedScreenSaver;
    case TPolicyYield::None:
        break;
    }
    return {};
}

std::string ScreenSaverPathOf(std::string_view value) {
    std::string trimmed = Trim(value);
    if (trimmed.empty() || trimmed.front() != '"') return trimmed;
    const std::size_t end = FindChar932(trimmed, '"', 1);
    return Trim(std::string_view(trimmed).substr(1, end == std::string::npos ? std::string::npos : end - 1));
}
