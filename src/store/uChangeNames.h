#pragma once
// Reads the names a change to an installation works under (uPayloadFormat.h:
// "<file>.~<id><suffix>") back into their parts, for the installer's recovery and the
// uninstaller alike. Header-only and allocation-free: the uninstaller has no C++ runtime.
// Works on code page 932 and on UTF-16 names: the marks are ASCII, and neither '.' nor '~'
// is ever the trail byte of a double-byte character.
#include "store/uHexText.h"
#include "store/uPayloadFormat.h"

#include <cstddef>
#include <string_view>

namespace changenames {

enum class TKind { None, Staged, SetAside, Fresh, Pending };

template <typename C> struct TLeftover {
    TKind Kind = TKind::None;
    std::basic_string_view<C> File; // the installation file it belongs to ("<name>" for Pending)
    std::basic_string_view<C> Id;   // the change's hex digits
};

namespace detail {
// s ends in the ASCII text ascii.
template <typename C> constexpr bool EndsWith(std::basic_string_view<C> s, std::string_view ascii) {
    if (s.size() < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i)
        if (s[s.size() - ascii.size() + i] != static_cast<C>(ascii[i])) return false;
    return true;
}
} // namespace detail

// The parts of a file name (no folder) of that form; Kind None for any other name. Only
// lowercase hex digits count, as the programs write them.
template <typename C> constexpr TLeftover<C> ParseLeftover(std::basic_string_view<C> name) {
    struct TSuffix {
        TKind Kind;
        std::string_view Text;
    };
    constexpr TSuffix kSuffixes[] = {{TKind::Staged, payload::kStagedSuffix},
                                     {TKind::SetAside, payload::kSetAsideSuffix},
                                     {TKind::Fresh, payload::kFreshSuffix},
                                     {TKind::Pending, payload::kPendingSuffix}};
    constexpr std::string_view kMark = payload::kChangeMark;
    // The name is cut with the view's constructor, never substr: its range check may throw,
    // which would bring the C++ runtime into the uninstaller.
    using TView = std::basic_string_view<C>;
    for (const TSuffix& suffix : kSuffixes) {
        if (!detail::EndsWith(name, suffix.Text)) continue;
        const TView rest(name.data(), name.size() - suffix.Text.size());
        if (rest.size() <= kMark.size() + payload::kChangeIdDigits) return {};
        const TView marked(rest.data(), rest.size() - payload::kChangeIdDigits);
        const TView id(rest.data() + marked.size(), payload::kChangeIdDigits);
        if (!hextext::IsLowerDigits(id, payload::kChangeIdDigits)) return {};
        if (!detail::EndsWith(marked, kMark)) return {};
        return {suffix.Kind, TView(marked.data(), marked.size() - kMark.size()), id};
    }
    return {};
}

} // namespace changenames
