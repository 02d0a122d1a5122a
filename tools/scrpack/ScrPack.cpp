#include "ScrPack.h"

#include "app/uDigest.h"
#include "app/uInstall.h"
#include "app/uOutcomes.h"
#include "components/uFileEmbedder.h"
#include "platform/uPeImage.h"
#include "app/uStartup.h"
#include "store/uText.h"
#include "store/uErrors.h"
#include "platform/uSha256.h"
#include "store/uExeAdder.h"
#include "store/uHexText.h"
#include "store/uImageBinding.h"
#include "store/uLittleEndian.h"
#include "store/uPayloadFormat.h"
#include "store/uStreams.h"
#include "toolkit/uBitmap.h"
#include "toolkit/uClasses.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Help ----

const char* const kMainHelp =
    "usage: scrpack VERB [options]\n"
    "\n"
    "Builds screensaver installers (a stub program followed by one item container) and\n"
    "inspects them.\n"
    "\n"
    "verbs:\n"
    "  build    copy a stub and append the installer's items\n"
    "  list     list the items of the container at the end of a file\n"
    "  extract  write the data of one item\n"
    "  append   append one more container to a file\n"
    "  verify   check the payload digest as the installer does\n"
    "  winget   write the Windows Package Manager manifest of an installer\n"
    "\n"
    "\"scrpack VERB --help\" describes each verb. Every argument, a file name too, is\n"
    "UTF-8 text. Exit codes: 0 success, 1 digest check failed (verify), 2 usage, input or\n"
    "I/O error.\n";

const char* const kBuildHelp =
    "usage: scrpack build --stub STUB --scr FILE --name NAME -o OUT [options]\n"
    "\n"
    "Copies STUB to OUT and appends one item container with the screensaver and the\n"
    "installer's settings. OUT is written under a temporary name and renamed at the end,\n"
    "so a failed build leaves no OUT behind.\n"
    "\n"
    "  --stub STUB            the installer program (a Windows program, \"MZ\"; not\n"
    "                         signed: sign the finished installer instead)\n"
    "  --scr FILE             the screensaver (item \"SCR\", compressed, written last)\n"
    "  --name NAME            base name of the installed files (item \"SCRName\"); no\n"
    "                         \\ / : * ? \" < > |, control characters, trailing dot or\n"
    "                         space, nor a device name such as CON; not \".\" or \"..\";\n"
    "                         at most 200 bytes in code page 932\n"
    "  -o OUT                 the installer to write\n"
    "  --title T              window caption (item \"InstallerTitle\")\n"
    "  --eula FILE            licence text (item \"InstallerEULA\"); line breaks become\n"
    "                         CR LF\n"
    "  --readme FILE          ReadMe, carried byte for byte (item \"InstallerReadme\")\n"
    "  --flash-version V      minimum player version, such as 9.0.124.0\n"
    "  --left-image BMP       picture of the welcome, finish and failure pages\n"
    "  --top-image BMP        icon in the header of the licence and options pages\n"
    "  --force-set            always make the screensaver the current one\n"
    "  --no-version-check     let a player of any version pass\n"
    "  --no-player            the screensaver does not need the player: no player check\n"
    "                         at start (item \"InstallerNeedsPlayer\" = 0)\n"
    "  --version V            version shown in the list of installed programs (item\n"
    "                         \"InstallerVersion\"; default: the screensaver's own)\n"
    "  --publisher P          publisher shown there (item \"InstallerPublisher\";\n"
    "                         default: the company of the screensaver's version record)\n"
    "  --guid G               installation GUID {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX};\n"
    "                         a fresh random one when not given (announced on\n"
    "                         standard error: pin it for the next build)\n"
    "  --digest-length N      bytes of the screensaver the digest covers (default: all)\n"
    "  --text-encoding E      encoding of the --eula file: utf-8 (default) or cp932\n"
    "  --sign-uninstaller C   sign the uninstaller now: the uninstaller the stub carries,\n"
    "                         with this build's \"GUID\" container appended, is written to\n"
    "                         a file {in}; the command C is run (by the shell: /bin/sh,\n"
    "                         cmd.exe on Windows) with {in} and {out} replaced by quoted\n"
    "                         file names and must write the signed program to {out} (on\n"
    "                         Windows OUT may not hold % ! ^ & | < >, which cmd.exe reads\n"
    "                         inside quotes or after them). It travels as the item\n"
    "                         \"InstallerSignedUninstaller\", which the installer writes as\n"
    "                         it is. A command that fails, or a result without the\n"
    "                         container in front of a certificate table, fails the build.\n"
    "                         Example:\n"
    "                         osslsigncode sign -certs c.pem -key k.pem -in {in} -out {out}\n"
    "\n"
    "Windows 11 Smart App Control blocks unsigned programs it does not know, installed\n"
    "ones too: a screensaver without an Authenticode signature, and an uninstaller not\n"
    "signed with --sign-uninstaller, are each named in a warning on standard error (the\n"
    "build still succeeds).\n"
    "\n"
    "The same inputs with the same --guid give the same bytes: the container's key is\n"
    "derived from its items (a signature made by --sign-uninstaller usually carries its\n"
    "own signing time).\n"
    "\n"
    "NAME, T, V, P and the licence are converted from UTF-8 to code page 932; a\n"
    "character that code page lacks is an error. Items are written in this order:\n"
    "SCRName, InstallerTitle, GUID, FlashVersion, InstallerEULA, InstallerReadme,\n"
    "InstallerLeftImage, InstallerTopImage, InstallerForceSet, InstallerVerCheck,\n"
    "InstallerNeedsPlayer, InstallerVersion, InstallerPublisher, mxl, mxf,\n"
    "InstallerSignedUninstaller, SCR (optional items only when given).\n";

const char* const kListHelp =
    "usage: scrpack list FILE [--json]\n"
    "\n"
    "Lists the items of the container at the end of FILE in order: name (as UTF-8),\n"
    "compressed or stored, size in bytes (uncompressed). With --json: one JSON array of\n"
    "objects {\"name\", \"compressed\", \"size\"}. A file without a container lists nothing.\n";

const char* const kExtractHelp =
    "usage: scrpack extract FILE NAME [-o OUT]\n"
    "\n"
    "Writes the data of the last item named NAME (UTF-8, matched as code page 932) to\n"
    "OUT, or to standard output when no -o is given.\n";

const char* const kAppendHelp =
    "usage: scrpack append FILE NAME=TEXT | NAME=@PATH ... [--stored]\n"
    "\n"
    "Appends one container holding the given items to the existing FILE; the new\n"
    "container hides any older one. NAME=TEXT stores TEXT converted from UTF-8 to code\n"
    "page 932; NAME=@PATH stores the bytes of the file PATH as they are. Items are\n"
    "compressed unless --stored is given. FILE is replaced in one step. A signed FILE\n"
    "is refused: sign the finished installer instead. An \"SCR\" or\n"
    "\"InstallerSignedUninstaller\" item without an Authenticode signature is named in a\n"
    "warning on standard error, as build does.\n";

