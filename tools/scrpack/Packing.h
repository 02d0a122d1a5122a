#pragma once
// What build and append share when they pack items into a container after a program: the
// installer's rule for the screensaver's name, the refusal of a signed program, the binding of
// the container to the program image, and the warning on an unsigned program packed.
#include "InstallerFile.h"

#include "store/uExeAdder.h"
#include "store/uItemLayout.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace scrpack {

// The installer's own rules for the name of the installed files (code page 932): a name it
// would refuse as invalid data is refused here (TUsageError). what names the option or item.
void CheckScreenSaverName(const std::string& name, const std::string& what);

// Signing must come last: a container appended after the certificate table breaks the
// signature and is not found before the table. A TInputError for a signed program.
void RefuseSigned(const itemlayout::TCertificateTable& table, const std::string& what);

// Writes the SHA-256 of container into the binding field of the program in the first
// imageLimit bytes of file, so that the installer refuses any other container. Returns
// what was done, for the output. A program without the field (not our installer) stays
// as it is; one with the tag twice cannot be bound with certainty and is refused.
std::string BindContainer(Bytes& file, std::size_t imageLimit, const TContainerBytes& container,
                          const std::string& what);

// Smart App Control (Windows 11) blocks an unsigned program it does not know, installed or not:
// one line on standard error for each unsigned program a verb packs; the result stays a success.
void WarnUnsigned(std::ostream& err, const char* verb, const std::string& program, const char* remedy);

} // namespace scrpack
