#pragma once
// Detection of the Flash ActiveX player the screensaver needs: can its COM object be
// created, and is its file at least a given version. Detection only; nothing is started
// or installed. COM must be initialised on the calling thread by the caller.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The question the start-up asks about the player: the version of the installed player,
// none when its object cannot be created. The installer answers it with
// TFlashPlayerProbe; host tests answer it with a fake.
class IPlayerProbe {
public:
    virtual ~IPlayerProbe() = default;
    virtual std::optional<std::string> InstalledVersion() = 0;
};

// Clears list and fills it with the parts of text between separators: "" gives no parts,
// "7." gives "7", ".7" gives "" and "7", "7..0" gives "7", "" and "0". The search is
// double-byte aware. An empty separator gives the whole text as one part.
void SplitString(std::vector<std::string>& list, std::string_view text, std::string_view separator);

// True when the installed version text is at least the required one. Both are split at
// "." and compared part by part as unsigned decimal numbers of any length, the first
// differing part deciding. Identical texts always pass.
// - A text with fewer parts counts its missing parts as 0, so "7.0" is met by an
//   installed 7.0.19.0, and an empty required text (no minimum named) is met by any
//   installed version.
// - An empty installed text (a player file without a version record) never meets a
//   non-empty requirement.
// - Blanks and control characters (a line break) around the required text are ignored.
// - A part that is not a decimal number (empty, a sign, a space, a letter) cannot be
//   compared: when the comparison reaches it undecided, the check fails. A malformed
//   minimum thus never lets an older player through; "7.x" is still met by 8.0.0.0,
//   whose first part already decides.
bool IsVersionAtLeast(std::string_view installed, std::string_view required);

#ifdef _WIN32
// True when the player's object can be created (in-process or local server) for
// IOleObject with exactly S_OK. The interface is released at once.
bool IsFlashPlayerInstalled();

// The product version of the player's file named by the default value of
// HKEY_CLASSES_ROOT "CLSID\{D27CDB6E-AE6D-11cf-96B8-444553540000}\InprocServer32" (read
// whole, trimmed, environment references expanded when the path does not exist as
// written); "0.0.0.0" when no file exists there; empty when it has no version record.
std::string GetFlashPlayerVersion();

// The product version of a file's version record as "a.b.c.d", or empty.
std::string GetFileVersionText(const std::string& path);

// The real player, for the start-up verdict: its object created once, then the version
// of its file. It initialises COM on the calling thread for the question and leaves it
// again: on any thread, and a start that never asks loads no COM.
class TFlashPlayerProbe : public IPlayerProbe {
public:
    std::optional<std::string> InstalledVersion() override;
};
#endif