const char* const kVerifyHelp =
    "usage: scrpack verify FILE\n"
    "\n"
    "Loads the settings from the container at the end of FILE as the installer does and\n"
    "runs its integrity check: the digest of the first \"mxl\" bytes of the \"SCR\" data\n"
    "must equal \"mxf\" exactly, \"SCRName\" must be a name --name accepts, and when\n"
    "the program carries a binding field, the container must be the one bound to it\n"
    "(build and append write the container's SHA-256 there). Exit 0 when all hold, 1\n"
    "when not, 2 on errors.\n"
    "\n"
    "Also tells whether FILE carries an Authenticode signature, and whether the two\n"
    "programs it installs do: the screensaver (\"SCR\") and the uninstaller\n"
    "(\"InstallerSignedUninstaller\", else the stub's own, never signed). A signature\n"
    "is not checked (neither its hash nor its certificate chain): use osslsigncode\n"
    "verify or signtool verify. A valid signature covers every byte of the installer;\n"
    "the digest covers only the screensaver.\n";

const char* const kWingetHelp =
    "usage: scrpack winget INSTALLER --id ID --url URL --license L --description D\n"
    "                      [--moniker M] -o DIR\n"
    "\n"
    "Writes the three files of a multi-file Windows Package Manager manifest (version\n"
    "1.10.0) for INSTALLER into DIR: ID.yaml, ID.installer.yaml, ID.locale.ja-JP.yaml.\n"
    "\n"
    "  --id ID            package identifier, Publisher.Package\n"
    "  --url URL          where INSTALLER will be downloaded from (http or https)\n"
    "  --license L        the licence, such as Freeware or Proprietary\n"
    "  --description D    a short description (3 to 256 characters)\n"
    "  --moniker M        the package's short name\n"
    "  -o DIR             the folder to write to (made when missing)\n"
    "\n"
    "Taken from INSTALLER: its SHA-256, its architecture, the version, publisher and\n"
    "name it registers in the list of installed programs (\"InstallerVersion\", else\n"
    "the screensaver's version record; the entry's name is the uninstall key), its\n"
    "switches (/S, /D=, /LOG=) and every exit code of an unattended run. One installer\n"
    "entry per install scope: machine (/ALLUSERS; it elevates itself) and user\n"
    "(/CURRENTUSER; no elevation). Sign INSTALLER before: the hash is of the file as\n"
    "it will be downloaded. A value the schema forbids (too long, wrong form) is an\n"
    "error, and nothing is written.\n";

// ---- Errors ----

// A command line the verb cannot use: reported with a pointer to the verb's help.
class TUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Input that is there but unusable (not a bitmap, a character without cp932 form, ...).
class TInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Messages of the store's errors are code page 932 on Windows (file names).
std::string ErrorText(const std::exception& e) {
#ifdef _WIN32
    std::string utf8;
    if (dynamic_cast<const Exception*>(&e) && Cp932ToUtf8(e.what(), utf8)) return utf8;
#endif
    return e.what();
}

// ---- Text ----

fs::path PathArg(const std::string& utf8) {
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

// Decodes one UTF-8 sequence at i; returns its length, 0 when it is malformed.
std::size_t DecodeUtf8(const std::string& s, std::size_t i, std::uint32_t& cp) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t n = b < 0x80             ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3Fu);
    }
    static constexpr std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// Offset of the first malformed UTF-8 sequence, or npos.
std::size_t InvalidUtf8At(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp;
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0) return i;
        i += n;
    }
    return std::string::npos;
}

std::string CodePointText(const std::string& utf8Char) {
    std::uint32_t cp = 0;
    if (utf8Char.empty() || DecodeUtf8(utf8Char, 0, cp) == 0) return "";
    char buf[16];
    std::snprintf(buf, sizeof buf, " (U+%04X)", static_cast<unsigned>(cp));
    return buf;
}

// UTF-8 to code page 932, or an error that names the first character the code page lacks.
std::string ToCp932(const std::string& utf8, const std::string& what) {
    const std::size_t bad = InvalidUtf8At(utf8);
    if (bad != std::string::npos)
        throw TInputError(what + " is not valid UTF-8 (byte " + std::to_string(bad) + ")");
    std::string out, badChar;
    if (!Utf8ToCp932(utf8, out, &badChar))
        throw TInputError(what + ": the character \"" + badChar + "\"" + CodePointText(badChar) +
                          " has no code page 932 form");
    return out;
}

// Code page 932 as UTF-8 when it converts, otherwise with \xNN escapes for every byte
// that is not printable ASCII. It escapes nothing else: JsonString and Shown do.
std::string AsUtf8(const std::string& cp932) {
    std::string utf8;
    if (Cp932ToUtf8(cp932, utf8) && InvalidUtf8At(utf8) == std::string::npos) return utf8;
    std::string out;
    for (char c : cp932) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b >= 0x20 && b < 0x7F) {
            out.push_back(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out;
}

// Characters a terminal acts on instead of showing them: C0 controls (line breaks too), DEL,
// C1 controls, the line and paragraph separators, and the bidirectional overrides and
// isolates, which reorder the text after them.
bool ActsOnTerminal(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// Text from outside (an argument, a file name, payload text through AsUtf8) as it may reach
// the terminal: every character ActsOnTerminal names made visible (C0 and DEL as \xNN, the
// others as \uNNNN), and every byte that is not UTF-8 as \xNN, so that no value can move
// the cursor, erase or forge a line, or reorder what is shown.
std::string Shown(const std::string& utf8) {
    std::string out;
    char buf[12];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0 || cp < 0x20 || cp == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<std::uint8_t>(utf8[i]));
            out += buf;
            n = 1;
        } else if (ActsOnTerminal(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out;
}

// A JSON string; what ActsOnTerminal names is escaped too, so the listing stays inert on a
// terminal and reads back the same.
std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    char buf[8];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) { // not reached: AsUtf8 gives UTF-8
            out += "\\ufffd";
            n = 1;
        } else if (cp == '"' || cp == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(cp));
        } else if (ActsOnTerminal(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out + "\"";
}

// Bare LF and bare CR become CR LF, as a multi-line edit control needs. CR and LF are
// never the second byte of a code page 932 character, so this is safe on cp932 bytes.
std::string CrLf(const std::string& s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// ---- Input checks ----

// The installer's own rules for the name of the installed files (code page 932): a name it
// would refuse as invalid data is refused here. what names the option or item.
void CheckScreenSaverName(const std::string& name, const std::string& what) {
    const TNameCheck check = ::CheckScreenSaverName(name);
    switch (check.Fault) {
    case TNameFault::None:
        return;
    case TNameFault::Empty:
        throw TUsageError(what + " is empty");
    case TNameFault::TooLong:
        throw TUsageError(what + " is longer than " + std::to_string(kMaxScreenSaverName) + " bytes");
    case TNameFault::BadByte:
        throw TUsageError(what + " is not code page 932 text");
    case TNameFault::ControlChar:
        throw TUsageError(what + " contains a control character, which a file name cannot hold");
    case TNameFault::ForbiddenChar:
        throw TUsageError(what + " contains \"" + check.Char + "\", which a file name cannot hold");
    case TNameFault::DotName:
        throw TUsageError(what + " is \".\" or \"..\"");
    case TNameFault::TrailingDotOrSpace:
        throw TUsageError(what + " ends with a dot or a space");
    case TNameFault::DeviceName:
        throw TUsageError(what + " \"" + AsUtf8(name) + "\" is a device name");
    }
}

bool IsGuidText(const std::string& g) {
    if (g.size() != 38 || g.front() != '{' || g.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? g[i] != '-' : !std::isxdigit(static_cast<unsigned char>(g[i]))) return false;
    }
    return true;
}

// A random (version 4) GUID in registry form.
std::string NewGuid() {
    std::random_device rd;
    std::array<std::uint8_t, 16> b;
    for (auto& x : b) x = static_cast<std::uint8_t>(rd());
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return buf;
}

bool IsVersionText(const std::string& v) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t digits = 0;
        while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) ++i, ++digits;
        if (digits == 0 || digits > 9) return false;
        ++parts;
        if (i == v.size()) return parts <= 4;
        if (v[i] != '.') return false;
        ++i;
    }
}

