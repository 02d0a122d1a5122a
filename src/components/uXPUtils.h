#pragma once
// Themed drawing of the "BUTTON" theme parts for the owner-drawn buttons. The theme
// functions come from uxtheme, loaded from the system directory (platform/uSysApi.h);
// where no visual style is active (older systems, the classic scheme, Wine's default)
// the buttons draw themselves the classic way instead.
//
// The state arithmetic is portable; the drawing is Windows only (uXPUtils_win.cpp).
#ifdef _WIN32
#include <windows.h>
#endif

#include <string>

class TControl;

// The "BUTTON" class parts.
enum TThemeButtonPart { tbpPushButton = 1, tbpRadioButton = 2, tbpCheckBox = 3, tbpGroupBox = 4 };

struct TThemePartInput {
    bool Hot = false;     // the cursor lies in the client rectangle
    bool Pressed = false; // the left mouse button is held on the control
    bool Disabled = false;
    bool Default = false; // the default push button
    bool Checked = false; // radio button or check box checked
    bool Grayed = false;  // three-state check box in its third state
};

// The theme state of a part: push button normal 1, default 5, hot 2, pressed 3, disabled
// 4 (each later test overriding the earlier); radio button and check box the same states
// 1-4 plus 4 when checked (a check box plus 4 more when grayed); group box 2 when
// disabled, else 1; any other part 1.
int ThemePartState(int part, const TThemePartInput& input);

#ifdef _WIN32
// Visual styles are in use: uxtheme is there, the application is themed, a theme is
// active and the process uses comctl32 version 6.
bool VisualStylesActive();

// The state of a part for a control's window as it is now. The control must have its window.
int ThemePartState(const TControl& control, int part);
// The part's face over the client rectangle (for radio buttons and check boxes cut to the
// width of the system check box), on the parent's background.
void DrawThemedFace(const TControl& control, HDC dc, int part);
// The background of the parent behind rect: for a control inside panels, that of the
// outermost panel of the chain; else that of the control's own parent.
void DrawThemedParentBackground(const TControl& control, HDC dc, const RECT& rect);
// The caption (code page 932) single-line in rect, in the part's themed text colour.
// Nothing is drawn when the theme has no content rectangle for the part.
void DrawThemedText(const TControl& control, HDC dc, int part, const std::string& text, const RECT& rect);
#endif
