#pragma once
// A non-visual component that opens a web address in the user's browser: the program that
// Windows has registered to open ".htm" files (Execute), or whatever the shell opens the
// address with (ShellOpen, which falls back on Execute). Nothing is ever reported to the
// user: a browser that cannot be started simply does not appear.
//
// The address rules and the command line are portable (uBrowser.cpp); finding and starting
// the browser is Windows-only (uBrowser_win.cpp). Elsewhere no browser is found and
// nothing is started.
#include "toolkit/uClasses.h"

#include <cstdint>
#include <string>
#include <string_view>

// The Flash player's Japanese download page, opened by the failure page's button. The host
// is the player maker's own site of the time.
inline constexpr std::string_view kFlashDownloadHost = "www.macromedia.com";
inline constexpr std::string_view kFlashDownloadURL =
    "http://www.macromedia.com/shockwave/download/download.cgi"
    "?P5_Language=Japanese&Lang=Japanese&P1_Prod_Version=ShockwaveFlash&Lang=Japanese";

// ---- Address and command-line rules (portable) ------------------------------------------

// The address as the URL writer stores it. An address that names its scheme ("http:",
// "mailto:", "about:", ...) before its first '/', '?' or '#' is kept as it is, and so are a
// local path ("C:\...", "\\server\...") and the empty address. Anything else is taken for
// a host name and gets "http://" in front ("www.example.com/x" -> "http://www.example.com/x";
// "localhost:8080" is a host with a port, not the scheme "localhost"). An address that is
// not empty therefore never begins with '-' or '/', so a browser cannot take it for a switch.
std::string CheckURLScheme(std::string_view address);

// The address as one command-line argument: control characters and double quotes are
// percent-encoded (a quote is never a literal part of a URL or a Windows file name), and
// an address with blanks is enclosed in double quotes, with a trailing run of backslashes
// doubled so that it does not escape the closing quote. Other addresses stay as they are.
std::string URLArgument(std::string_view url);

// The command line Execute starts: the browser path in double quotes (inner quotes
// doubled), a blank and the address as one argument.
std::string BrowserCommandLine(std::string_view browserPath, std::string_view url);

// The bare program path from the quoted command GetAssociatedCommand returns.
std::string BrowserPathFromCommand(std::string_view associatedCommand);

// True when ShellExecute's result calls for the fallback on Execute: a failure (32 or
// less) other than "file not found" (2), which ends the attempt.
bool ShellOpenNeedsFallback(std::intptr_t shellResult);

// ---- The component ----------------------------------------------------------------------

class TBrowser : public TComponent {
public:
    // Finds the browser at once (FindBrowser).
    explicit TBrowser(TComponent* owner);
    std::string ClassName() const override { return "TBrowser"; }

    bool Auto() const { return FAuto; }
    void SetAuto(bool value) { FAuto = value; }
    const std::string& URL() const { return FURL; }
    // The value is passed through CheckURLScheme; when that equals the stored address
    // (exact comparison) nothing happens. Otherwise it is stored, and with Auto it is opened at once through
    // ShellOpen, except while the component is being loaded from a definition or designed: reading a stored
    // definition never opens a browser.
    void SetURL(const std::string& value);
    // The unquoted path of the program registered for ".htm"; empty when there is none.
    const std::string& BrowserPath() const { return FBrowserPath; }

    // Looks the browser up again in the registry.
    void FindBrowser();
    // Starts BrowserPath with the address. Nothing happens for an empty address or when no
    // browser is registered; a failed start is ignored.
    void Execute();
    // Asks the shell to open the address; falls back on Execute as ShellOpenNeedsFallback
    // says. Nothing happens for an empty address.
    void ShellOpen();

    void GetProperties(TPropList& props) override;

private:
    bool FAuto = false;
    std::string FURL;
    std::string FBrowserPath;
};

// Opens address in the registered browser: a TBrowser without owner, URL set, Execute.
// Reports nothing.
void OpenURL(const std::string& address);

// ---- Platform side (uBrowser_win.cpp; no-ops elsewhere) -----------------------------------

// The quoted command GetAssociatedCommand(".htm") gives, with environment references
// ("%ProgramFiles%") expanded, or empty.
std::string RegisteredBrowserCommand();
// Starts a command line without waiting; failures are ignored.
void StartBrowserCommandLine(const std::string& commandLine);
// ShellExecute's "open" on the address; returns its result (greater than 32 on success).
std::intptr_t ShellExecuteURL(const std::string& url);