std::uint32_t ParseUInt32(const std::string& s, const std::string& what) {
    if (s.empty() || s.size() > 10 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw TUsageError(what + " must be a decimal number from 0 to 4294967295");
    const unsigned long long v = std::stoull(s);
    if (v > 0xFFFFFFFFull) throw TUsageError(what + " must be a decimal number from 0 to 4294967295");
    return static_cast<std::uint32_t>(v);
}

// A picture for the installer's pages: read here with the installer's own bitmap reader,
// so that a picture it would not show (and silently replace by its designed one) is
// refused now, saying what to convert it to.
void CheckBitmap(const Bytes& d, const std::string& option) {
    try {
        TMemoryStream stream(d);
        TBitmap bitmap;
        bitmap.LoadFromStream(stream);
    } catch (const Exception& e) {
        throw TInputError(option + " is no picture the installer can show (" + AsUtf8(e.what()) +
                          "); save it as an uncompressed Windows BMP with a BITMAPINFOHEADER "
                          "(1, 4, 8, 16, 24 or 32 bits per pixel), for example with ImageMagick: "
                          "convert IN -compress none BMP3:OUT.bmp");
    }
}

Bytes ReadInput(const std::string& utf8Path, const std::string& option) {
    const fs::path p = PathArg(utf8Path);
    std::error_code ec;
    if (!fs::is_regular_file(p, ec))
        throw TInputError(option + ": \"" + utf8Path + "\" is not a readable file");
    return ReadWholeFile(p);
}

// ---- Output files ----

// ---- Command-line parsing ----

struct TArgs {
    std::map<std::string, std::string> Values;
    std::set<std::string> Flags;
    std::vector<std::string> Positional;
    bool Help = false;

    std::optional<std::string> Get(const std::string& name) const {
        auto it = Values.find(name);
        if (it == Values.end()) return std::nullopt;
        return it->second;
    }
    std::string Required(const std::string& name) const {
        auto v = Get(name);
        if (!v) throw TUsageError("missing " + name);
        return *v;
    }
};

// Every argument is UTF-8 text, checked here before a verb reads or writes anything: a
// value that is not would be taken apart character by character further on.
void CheckUtf8Argument(const std::string& value, const std::string& what) {
    const std::size_t bad = InvalidUtf8At(value);
    if (bad != std::string::npos)
        throw TUsageError(what + " is not valid UTF-8 (byte " + std::to_string(bad) + ")");
}

TArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                const std::set<std::string>& flagOptions) {
    TArgs r;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            CheckUtf8Argument(a, "argument \"" + a + "\"");
            r.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            r.Help = true;
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (const std::size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (valueOptions.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw TUsageError(name + " needs a value");
                value = args[++i];
            }
            if (r.Values.count(name)) throw TUsageError(name + " is given twice");
            CheckUtf8Argument(value, name);
            r.Values[name] = value;
        } else if (flagOptions.count(name) && !inlineValue) {
            r.Flags.insert(name);
        } else {
            throw TUsageError("unknown option " + a);
        }
    }
    return r;
}

void ExpectPositional(const TArgs& a, std::size_t count, const char* what) {
    if (a.Positional.size() < count) throw TUsageError(std::string("missing ") + what);
    if (a.Positional.size() > count) throw TUsageError("unexpected argument \"" + a.Positional[count] + "\"");
}

TItemTypes ReadContainer(const std::string& utf8Path) {
    const fs::path p = PathArg(utf8Path);
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) throw TInputError("\"" + utf8Path + "\" is not a readable file");
    TItemTypes items;
    ReadItems(p, items);
    return items;
}

// Signing must come last: a container appended after the certificate table breaks the
// signature and is not found before the table.
void RefuseSigned(const itemlayout::TCertificateTable& table, const std::string& what) {
    if (table.Size > 0)
        throw TInputError(what + " is signed (certificate table " + std::to_string(table.Size) +
                          " bytes): appending after a signature breaks it and hides the container; sign the "
                          "finished installer instead");
}

// The certificate table of a program held in memory, found by the one rule every verb and the
// installer use (FindCertificateTable): Size 0 when the program carries no Authenticode signature.
itemlayout::TCertificateTable SignatureOf(const Bytes& program) {
    return itemlayout::LocateContainerInMemory(program.data(), program.size()).Signature;
}

// What verify says of a program's signature.
std::string SignatureText(const itemlayout::TCertificateTable& table) {
    return table.Size > 0 ? "present (certificate table " + std::to_string(table.Size) + " bytes)" : "none";
}

// Smart App Control (Windows 11) blocks an unsigned program it does not know, installed or not:
// one line on standard error for each unsigned program a verb packs; the result stays a success.
void WarnUnsigned(std::ostream& err, const char* verb, const std::string& program, const char* remedy) {
    err << "scrpack " << verb << ": warning: " << program
        << " carries no Authenticode signature; Windows 11 Smart App Control blocks unsigned programs it "
           "does not know: "
        << remedy << "\n";
}

// Writes the SHA-256 of container into the binding field of the program in the first
// imageLimit bytes of file, so that the installer refuses any other container. Returns
// what was done, for the output. A program without the field (not our installer) stays
// as it is; one with the tag twice cannot be bound with certainty and is refused.
std::string BindContainer(Bytes& file, std::size_t imageLimit, const TContainerBytes& container, const std::string& what) {
    const std::size_t end = imagebinding::ImageEnd(file.data(), imageLimit);
    static constexpr std::uint8_t kTag[] = {SCR_BINDING_TAG_BYTES};
    const auto tagAt = std::search(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end),
                                   std::begin(kTag), std::end(kTag));
    const std::size_t field = imagebinding::FindHashField(file.data(), end);
    if (field == imagebinding::npos) {
        if (tagAt != file.begin() + static_cast<std::ptrdiff_t>(end))
            throw TInputError(what + " carries the binding tag more than once: the container cannot be bound to it");
        return "not bound (the program has no binding field)";
    }
    const TSha256 hash = Sha256(container.data(), container.size());
    std::copy(hash.begin(), hash.end(), file.begin() + static_cast<std::ptrdiff_t>(field));
    return "bound to the program image";
}

// ---- The signed uninstaller ----

// The resource holding the installer's main window definition (its class name in capitals).
constexpr char kMainWindowResource[] = "TFRMMAIN";

