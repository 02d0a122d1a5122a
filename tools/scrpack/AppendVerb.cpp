// scrpack append: one more container after an existing file, bound to its program image.
#include "Args.h"
#include "Errors.h"
#include "InstallerFile.h"
#include "Packing.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"

#include "store/uExeAdder.h"
#include "store/uPayloadFormat.h"
#include "store/uStreams.h"

#include <algorithm>
#include <string>
#include <utility>

namespace scrpack {

namespace {

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
    TInstallerFile installer = ReadInstaller(filePath);
    const itemlayout::TContainerPlace& place = installer.Place;
    RefuseSigned(place.Signature, "\"" + filePath + "\"");
    // The new container hides the older ones: the image is bound to it from now on. The
    // field is looked for in the program before the first of them only.
    Bytes& file = installer.Data;
    const TContainerBytes container = helper.ContainerBytes();
    const std::size_t imageLimit =
        place.Place == itemlayout::TPlace::Found ? static_cast<std::size_t>(place.BlockStart) : file.size();
    const std::string binding = BindContainer(file, imageLimit, container, "\"" + filePath + "\"");
    TTemporaryFile temp(PathArg(filePath));
    temp.WriteBuffer(file.data(), file.size());
    temp.WriteBuffer(container.data(), container.size());
    temp.Commit();
    out << Shown(filePath) << ": appended " << helper.Items().size() << " items; " << binding << "\n";
    // The programs of the new container as the installer takes them from it.
    const TPayloadSettings s = SettingsOf(helper.Items());
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

} // namespace

const TVerb kAppendVerb = {"append", kAppendHelp, {}, {"--stored"}, Append};

} // namespace scrpack
