// scrpack verify: the installer's own integrity check of a file, and what it says of the
// signatures and the binding.
#include "Args.h"
#include "InstallerFile.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"

#include "store/uPayloadFormat.h"

#include <string>

namespace scrpack {

namespace {

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

// What verify says of a program's signature.
std::string SignatureText(const itemlayout::TCertificateTable& table) {
    return table.Size > 0 ? "present (certificate table " + std::to_string(table.Size) + " bytes)" : "none";
}

int Verify(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "FILE");
    const TInstallerFile file = ReadInstaller(a.Positional[0]);
    const TItemTypes items = ItemsOf(file);
    if (items.empty()) out << "no item container (the installer would report invalid data)\n";
    const TPayloadSettings s = SettingsOf(items);
    const itemlayout::TCertificateTable signature = file.Place.Signature;
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
    const TBindingCheck binding = BindingOf(file);
    if (!binding.Line.empty()) out << binding.Line << "\n";
    out << payload::kScrName << ": " << Shown(AsUtf8(s.FSCRName)) << "\n";
    out << payload::kTitle << ": " << Shown(AsUtf8(s.FTitle)) << "\n";
    out << payload::kGuid << ": " << Shown(AsUtf8(s.FGUID)) << "\n";
    out << payload::kFlashVersion << ": " << Shown(AsUtf8(s.FFlashVersion)) << "\n";
    out << payload::kForceSet << ": " << (s.FForceSet ? "true" : "false") << "\n";
    out << payload::kVerCheck << ": " << (s.FVerCheck ? "true" : "false") << "\n";
    out << payload::kNeedsPlayer << ": " << (s.FNeedsPlayer ? "true" : "false") << "\n";
    out << payload::kVersion << ": " << Shown(AsUtf8(s.FVersion)) << "\n";
    out << payload::kPublisher << ": " << Shown(AsUtf8(s.FPublisher)) << "\n";
    out << payload::kScr << ": " << s.FSCRData.size() << " bytes; " << payload::kReadMe << ": "
        << s.FReadMeData.size() << " bytes; InstallerEULA: " << s.FEULA.size() << " bytes; "
        << payload::kSignedUninstaller << ": " << s.FSignedUninstaller.size() << " bytes\n";
    // The installer's own rule decides; its reason is printed as the installer logs it.
    const TStartupVerdict verdict = s.IntegrityVerdict();
    out << Shown(AsUtf8(verdict.Why)) << "\n";
    return verdict.Welcome() && binding.Holds ? kExitOk : kExitVerifyFailed;
}

} // namespace

const TVerb kVerifyVerb = {"verify", kVerifyHelp, {}, {}, Verify};

} // namespace scrpack