// The uninstaller the stub carries: the data of the file embedder in its main window's
// stored definition, as the installer itself loads it.
Bytes StubUninstaller(const Bytes& stub, const std::string& what) {
    const auto definition =
        peimage::ResourceData(stub.data(), stub.size(), peimage::kResourceData, kMainWindowResource);
    if (!definition)
        throw TInputError(what + " carries no main window definition (resource " + kMainWindowResource +
                          "): it is not the installer's stub");
    Bytes uninstaller;
    try {
        uninstaller = EmbeddedFileOf(definition->Data, definition->Size);
    } catch (const Exception& e) {
        throw TInputError(what + ": its main window definition or the uninstaller in it is damaged (" +
                          AsUtf8(e.what()) + ")");
    }
    if (uninstaller.empty()) throw TInputError(what + " carries no uninstaller in its main window definition");
    return uninstaller;
}

// The publisher's command with every {in} and {out} replaced, in one pass over the command:
// the names put in are never read again, so nothing in a path can act as a placeholder.
// (UTF-8: no byte of a character can match ASCII.)
std::string CommandFor(const std::string& command, const std::string& in, const std::string& out) {
    std::string line;
    for (std::size_t i = 0; i < command.size();) {
        if (command.compare(i, 4, "{in}") == 0) {
            line += in;
            i += 4;
        } else if (command.compare(i, 5, "{out}") == 0) {
            line += out;
            i += 5;
        } else {
            line += command[i++];
        }
    }
    return line;
}

std::string Utf8Path(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

// cmd.exe expands %NAME% (and !NAME!) inside quotes too, and a quote, ^ & | < > or a line
// break ends the quoting or the command: the signing folder beside an output path holding
// any of them is refused before anything is made. /bin/sh takes any path single-quoted.
void CheckShellSafeOutput(const std::string& outPath) {
#ifdef _WIN32
    const auto bad = std::find_if(outPath.begin(), outPath.end(), [](char c) {
        return static_cast<std::uint8_t>(c) < 0x20 || std::strchr("\"%!^&|<>", c) != nullptr;
    });
    if (bad != outPath.end())
        throw TUsageError("-o \"" + outPath + "\" holds " +
                          (static_cast<std::uint8_t>(*bad) < 0x20 ? std::string("a control character")
                                                                  : "\"" + std::string(1, *bad) + "\"") +
                          ", which cmd.exe would read in the --sign-uninstaller command: choose another name");
#else
    (void)outPath;
#endif
}

// A file name for the shell that runs the signing command (a Windows one checked by
// CheckShellSafeOutput).
std::string ShellQuoted(const fs::path& p) {
    const std::string path = Utf8Path(p);
#ifdef _WIN32
    return "\"" + path + "\"";
#else
    std::string out = "'";
    for (char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

// Runs command through the shell, its output sent to standard error (standard output
// carries scrpack's own result); true when it ran and exited with 0.
bool RunShellCommand(const std::string& line) {
    const std::string command = "(" + line + ") >&2";
#ifdef _WIN32
    // cmd.exe /c takes off the first and the last quote of the line: the outer pair.
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(wide.size() - 1);
    return _wsystem((L"\"" + wide + L"\"").c_str()) == 0;
#else
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// A folder of its own beside the output for the signing command's two files, removed
// with everything in it whatever happens.
class TSigningFolder {
public:
    explicit TSigningFolder(const fs::path& output) {
        std::random_device random;
        // Absolute: a file name the signing command gets never starts with "-", which the
        // signing tool would take for an option.
        std::error_code absoluteError;
        const fs::path parent =
            fs::absolute(output.has_parent_path() ? output.parent_path() : fs::path("."), absoluteError);
        for (int attempt = 0; attempt < 16 && FPath.empty(); ++attempt) {
            // Built as a path, not through narrow text: the output's name may be Japanese.
            fs::path name(".");
            name += output.filename();
            name += ".sign-" + std::to_string(random());
            const fs::path candidate = parent / name;
            std::error_code ec;
            if (fs::create_directory(candidate, ec)) FPath = candidate;
        }
        if (FPath.empty()) throw TInputError("no folder for signing the uninstaller can be made beside the output");
    }
    ~TSigningFolder() {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    TSigningFolder(const TSigningFolder&) = delete;
    TSigningFolder& operator=(const TSigningFolder&) = delete;
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

// Has the publisher's command sign the uninstaller with its container; returns the
// signed program, checked to carry exactly that container in front of a certificate table.
Bytes SignUninstaller(const Bytes& uninstaller, const TContainerBytes& container, const std::string& command,
                      const fs::path& output) {
    const TSigningFolder folder(output);
    const fs::path in = folder.Path() / "uninst.exe", out = folder.Path() / "uninst-signed.exe";
    Bytes unsignedFile = uninstaller;
    unsignedFile.insert(unsignedFile.end(), container.begin(), container.end());
    WriteFileAtomically(in, unsignedFile.data(), unsignedFile.size());
    const std::string line = CommandFor(command, ShellQuoted(in), ShellQuoted(out));
    if (!RunShellCommand(line)) throw TInputError("--sign-uninstaller: the command failed: " + line);
    std::error_code ec;
    if (!fs::is_regular_file(out, ec)) throw TInputError("--sign-uninstaller: the command wrote no {out}: " + line);
    Bytes signedFile = ReadWholeFile(out);
    const itemlayout::TContainerPlace place = itemlayout::LocateContainerInMemory(signedFile.data(), signedFile.size());
    const bool carried = place.Place == itemlayout::TPlace::Found && place.Signature.Size > 0 &&
                         static_cast<std::size_t>(place.BlockLength + kContainerTailSize) == container.size() &&
                         std::equal(container.begin(), container.end(),
                                    signedFile.begin() + static_cast<std::ptrdiff_t>(place.BlockStart));
    if (!carried)
        throw TInputError("--sign-uninstaller: {out} does not carry the uninstaller's container in front of a "
                          "certificate table; the command must add an Authenticode signature to {in} and "
                          "nothing else");
    return signedFile;
}

// ---- The package manager's manifest ----

// Characters (code points) of UTF-8 text, as the schema counts them.
std::size_t Characters(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<std::uint8_t>(c) & 0xC0) != 0x80; }));
}

void CheckLength(const std::string& utf8, std::size_t min, std::size_t max, const std::string& what) {
    if (InvalidUtf8At(utf8) != std::string::npos) throw TInputError(what + " is not valid UTF-8");
    const std::size_t n = Characters(utf8);
    if (n < min || n > max)
        throw TInputError(what + " must have " + std::to_string(min) + " to " + std::to_string(max) +
                          " characters, not " + std::to_string(n) + " (\"" + utf8 + "\")");
}

// No \ / : * ? " < > | and no control character: the schema's pattern of versions.
bool HasForbiddenVersionChar(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        return static_cast<std::uint8_t>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
    });
}

// Publisher.Package: 2 to 8 parts of 1 to 32 characters, none a dot, a blank or one of the
// version's forbidden characters.
void CheckPackageIdentifier(const std::string& id) {
    CheckLength(id, 1, 128, "--id");
    std::size_t parts = 0;
    for (std::size_t start = 0;;) {
        const std::size_t dot = id.find('.', start);
        const std::string part = id.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const bool blank = std::any_of(part.begin(), part.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        if (part.empty() || Characters(part) > 32 || blank || HasForbiddenVersionChar(part))
            throw TUsageError("--id must be Publisher.Package: 2 to 8 parts separated by dots, each 1 to 32 "
                              "characters without blanks or \\ / : * ? \" < > |");
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts < 2 || parts > 8) throw TUsageError("--id must be Publisher.Package: 2 to 8 parts separated by dots");
}

bool IsHttpUrl(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos || url.size() <= colon + 3) return false;
    std::string scheme = url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return (scheme == "http" || scheme == "https") &&
           url.find_first_of("\r\n", colon) == std::string::npos;
}

