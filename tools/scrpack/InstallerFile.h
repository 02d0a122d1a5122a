#pragma once
// The files the verbs read. An installer is read from disk once, whole: its items, its
// signature, its binding and its program image all come from the same bytes, so that what a
// verb reports is of one file even when the file is replaced meanwhile.
#include "app/uStartup.h"
#include "store/uExeAdder.h"
#include "store/uItemLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scrpack {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a file named on the command line. A TInputError when it is no regular file,
// naming the option it was given to ("--stub: ..."; empty for a verb's FILE); the store's
// error when it cannot be read.
Bytes ReadInput(const std::string& utf8Path, const std::string& option);

// An installer (or any file whose container a verb looks at) as it lay on disk.
struct TInstallerFile {
    Bytes Data;                        // the whole file
    itemlayout::TContainerPlace Place; // where its container lies, and its certificate table
};

// Reads the file once and locates its container, by the rule the installer uses.
TInstallerFile ReadInstaller(const std::string& utf8Path, const std::string& option = {});

// The items of the file's container, read as ReadItems reads them from disk: empty when it
// carries none; the store's error when the container is damaged.
TItemTypes ItemsOf(const TInstallerFile& file);

// The settings the installer takes from these items.
TPayloadSettings SettingsOf(const TItemTypes& items);

// Whether the container is bound to the program image, as the installer checks it.
struct TBindingCheck {
    bool Holds = true; // false: the installer refuses this container
    std::string Line;  // what verify says of it; empty for a file with no (or a damaged) container
};
TBindingCheck BindingOf(const TInstallerFile& file);

// The certificate table of a program held in memory, found by the one rule every verb and the
// installer use (FindCertificateTable): Size 0 when the program carries no Authenticode signature.
itemlayout::TCertificateTable SignatureOf(const Bytes& program);

} // namespace scrpack
