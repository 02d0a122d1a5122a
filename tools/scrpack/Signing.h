#pragma once
// Signing the uninstaller while building (build --sign-uninstaller): the uninstaller the stub
// carries, with the container the installer would append to it, is signed by the publisher's
// own command and travels signed in the installer.
#include "InstallerFile.h"

#include "store/uExeAdder.h"

#include <filesystem>
#include <string>

namespace scrpack {

// The uninstaller the stub carries: the data of the file embedder in its main window's
// stored definition, as the installer itself loads it. what names the stub in errors.
Bytes StubUninstaller(const Bytes& stub, const std::string& what);

// Refuses (TUsageError) an output path the shell would read in the signing command: on
// Windows, cmd.exe reads % ! ^ & | < > and quotes even inside quotes, in the current folder
// too when the path is relative. Checked before anything is made.
void CheckShellSafeOutput(const std::string& outPath);

// Has the publisher's command sign the uninstaller with its container, in a folder of its own
// beside output; returns the signed program, checked to carry exactly that container in front
// of a certificate table.
Bytes SignUninstaller(const Bytes& uninstaller, const TContainerBytes& container, const std::string& command,
                      const std::filesystem::path& output);

} // namespace scrpack