// Characters YAML 1.2 lets stand in a document as they are (its printable set), less the
// line breaks and tab, C1 controls (NEL too), the line and paragraph separators and the byte
// order mark, which readers may take for breaks or marks. Everything outside is in the BMP.
bool YamlTakesAsItIs(std::uint32_t cp) {
    return (cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xD7FF && cp != 0x2028 && cp != 0x2029) ||
           (cp >= 0xE000 && cp <= 0xFFFD && cp != 0xFEFF) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// A double-quoted YAML scalar: \ and " escaped, and every other character YamlTakesAsItIs
// refuses written as a \u escape, which a double-quoted scalar takes for any character.
std::string YamlQuoted(const std::string& utf8) {
    std::string out = "\"";
    char buf[12];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) throw TInputError("a manifest value is not valid UTF-8");
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (!YamlTakesAsItIs(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string Utf8Of(const std::string& cp932, const std::string& what) {
    std::string utf8;
    if (!Cp932ToUtf8(cp932, utf8)) throw TInputError(what + " is not code page 932 text");
    return utf8;
}

std::string ArchitectureOf(const Bytes& installer, const std::string& what) {
    const std::optional<std::uint16_t> machine = peimage::Machine(installer.data(), installer.size());
    if (!machine) throw TInputError(what + " is not a Windows program");
    switch (*machine) {
    case peimage::kMachineI386:
        return "x86";
    case peimage::kMachineAmd64:
        return "x64";
    case peimage::kMachineArm64:
        return "arm64";
    }
    throw TInputError(what + " is built for a machine the package manager does not know (" +
                      std::to_string(*machine) + ")");
}

// ---- Verbs ----

int Build(const TArgs& a, std::ostream& out, std::ostream& err) {
    if (!a.Positional.empty()) throw TUsageError("unexpected argument \"" + a.Positional[0] + "\"");
    const std::string stubPath = a.Required("--stub"), scrPath = a.Required("--scr");
    const std::string nameUtf8 = a.Required("--name"), outPath = a.Required("-o");
    if (outPath.empty()) throw TUsageError("-o is empty");

    // Everything is checked and read before OUT is touched.
    const std::string name = ToCp932(nameUtf8, "--name");
    CheckScreenSaverName(name, "--name");
    std::optional<std::string> title;
    if (auto t = a.Get("--title")) {
        if (t->empty()) throw TUsageError("--title is empty");
        title = ToCp932(*t, "--title");
    }
    const std::optional<std::string> givenGuid = a.Get("--guid");
    if (givenGuid && !IsGuidText(*givenGuid))
        throw TUsageError("--guid must look like {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    const std::string guid = givenGuid.value_or(NewGuid());
    const std::optional<std::string> signCommand = a.Get("--sign-uninstaller");
    if (signCommand && (signCommand->find("{in}") == std::string::npos || signCommand->find("{out}") == std::string::npos))
        throw TUsageError("--sign-uninstaller must name the files {in} and {out}");
    if (signCommand) CheckShellSafeOutput(outPath);
    const std::optional<std::string> flashVersion = a.Get("--flash-version");
    if (flashVersion && !IsVersionText(*flashVersion))
        throw TUsageError(
            "--flash-version must be one to four decimal numbers separated by dots, such as 9.0.124.0");
    const std::string encoding = a.Get("--text-encoding").value_or("utf-8");
    if (encoding != "utf-8" && encoding != "cp932")
        throw TUsageError("--text-encoding must be utf-8 or cp932");
    std::optional<std::string> version, publisher;
    if (auto v = a.Get("--version")) {
        if (v->empty()) throw TUsageError("--version is empty");
        version = ToCp932(*v, "--version");
    }
    if (auto p = a.Get("--publisher")) {
        if (p->empty()) throw TUsageError("--publisher is empty");
        publisher = ToCp932(*p, "--publisher");
    }
    std::optional<std::uint32_t> digestLength;
    if (auto n = a.Get("--digest-length")) digestLength = ParseUInt32(*n, "--digest-length");

    Bytes stub = ReadInput(stubPath, "--stub");
    if (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z')
        throw TInputError("--stub: \"" + stubPath + "\" is not a Windows program (no \"MZ\" header)");
    RefuseSigned(SignatureOf(stub), "--stub: \"" + stubPath + "\"");
    Bytes scr = ReadInput(scrPath, "--scr");
    if (scr.empty()) throw TInputError("--scr: \"" + scrPath + "\" is empty");
    if (scr.size() > 0x7FFFFFFFu) throw TInputError("--scr: \"" + scrPath + "\" is too large");
    const bool scrSigned = SignatureOf(scr).Size > 0;

    std::optional<std::string> eula;
    if (auto path = a.Get("--eula")) {
        const Bytes raw = ReadInput(*path, "--eula");
        std::string text(raw.begin(), raw.end());
        if (encoding == "utf-8") {
            if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
            text = ToCp932(text, "--eula \"" + *path + "\"");
        } else {
            std::string check;
            if (!Cp932ToUtf8(text, check))
                throw TInputError("--eula \"" + *path + "\" is not valid code page 932 text");
        }
        eula = CrLf(text);
    }
    std::optional<Bytes> readme, leftImage, topImage;
    if (auto path = a.Get("--readme")) readme = ReadInput(*path, "--readme");
    if (auto path = a.Get("--left-image")) {
        leftImage = ReadInput(*path, "--left-image");
        CheckBitmap(*leftImage, "--left-image \"" + *path + "\"");
    }
    if (auto path = a.Get("--top-image")) {
        topImage = ReadInput(*path, "--top-image");
        CheckBitmap(*topImage, "--top-image \"" + *path + "\"");
    }

    const std::uint32_t mxl = digestLength.value_or(static_cast<std::uint32_t>(scr.size()));
    const std::string mxf = PayloadDigestText(scr.data(), std::min<std::size_t>(mxl, scr.size()));

    TWriteHelper helper;
    helper.AddString(payload::kScrName, name);
    if (title) helper.AddString(payload::kTitle, *title);
    helper.AddString(payload::kGuid, guid);
    if (flashVersion) helper.AddString(payload::kFlashVersion, *flashVersion);
    if (eula) helper.AddString(payload::kEula, *eula);
    if (readme)
        helper.AddData(payload::kReadMe, readme->data(), static_cast<std::int32_t>(readme->size()), true);
    if (leftImage)
        helper.AddData(payload::kLeftImage, leftImage->data(), static_cast<std::int32_t>(leftImage->size()),
                       true);
    if (topImage)
        helper.AddData(payload::kTopImage, topImage->data(), static_cast<std::int32_t>(topImage->size()),
                       true);
    const std::uint8_t forceSet = a.Flags.count("--force-set") ? 1 : 0;
    const std::uint8_t verCheck = a.Flags.count("--no-version-check") ? 0 : 1;
    helper.AddData(payload::kForceSet, &forceSet, 1, false);
    helper.AddData(payload::kVerCheck, &verCheck, 1, false);
    if (a.Flags.count("--no-player")) {
        const std::uint8_t needsPlayer = 0;
        helper.AddData(payload::kNeedsPlayer, &needsPlayer, 1, false);
    }
    if (version) helper.AddString(payload::kVersion, *version);
    if (publisher) helper.AddString(payload::kPublisher, *publisher);
    std::uint8_t mxlBytes[payload::kDigestLengthBytes];
    le::Put(mxlBytes, mxl, sizeof mxlBytes);
    helper.AddData(payload::kDigestLength, mxlBytes, sizeof mxlBytes, false);
    helper.AddString(payload::kDigest, mxf);
    if (signCommand) {
        // The uninstaller's own container is fixed here, as the installer would append it.
        TWriteHelper own;
        own.AddString(payload::kGuid, guid);
        const Bytes uninstaller = StubUninstaller(stub, "--stub: \"" + stubPath + "\"");
        const Bytes signedUninstaller =
            SignUninstaller(uninstaller, own.ContainerBytes(ContainerKeyOf(own.Items())), *signCommand, PathArg(outPath));
        if (signedUninstaller.size() > 0x7FFFFFFFu) throw TInputError("the signed uninstaller is too large");
        helper.AddData(payload::kSignedUninstaller, signedUninstaller.data(),
                       static_cast<std::int32_t>(signedUninstaller.size()), true);
    }
    // Taken over, not copied: a large screensaver is held once as it is and once compressed.
    helper.AddData(payload::kScr, std::move(scr), true);

    // No time, path or random value enters the file: the same inputs give the same bytes.
    const TContainerBytes container = helper.ContainerBytes(ContainerKeyOf(helper.Items()));
    const std::string binding = BindContainer(stub, stub.size(), container, "--stub: \"" + stubPath + "\"");
    TTemporaryFile temp(PathArg(outPath));
    temp.WriteBuffer(stub.data(), stub.size());
    temp.WriteBuffer(container.data(), container.size());
    const auto size = temp.Size();
    temp.Commit();
    out << Shown(outPath) << ": " << helper.Items().size() << " items, " << size << " bytes, GUID " << guid << "; "
        << binding << (signCommand ? "; signed uninstaller" : "") << "\n";
    if (!givenGuid)
        err << "scrpack build: the GUID " << guid << " is new; give --guid " << guid
            << " to every later build of this release, so that rebuilding it gives the same bytes\n";
    if (!scrSigned) WarnUnsigned(err, "build", "the screensaver " + Shown(scrPath), "sign it before packing");
    // Without --sign-uninstaller the installer writes the stub's own uninstaller with a container
    // appended after it, which no signature can cover.
    if (!signCommand)
        WarnUnsigned(err, "build", "the uninstaller (the stub's own)",
                     "sign it while building with --sign-uninstaller");
    return kExitOk;
}

int List(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "FILE");
    const TItemTypes items = ReadContainer(a.Positional[0]);
    if (a.Flags.count("--json")) {
        out << "[";
        for (std::size_t i = 0; i < items.size(); ++i) {
            out << (i ? ",\n " : "") << "{\"name\":" << JsonString(AsUtf8(items[i].Name))
                << ",\"compressed\":" << (items[i].Compressed ? "true" : "false")
                << ",\"size\":" << items[i].Size << "}";
        }
        out << "]\n";
    } else {
        for (const TItemType& item : items)
            out << Shown(AsUtf8(item.Name)) << "\t" << (item.Compressed ? "compressed" : "stored") << "\t"
                << item.Size << "\n";
    }
    return kExitOk;
}

int Extract(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 2, "FILE and NAME");
    const std::string name = ToCp932(a.Positional[1], "NAME");
    const TItemTypes items = ReadContainer(a.Positional[0]);
    const auto it =
        std::find_if(items.rbegin(), items.rend(), [&](const TItemType& i) { return i.Name == name; });
    if (it == items.rend())
        throw TInputError("no item named \"" + a.Positional[1] + "\" in \"" + a.Positional[0] + "\"");
    if (auto o = a.Get("-o")) {
        WriteFileAtomically(PathArg(*o), it->Data.data(), it->Data.size());
    } else {
        out.write(reinterpret_cast<const char*>(it->Data.data()),
                  static_cast<std::streamsize>(it->Data.size()));
        out.flush();
    }
    return kExitOk;
}

int Append(const TArgs& a, std::ostream& out, std::ostream& err) {
    if (a.Positional.empty()) throw TUsageError("missing FILE");
    if (a.Positional.size() < 2) throw TUsageError("missing NAME=TEXT or NAME=@PATH");
    const std::string& filePath = a.Positional[0];
    const bool compressed = !a.Flags.count("--stored");
    TWriteHelper helper;
    for (std::size_t i = 1; i < a.Positional.size(); ++i) {
        const std::string& assignment = a.Positional[i];
        const std::size_t eq = assignment.find('=');
        if (eq == std::string::npos)
            throw TUsageError("\"" + assignment + "\" is not NAME=TEXT or NAME=@PATH");
        const std::string name =
            ToCp932(assignment.substr(0, eq), "item name \"" + assignment.substr(0, eq) + "\"");
        const std::string value = assignment.substr(eq + 1);
        if (!value.empty() && value[0] == '@') {
            Bytes data = ReadInput(value.substr(1), "item \"" + assignment.substr(0, eq) + "\"");
            if (data.size() > 0x7FFFFFFFu) throw TInputError("\"" + value.substr(1) + "\" is too large");
            helper.AddData(name, std::move(data), compressed);
        } else {
            const std::string text = ToCp932(value, "item \"" + assignment.substr(0, eq) + "\"");
            helper.AddData(name, text.data(), static_cast<std::int32_t>(text.size()), compressed);
        }
        // The installer refuses a payload whose name would leave its folder.
        if (name == payload::kScrName) {
            const TItemType& item = helper.Items().back();
            CheckScreenSaverName(std::string(item.Data.begin(), item.Data.end()), "item \"SCRName\"");
        }
    }
    const fs::path target = PathArg(filePath);
    std::error_code ec;
    if (!fs::is_regular_file(target, ec)) throw TInputError("\"" + filePath + "\" is not an existing file");
    const itemlayout::TContainerPlace place = LocateContainerInFile(target);
    RefuseSigned(place.Signature, "\"" + filePath + "\"");
    // The new container hides the older ones: the image is bound to it from now on. The
    // field is looked for in the program before the first of them only.
    Bytes file = ReadWholeFile(target);
    const TContainerBytes container = helper.ContainerBytes();
    const std::size_t imageLimit =
        place.Place == itemlayout::TPlace::Found ? static_cast<std::size_t>(place.BlockStart) : file.size();
    const std::string binding = BindContainer(file, imageLimit, container, "\"" + filePath + "\"");
    TTemporaryFile temp(target);
    temp.WriteBuffer(file.data(), file.size());
    temp.WriteBuffer(container.data(), container.size());
    temp.Commit();
    out << Shown(filePath) << ": appended " << helper.Items().size() << " items; " << binding << "\n";
    // The programs of the new container as the installer takes them from it.
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(helper.Items());
    const auto adds = [&](const char* name) {
        const TItemTypes& added = helper.Items();
        return std::any_of(added.begin(), added.end(), [&](const TItemType& i) { return i.Name == name; });
    };
    const std::string item = " (item \"";
    if (adds(payload::kScr) && SignatureOf(s.FSCRData).Size == 0)
        WarnUnsigned(err, "append", "the screensaver" + item + payload::kScr + "\")",
                     "sign it before packing");
    if (adds(payload::kSignedUninstaller) && SignatureOf(s.FSignedUninstaller).Size == 0)
        WarnUnsigned(err, "append", "the uninstaller" + item + payload::kSignedUninstaller + "\")",
                     "sign it before packing");
    return kExitOk;
}

// Says whether the container of the file is bound to its program image and whether the
// binding holds, as the installer checks it; false when it does not hold.
bool ReportBinding(const fs::path& path, std::ostream& out) {
    const Bytes file = ReadWholeFile(path);
    const itemlayout::TContainerPlace place = itemlayout::LocateContainerInMemory(file.data(), file.size());
    if (place.Place != itemlayout::TPlace::Found) return true; // reported as no or a damaged container
    const auto start = static_cast<std::size_t>(place.BlockStart);
    const std::size_t field =
        imagebinding::FindHashField(file.data(), imagebinding::ImageEnd(file.data(), start));
    if (field == imagebinding::npos) {
        out << "binding: none (the program has no binding field)\n";
        return true;
    }
    if (imagebinding::IsUnbound(file.data() + field)) {
        out << "binding: unbound (the field was never written; the installer does not check it)\n";
        return true;
    }
    const TSha256 hash = Sha256(file.data() + start, static_cast<std::size_t>(place.BlockLength + kContainerTailSize));
    if (std::equal(hash.begin(), hash.end(), file.data() + field)) {
        out << "binding: pass (the container is the one bound to the program image)\n";
        return true;
    }
    out << "binding: FAIL (the container is not the one bound to the program image; the installer refuses it)\n";
    return false;
}

int Verify(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "FILE");
    const TItemTypes items = ReadContainer(a.Positional[0]);
    if (items.empty()) out << "no item container (the installer would report invalid data)\n";
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(items);
    const itemlayout::TCertificateTable signature = LocateContainerInFile(PathArg(a.Positional[0])).Signature;
    out << "signature: " << SignatureText(signature) << "\n";
    if (signature.Size > 0)
        out << "  not checked here (neither its hash nor its certificate chain): use osslsigncode verify or "
               "signtool verify; it covers every byte of the installer, the digest below only the "
               "screensaver\n";
    // The two programs the installer writes: the screensaver, and the signed uninstaller it carries
    // or else the stub's own with a container appended after it, which no signature can cover.
    out << "screensaver signature: " << SignatureText(SignatureOf(s.FSCRData)) << "\n";
    if (!s.FSignedUninstaller.empty())
        out << "uninstaller signature: " << SignatureText(SignatureOf(s.FSignedUninstaller)) << " (item "
            << payload::kSignedUninstaller << ")\n";
    else
        out << "uninstaller signature: none (the stub's own; build with --sign-uninstaller)\n";
    const bool bindingOk = ReportBinding(PathArg(a.Positional[0]), out);
    out << payload::kScrName << ": " << Shown(AsUtf8(s.FSCRName)) << "\n";
    out << payload::kTitle << ": " << Shown(AsUtf8(s.FTitle)) << "\n";
    out << payload::kGuid << ": " << Shown(AsUtf8(s.FGUID)) << "\n";
    out << payload::kFlashVersion << ": " << Shown(AsUtf8(s.FFlashVersion)) << "\n";
    out << payload::kForceSet << ": " << (s.FForceSet ? "true" : "false") << "\n";
    out << payload::kVerCheck << ": " << (s.FVerCheck ? "true" : "false") << "\n";
    out << payload::kNeedsPlayer << ": " << (s.FNeedsPlayer ? "true" : "false") << "\n";
    out << payload::kVersion << ": " << Shown(AsUtf8(s.FVersion)) << "\n";
    out << payload::kPublisher << ": " << Shown(AsUtf8(s.FPublisher)) << "\n";
    out << payload::kScr << ": " << s.FSCRData.size() << " bytes; " << payload::kReadMe << ": " << s.FReadMeData.size()
        << " bytes; InstallerEULA: " << s.FEULA.size() << " bytes; " << payload::kSignedUninstaller << ": "
        << s.FSignedUninstaller.size() << " bytes\n";
    // The installer's own rule decides; its reason is printed as the installer logs it.
    const TStartupVerdict verdict = s.IntegrityVerdict();
    out << Shown(AsUtf8(verdict.Why)) << "\n";
    return verdict.Welcome() && bindingOk ? kExitOk : kExitVerifyFailed;
}

// The three files of the manifest, as text; every value checked against the schema first.
struct TManifest {
    std::string Version, Installer, Locale;
};

constexpr char kManifestVersion[] = "1.10.0";
constexpr char kManifestLocale[] = "ja-JP";

// The installer's install scopes, each chosen by its switch: for all users (the elevated step, the
// installer's own default, so listed first) and for the current user only (no administrator; its
// own folder and uninstall entry).
struct TScopeEntry {
    const char* Scope;
    const char* Switch;
    const char* Elevation;
};
constexpr TScopeEntry kScopeEntries[] = {
    {"machine", "/ALLUSERS", "elevatesSelf"},
    {"user", "/CURRENTUSER", "elevationProhibited"},
};

std::string ManifestHeader(const char* type) {
    return std::string("# Written by scrpack winget\n# yaml-language-server: $schema=https://aka.ms/winget-manifest.") +
           type + "." + kManifestVersion + ".schema.json\n\n";
}

int Winget(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "INSTALLER");
    const std::string installerPath = a.Positional[0];
    const std::string id = a.Required("--id"), url = a.Required("--url"), license = a.Required("--license"),
                      description = a.Required("--description"), dir = a.Required("-o");
    const std::optional<std::string> moniker = a.Get("--moniker");
    CheckPackageIdentifier(id);
    if (!IsHttpUrl(url) || Characters(url) > 2048)
        throw TUsageError("--url must be an http:// or https:// address of at most 2048 characters");
    CheckLength(license, 3, 512, "--license");
    CheckLength(description, 3, 256, "--description");
    if (moniker) CheckLength(*moniker, 1, 40, "--moniker");
    if (dir.empty()) throw TUsageError("-o is empty");

    // The installer as the installer itself would take it.
    const Bytes installer = ReadInput(installerPath, "INSTALLER");
    const TItemTypes items = ReadContainer(installerPath);
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(items);
    const TStartupVerdict verdict = s.IntegrityVerdict();
    std::ostringstream bindingReport;
    if (!verdict.Welcome() || !ReportBinding(PathArg(installerPath), bindingReport))
        throw TInputError("\"" + installerPath + "\" fails the installer's own check (" + AsUtf8(verdict.Why) + "; " +
                          bindingReport.str().substr(0, bindingReport.str().find('\n')) + ")");

    // What the list of installed programs will show, by the entry's own rules.
    const TListedIdentity identity = ListedIdentity(s);
    if (identity.Version.empty())
        throw TInputError("\"" + installerPath + "\" registers no version: build it with --version, or give the "
                          "screensaver a version record");
    if (identity.Publisher.empty())
        throw TInputError("\"" + installerPath + "\" registers no publisher: build it with --publisher, or give the "
                          "screensaver a version record with a company name");
    const std::string version = Utf8Of(identity.Version, "the version");
    const std::string publisher = Utf8Of(identity.Publisher, "the publisher");
    const std::string displayName = Utf8Of(UninstallEntry(s.FSCRName, {}).DisplayName.Data, "the name");
    const std::string productCode = Utf8Of(s.FSCRName, "SCRName");
    CheckLength(version, 1, 128, "the version \"" + version + "\"");
    if (HasForbiddenVersionChar(version))
        throw TInputError("the version \"" + version + "\" holds a character a package version cannot: \\ / : * ? \" < > |");
    CheckLength(publisher, 2, 256, "the publisher");
    CheckLength(displayName, 2, 256, "the name in the list of installed programs");
    CheckLength(productCode, 1, 255, "the uninstall key's name");
    const std::string architecture = ArchitectureOf(installer, "\"" + installerPath + "\"");

    const std::string head = "PackageIdentifier: " + YamlQuoted(id) + "\nPackageVersion: " + YamlQuoted(version) + "\n";
    const std::string tail = std::string("ManifestVersion: ") + kManifestVersion + "\n";
    TManifest m;
    m.Version = ManifestHeader("version") + head + "DefaultLocale: " + kManifestLocale + "\nManifestType: version\n" + tail;

    std::string codes;
    for (TSetupExit code : kFailureExits)
        codes += "- InstallerReturnCode: " + std::to_string(static_cast<int>(code)) + "\n  ReturnResponse: " +
                 PackageManagerResponse(code) + "\n";
    // One entry per install scope, all the same file: the switches at the root serve every entry,
    // and each entry adds its scope's switch as Custom.
    const std::string sha256 = YamlQuoted(
        hextext::Text<std::string>(Sha256(installer.data(), installer.size()), hextext::TLetters::Upper));
    std::string installers;
    for (const TScopeEntry& scope : kScopeEntries)
        installers += "- Architecture: " + architecture + "\n"
                      "  InstallerUrl: " + YamlQuoted(url) + "\n"
                      "  InstallerSha256: " + sha256 + "\n"
                      "  Scope: " + scope.Scope + "\n"
                      "  InstallerSwitches:\n"
                      "    Custom: " + scope.Switch + "\n"
                      "  ElevationRequirement: " + scope.Elevation + "\n";
    m.Installer = ManifestHeader("installer") + head +
                  "InstallerType: exe\n"
                  "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
                  "InstallerSwitches:\n"
                  "  Silent: /S\n"
                  "  SilentWithProgress: /S\n"
                  "  InstallLocation: /D=<INSTALLPATH>\n"
                  "  Log: /LOG=\"<LOGPATH>\"\n"
                  "ExpectedReturnCodes:\n" + codes +
                  "AppsAndFeaturesEntries:\n"
                  "- DisplayName: " + YamlQuoted(displayName) + "\n"
                  "  Publisher: " + YamlQuoted(publisher) + "\n"
                  "  DisplayVersion: " + YamlQuoted(version) + "\n"
                  "  ProductCode: " + YamlQuoted(productCode) + "\n"
                  "Installers:\n" + installers +
                  "ManifestType: installer\n" + tail;
    m.Locale = ManifestHeader("defaultLocale") + head + "PackageLocale: " + kManifestLocale + "\n" +
               "Publisher: " + YamlQuoted(publisher) + "\n" + "PackageName: " + YamlQuoted(displayName) + "\n" +
               "License: " + YamlQuoted(license) + "\n" + "ShortDescription: " + YamlQuoted(description) + "\n" +
               (moniker ? "Moniker: " + YamlQuoted(*moniker) + "\n" : std::string()) +
               "ManifestType: defaultLocale\n" + tail;

    // The folders this run makes go again when it fails, innermost first (a folder that
    // holds anything stays).
    struct TMadeFolders {
        std::vector<fs::path> Paths;
        bool Keep = false;
        ~TMadeFolders() {
            std::error_code e;
            if (!Keep)
                for (const fs::path& p : Paths)
                    if (fs::is_directory(fs::symlink_status(p, e))) fs::remove(p, e);
        }
    } made;
    const fs::path folder = PathArg(dir);
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && fs::symlink_status(p, ec).type() == fs::file_type::not_found;
         p = p.parent_path()) {
        made.Paths.push_back(p);
        if (p == p.parent_path()) break;
    }
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) throw TInputError("-o: \"" + dir + "\" is not a folder that can be made");
    // All three or none: a package manager would take a new version file beside an old
    // installer file.
    const std::pair<fs::path, const std::string*> files[] = {
        {folder / PathArg(id + ".yaml"), &m.Version},
        {folder / PathArg(id + ".installer.yaml"), &m.Installer},
        {folder / PathArg(id + ".locale." + kManifestLocale + ".yaml"), &m.Locale},
    };
    std::vector<TFileWrite> writes;
    for (const auto& [path, text] : files) writes.push_back({path, text->data(), text->size()});
    WriteFilesTogether(writes);
    made.Keep = true;
    for (const auto& [path, text] : files) out << Shown(Utf8Path(path)) << "\n";
    out << Shown(id) << " " << Shown(version) << ": " << architecture << ", " << std::size(kFailureExits) << " exit codes\n";
    return kExitOk;
}

