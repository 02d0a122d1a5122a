#pragma once
// The binding field of this program's own image (store/uImageBinding.h): the SHA-256 of
// the item container scrpack appended to it, read from the mapped image in memory.
#include "platform/uSha256.h"

#include <string>
#include <string_view>

// The hash in the field; all zeros for a program scrpack never bound.
TSha256 OwnImageBinding();

// The hash as 64 lowercase hexadecimal digits (how it travels on a command line), and
// back; false for anything that is not exactly 64 such digits.
std::wstring BindingText(const TSha256& hash);
bool ParseBindingText(std::wstring_view text, TSha256& hash);
