// scrpack build: a stub program followed by one item container with the screensaver and the
// installer's settings, written under a temporary name and renamed at the end.
#include "Args.h"
#include "Errors.h"
#include "InstallerFile.h"
#include "Packing.h"
#include "ScrPack.h"
#include "Signing.h"
#include "Text.h"
#include "Verbs.h"

#include "app/uDigest.h"
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uLittleEndian.h"
#include "store/uPayloadFormat.h"
#include "store/uStreams.h"
#include "toolkit/uBitmap.h"
#include "toolkit/uClasses.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <utility>

namespace scrpack {

namespace {

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
    "                         Windows OUT's full path may not hold % ! ^ & | < >, which\n"
    "                         cmd.exe reads inside quotes or after them). It travels as\n"
    "                         the item \"InstallerSignedUninstaller\", which the\n"
    "                         installer writes as it is. A command that fails, or a\n"
    "                         result without the container in front of a certificate\n"
    "                         table, fails the build.\n"
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
    if (signCommand &&
        (signCommand->find("{in}") == std::string::npos || signCommand->find("{out}") == std::string::npos))
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
            Utf8Of(text, "--eula \"" + *path + "\""); // only checked: the item keeps the bytes
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
        const Bytes signedUninstaller = SignUninstaller(
            uninstaller, own.ContainerBytes(ContainerKeyOf(own.Items())), *signCommand, PathArg(outPath));
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
    out << Shown(outPath) << ": " << helper.Items().size() << " items, " << size << " bytes, GUID " << guid
        << "; " << binding << (signCommand ? "; signed uninstaller" : "") << "\n";
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

} // namespace

const TVerb kBuildVerb = {"build",
                          kBuildHelp,
                          {"--stub", "--scr", "--name", "-o", "--title", "--eula", "--readme",
                           "--flash-version", "--left-image", "--top-image", "--guid", "--digest-length",
                           "--text-encoding", "--version", "--publisher", "--sign-uninstaller"},
                          {"--force-set", "--no-version-check", "--no-player"},
                          Build};

} // namespace scrpack
