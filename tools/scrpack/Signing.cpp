#include "Signing.h"

#include "Errors.h"
#include "Text.h"

#include "components/uFileEmbedder.h"
#include "platform/uPeImage.h"
#include "store/uErrors.h"
#include "store/uItemLayout.h"
#include "store/uStreams.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace fs = std::filesystem;

namespace scrpack {

namespace {

// The resource holding the installer's main window definition (its class name in capitals).
constexpr char kMainWindowResource[] = "TFRMMAIN";

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
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, nullptr, 0)), L'\0');
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
        if (FPath.empty())
            throw TInputError("no folder for signing the uninstaller can be made beside the output");
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

} // namespace

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
    if (uninstaller.empty())
        throw TInputError(what + " carries no uninstaller in its main window definition");
    return uninstaller;
}

// cmd.exe expands %NAME% (and !NAME!) inside quotes too, and a quote, ^ & | < > or a line
// break ends the quoting or the command: the signing folder beside an output path holding
// any of them is refused before anything is made. The folder's name in the command is
// absolute, so a relative output is checked with the current folder in front of it.
// /bin/sh takes any path single-quoted.
void CheckShellSafeOutput(const std::string& outPath) {
#ifdef _WIN32
    std::error_code ec;
    const fs::path absolute = fs::absolute(PathArg(outPath), ec);
    const std::string path = ec ? outPath : Utf8Path(absolute);
    const auto bad = std::find_if(path.begin(), path.end(), [](char c) {
        return static_cast<std::uint8_t>(c) < 0x20 || std::strchr("\"%!^&|<>", c) != nullptr;
    });
    if (bad != path.end())
        throw TUsageError(
            "-o \"" + path + "\" holds " +
            (static_cast<std::uint8_t>(*bad) < 0x20 ? std::string("a control character")
                                                    : "\"" + std::string(1, *bad) + "\"") +
            ", which cmd.exe would read in the --sign-uninstaller command: choose another name");
#else
    (void)outPath;
#endif
}

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
    if (!fs::is_regular_file(out, ec))
        throw TInputError("--sign-uninstaller: the command wrote no {out}: " + line);
    Bytes signedFile = ReadWholeFile(out);
    const itemlayout::TContainerPlace place =
        itemlayout::LocateContainerInMemory(signedFile.data(), signedFile.size());
    const bool carried =
        place.Place == itemlayout::TPlace::Found && place.Signature.Size > 0 &&
        static_cast<std::size_t>(place.BlockLength + kContainerTailSize) == container.size() &&
        std::equal(container.begin(), container.end(),
                   signedFile.begin() + static_cast<std::ptrdiff_t>(place.BlockStart));
    if (!carried)
        throw TInputError(
            "--sign-uninstaller: {out} does not carry the uninstaller's container in front of a "
            "certificate table; the command must add an Authenticode signature to {in} and "
            "nothing else");
    return signedFile;
}

} // namespace scrpack