struct TVerb {
    const char* Name;
    const char* Help;
    std::set<std::string> ValueOptions;
    std::set<std::string> FlagOptions;
    int (*Run)(const TArgs&, std::ostream& out, std::ostream& err);
};

const std::vector<TVerb>& Verbs() {
    static const std::vector<TVerb> verbs = {
        {"build",
         kBuildHelp,
         {"--stub", "--scr", "--name", "-o", "--title", "--eula", "--readme", "--flash-version",
          "--left-image", "--top-image", "--guid", "--digest-length", "--text-encoding", "--version",
          "--publisher", "--sign-uninstaller"},
         {"--force-set", "--no-version-check", "--no-player"},
         Build},
        {"list", kListHelp, {}, {"--json"}, List},
        {"extract", kExtractHelp, {"-o"}, {}, Extract},
        {"append", kAppendHelp, {}, {"--stored"}, Append},
        {"verify", kVerifyHelp, {}, {}, Verify},
        {"winget", kWingetHelp, {"--id", "--url", "--license", "--description", "--moniker", "-o"}, {}, Winget},
    };
    return verbs;
}

} // namespace

int RunScrPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "scrpack: missing verb (see \"scrpack --help\")\n";
        return kExitError;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kMainHelp;
        return kExitOk;
    }
    const auto& verbs = Verbs();
    const auto verb =
        std::find_if(verbs.begin(), verbs.end(), [&](const TVerb& v) { return args[0] == v.Name; });
    if (verb == verbs.end()) {
        err << "scrpack: unknown verb \"" << Shown(args[0]) << "\" (see \"scrpack --help\")\n";
        return kExitError;
    }
    const std::string prefix = std::string("scrpack ") + verb->Name + ": ";
    try {
        const TArgs parsed = ParseArgs(args, verb->ValueOptions, verb->FlagOptions);
        if (parsed.Help) {
            out << verb->Help;
            return kExitOk;
        }
        return verb->Run(parsed, out, err);
    } catch (const TUsageError& e) {
        err << prefix << Shown(e.what()) << " (see \"scrpack " << verb->Name << " --help\")\n";
    } catch (const std::bad_alloc&) {
        err << prefix << "out of memory\n";
    } catch (const std::exception& e) {
        err << prefix << Shown(ErrorText(e)) << "\n";
    }
    return kExitError;
}
