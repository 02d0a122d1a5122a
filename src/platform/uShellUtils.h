#pragma once
// Registry and shell helpers the wizard and the components call: registry string values
// addressed by one "key path\value name" path, special folders, folder browsing with
// forbidden folders, the program associated with a file extension, quoting and short
// paths. All text is code page 932; searches for '\', ':', '.', '"' are double-byte aware.
//
// The string logic below is portable; the functions that reach the registry or the shell
// are Windows-only (declared at the end, defined in uShellUtils_win.cpp).
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// ---- Value paths and quoting ----------------------------------------------------------

// Splits "key path\value name" at its last '\' or ':' into (key path, value name). The key
// path loses one trailing and then one leading backslash; a path without either separator
// is all value name (empty key path). An empty value name addresses the key's default value.
std::pair<std::string, std::string> SplitValuePath(std::string_view valuePath);

// q + s with every q doubled + q.
std::string QuoteString(std::string_view s, char q);

// The content of a quoted s (up to the next single q, doubled q reduced to one, to the end
// when unclosed); s itself when s does not begin with q or the content is empty.
std::string UnquoteString(std::string_view s, char q);

// ---- Associated programs ----------------------------------------------------------------

// ".ext" from "ext" (an extension that contains no '.' gets one in front).
std::string NormalizeExtension(std::string_view extension);

// The extension of a file name from its last '.', e.g. ".txt"; empty when the last path
// element has no '.' (a dot in a folder name does not count).
std::string ExtractFileExt932(std::string_view fileName);

// The program path of a registered "open" command, quoted, without "%1" and "'". A command
// that begins with a quote gives its quoted part (a lone quote: the text without its switches
// " -", " /" and quotes). An unquoted one is resolved as CreateProcess would: the shortest
// part of the text before its first quote or switch that ends in ".exe" at a blank (or at
// that text's end) and for which isFile is true, else its first blank-separated token. An
// empty command stays empty.
std::string CleanAssociatedCommand(std::string_view registeredCommand,
                                   const std::function<bool(std::string_view)>& isFile);

// ---- Special folders ----------------------------------------------------------------------

// The special folders the installer knows, in the order of their stored indices 0..56.
// Index 0 is the desktop directory (CSIDL_DESKTOPDIRECTORY), not the virtual desktop.
enum class TSpecialFolder : std::uint8_t {
    Desktop, // 0
    Internet,
    Programs,
    Controls, // 3
    Printers,
    Personal,
    Favorites,
    Startup,
    Recent,
    SendTo,
    BitBucket,
    StartMenu,
    MyDocuments,
    MyMusic,
    MyVideo,
    DesktopDirectory,
    Drives,
    Network,
    NetHood,
    Fonts, // 19
    Templates,
    CommonStartMenu,
    CommonPrograms,
    CommonStartup,
    CommonDesktopDirectory,
    AppData,
    PrintHood,
    LocalAppData,
    AltStartup,
    CommonAltStartup,
    CommonFavorites,
    InternetCache,
    Cookies,
    History,
    CommonAppData,
    Windows, // 35
    System,
    ProgramFiles, // 37
    MyPictures,
    Profile,
    SystemX86,
    ProgramFilesX86,
    ProgramFilesCommon,
    ProgramFilesCommonX86,
    CommonTemplates,
    CommonDocuments,
    CommonAdminTools,
    AdminTools,
    Connections,
    CommonMusic,
    CommonPictures,
    CommonVideo,
    Resources,
    ResourcesLocalized,
    CommonOemLinks,
    CDBurnArea,
    ComputersNearMe // 56
};
constexpr int kSpecialFolderCount = 57;

// The shell folder identifier (CSIDL) of a special folder.
int SpecialFolderCsidl(TSpecialFolder folder);

// A set of special folders, stored as 8 bytes: bit i of byte i / 8 stands for index i.
class TSpecialFolders {
public:
    TSpecialFolders() = default;
    TSpecialFolders(std::initializer_list<TSpecialFolder> folders) {
        for (TSpecialFolder f : folders) Include(f);
    }
    void Include(TSpecialFolder f) { FBits[Index(f) / 8] |= static_cast<std::uint8_t>(1u << (Index(f) % 8)); }
    bool Contains(TSpecialFolder f) const { return (FBits[Index(f) / 8] >> (Index(f) % 8)) & 1u; }
    const std::array<std::uint8_t, 8>& Bytes() const { return FBits; }

private:
    static unsigned Index(TSpecialFolder f) { return static_cast<unsigned>(f); }
    std::array<std::uint8_t, 8> FBits{};
};
static_assert(sizeof(TSpecialFolders) == 8);

// The folders the installer refuses as destination: control panel, printers, recycle bin,
// network and fonts.
inline TSpecialFolders InstallerExcludedFolders() {
    return {TSpecialFolder::Controls, TSpecialFolder::Printers, TSpecialFolder::BitBucket,
            TSpecialFolder::Network, TSpecialFolder::Fonts};
}

// ---- Folder browsing ----------------------------------------------------------------------

// Browse option bits: bit i of the options byte adds the dialog flag kBrowseOptionFlags[i].
// Bit 1 also roots the tree at My Computer.
enum TBrowseOption : std::uint8_t {
    boReturnOnlyFSDirs = 1 << 0,
    boDontGoBelowDomain = 1 << 1,
    boReturnFSAncestors = 1 << 2,
    boNewDialogStyle = 1 << 3,
    boBrowseIncludeUrls = 1 << 4,
    boBrowseForComputer = 1 << 5,
    boBrowseForPrinter = 1 << 6,
    boBrowseIncludeFiles = 1 << 7,
};
// BIF_RETURNONLYFSDIRS, BIF_DONTGOBELOWDOMAIN, BIF_RETURNFSANCESTORS, BIF_NEWDIALOGSTYLE,
// BIF_BROWSEINCLUDEURLS, BIF_BROWSEFORCOMPUTER, BIF_BROWSEFORPRINTER, BIF_BROWSEINCLUDEFILES.
inline constexpr std::array<unsigned, 8> kBrowseOptionFlags = {0x1,  0x2,    0x8,    0x40,
                                                               0x80, 0x1000, 0x2000, 0x4000};

