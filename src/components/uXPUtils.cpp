#include "components/uXPUtils.h"

int ThemePartState(int part, const TThemePartInput& in) {
    switch (part) {
    case tbpPushButton: {
        int state = 1;
        if (in.Default) state = 5;
        if (in.Hot) state = 2;
        if (in.Pressed) state = 3;
        if (in.Disabled) state = 4;
        return state;
    }
    case tbpRadioButton:
    case tbpCheckBox: {
        int state = 1;
        if (in.Hot) state = 2;
        if (in.Pressed) state = 3;
        if (in.Disabled) state = 4;
        if (in.Checked) state += 4;
        if (part == tbpCheckBox && in.Grayed) state += 4;
        return state;
    }
    case tbpGroupBox:
        return in.Disabled ? 2 : 1;
    default:
        return 1;
    }
}
