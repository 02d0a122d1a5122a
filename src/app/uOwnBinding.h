#pragma once
// The binding field of this program's own image (store/uImageBinding.h): the SHA-256 of
// the item container scrpack appended to it, read from the mapped image in memory.
#include "platform/uSha256.h"

// The hash in the field; all zeros for a program scrpack never bound.
TSha256 OwnImageBinding();