// The dialog flags for an options byte.
unsigned BrowseFlags(std::uint8_t options);

// What the browse dialog's callback works from.
struct TCallBackData {
    std::uint8_t Options = 0;
    std::string InitialFolder; // selected when the dialog opens; empty for none
    TSpecialFolders Excluded;  // folders that may not be chosen
};

#ifdef _WIN32
#include <windows.h>

#include <shlobj.h>

// ---- Registry (Root is a predefined key such as HKEY_CLASSES_ROOT) ------------------------

// The default value of a key as text, trimmed; empty when the key or value cannot be read.
// Values of any length are read whole.
std::string ReadRegistryDefault(HKEY root, std::string_view keyPath);
// A named value ("key path\value name") as text, trimmed; empty when it cannot be read.
std::string ReadRegistryString(HKEY root, std::string_view valuePath);
// Writes a REG_SZ value, creating the key and its parents; false when it could not be
// written, with the registry's own code in *status when given.
bool WriteRegistryString(HKEY root, std::string_view valuePath, std::string_view text,
                         LONG* status = nullptr);
// Writes a REG_DWORD value the same way.
bool WriteRegistryDword(HKEY root, std::string_view valuePath, DWORD number, LONG* status = nullptr);

// ---- Files and environment ----------------------------------------------------------------

bool FileExists932(std::string_view path);
bool DirectoryExists932(std::string_view path);
// Environment references ("%windir%") expanded; empty when the expansion fails.
std::string ExpandEnvironment(std::string_view text);
// The short (8.3) form of path, or path itself when there is none.
std::string GetShortPath(std::string_view path);

// Paths compared and resolved by the system's rules (UTF-16, for the checks that guard the
// programs' changes): the same text as a file system name (ordinal, any case); the full
// path the system makes of a path (empty when it cannot); the long form of a full
// path (a name not there yet kept under the long form of its folder); the system's own
// path of an open file or folder, as a drive or \\server\share path (empty when it cannot
// be had); and two names of one file, as written, in long or in short form.
bool SameFileName(std::wstring_view a, std::wstring_view b);
std::wstring FullPathOf(const std::wstring& path);
std::wstring LongPathOf(const std::wstring& path);
std::wstring FinalPathOf(HANDLE handle);
bool SamePathAnyForm(const std::wstring& a, const std::wstring& b);

// ---- Shell ----------------------------------------------------------------------------------

// File-system path of a shell item, trimmed, without / with a trailing backslash; empty
// when the list is null or the item has no file-system path.
std::string PidlToPath(PCIDLIST_ABSOLUTE itemIdList);
std::string PidlToFolder(PCIDLIST_ABSOLUTE itemIdList);

// The folder's path with a trailing backslash, or empty. The Windows directory falls back
// on %windir%, Program Files on the registry's ProgramFilesDir.
std::string GetSpecialFolderPath(TSpecialFolder folder, HWND owner = nullptr);
// The path used when the shell knows no folder (without a trailing backslash); empty for
// the folders that have no fallback.
std::string GetSpecialFolderFallback(TSpecialFolder folder);

// The browse dialog's callback; data points to a TCallBackData. Always returns 0.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM param, LPARAM data);

// Shows the folder browser. folder (in/out) is the initial selection (dropped when it is
// not an existing directory) and, on true, the chosen folder without a trailing backslash.
bool BrowseForFolder(std::string_view title, std::uint8_t options, const TSpecialFolders& excluded,
                     std::string& folder, HWND owner = nullptr);

// The machine's classes under HKEY_LOCAL_MACHINE (the associations every user shares).
inline constexpr char kMachineClasses[] = "Software\\Classes\\";

// The quoted program registered machine-wide (kMachineClasses, never the user's own
// classes) to open files with extension (".txt" or "txt"); empty when nothing is
// registered.
std::string GetAssociatedCommand(std::string_view extension);

// text with its %variables% replaced by the values the system defines (SystemRoot,
// windir, SystemDrive, and the ProgramFiles and CommonProgramFiles folders from HKLM), never
// by this process's environment, which the user may change; empty when text names any
// other variable or a '%' stays unpaired. For commands that are started elevated.
std::string ExpandSystemVariables(std::string_view text);

// Starts a command line (code page 932) with SW_SHOW and does not wait for the program;
// true when the process was created.
bool StartCommandLine(std::string_view commandLine);

// Starts the program associated with extension (taken from fileName when empty) on
// fileName, its variables expanded by ExpandSystemVariables; true when the program was
// started.
bool OpenWithAssociatedProgram(std::string_view fileName, std::string_view extension = {});

// CleanAssociatedCommand with the file system's answer: an existing file after expanding
// environment references.
std::string CleanAssociatedCommand(std::string_view registeredCommand);

// ---- COM ------------------------------------------------------------------------------------

// COM initialised on the current thread for the object's life (the installer's own calls
// initialise it on demand, see uSysApi.h).
class TComInit {
public:
    TComInit();
    ~TComInit();
    TComInit(const TComInit&) = delete;
    TComInit& operator=(const TComInit&) = delete;

private:
    bool FInitialized;
};
#endif
