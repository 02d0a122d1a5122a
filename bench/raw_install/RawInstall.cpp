// The raw cost of an unattended installation's work, in one plain process: read the
// installer's container, its SHA-256 (the binding), inflate the items, the screensaver's
// digest, write the screensaver. What an installation cannot do with less; the install
// benchmark compares the real /S run with it.
//
//   raw_install.exe INSTALLER OUT-FILE   prints the milliseconds of each step and in all
#include "app/uDigest.h"
#include "platform/uSha256.h"
#include "store/uExeAdder.h"
#include "store/uPayloadFormat.h"
#include "store/uStreams.h"
#include "store/uText.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: raw_install INSTALLER OUT-FILE\n");
        return 2;
    }
    try {
        const double start = Now();
        std::vector<std::uint8_t> container = ReadContainerBytes(argv[1]);
        const double read = Now();
        const TSha256 hash = Sha256(container.data(), container.size());
        const double hashed = Now();
        TItemTypes items;
        ParseItems(container, items);
        container.clear();
        container.shrink_to_fit();
        const double inflated = Now();
        std::string digest;
        std::size_t bytes = 0;
        for (const TItemType& item : items)
            if (item.Name == payload::kScr) {
                digest = PayloadDigestText(item.Data.data(), item.Data.size());
                const double digested = Now();
                WriteFileAtomically(argv[2], item.Data.data(), item.Data.size());
                bytes = item.Data.size();
                const double written = Now();
                std::printf("read %.0f ms, sha-256 %.0f ms, inflate %.0f ms, digest %.0f ms, write %.0f ms; "
                            "total %.0f ms for %zu bytes (hash %02x)\n",
                            read - start, hashed - read, inflated - hashed, digested - inflated,
                            written - digested, written - start, bytes, hash[0]);
            }
        return bytes ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "raw_install: %s\n", e.what());
        return 1;
    }
}
