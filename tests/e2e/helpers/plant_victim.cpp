// A program that imports comctl32 statically and asks for version 6 of the common controls
// in its manifest, as most installers do: the loader brings comctl32 in before the
// program's first line, and comctl32 loads uxtheme from the program's folder.
#include <windows.h>

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    return 0;
}
