// The installer reads the container at the end of its own, running executable.
#include "store/uExeAdder.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::filesystem::path OwnExe() {
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return std::filesystem::path(buf);
}

} // namespace

TEST(ItemContainerWin, RunningProgramReadsItsOwnExecutable) {
    const auto exe = OwnExe();
    ASSERT_TRUE(std::filesystem::exists(exe));
    // The test program carries no container: an empty list, and no sharing violation
    // although the loader holds the image open.
    TItemTypes items = {TItemType{"stale", {1}, 1, false}};
    EXPECT_NO_THROW(ReadItems(exe, items));
    EXPECT_TRUE(items.empty());
}

TEST(ItemContainerWin, ReadsWhileAnotherHandleHoldsTheFileOpenForWriting) {
    TempDir dir;
    // A copy of this program with a container; a Japanese file name exercises the wide API.
    const auto copy = dir.Path() / L"\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB.exe";
    ASSERT_TRUE(CopyFileW(OwnExe().c_str(), copy.c_str(), TRUE));
    TWriteHelper helper;
    helper.AddString("GUID", "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    helper.AppendToFile(copy);

    // Another handle open for writing that shares reading and writing, as a scanner might.
    HANDLE writer =
        CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    TItemTypes items;
    ReadItems(copy, items);
    CloseHandle(writer);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Name, "GUID");
    EXPECT_EQ(std::string(items[0].Data.begin(), items[0].Data.end()),
              "{01234567-89AB-CDEF-0123-456789ABCDEF}");

    // While a reader holds it open, appending (no sharing) fails with the open error and
    // leaves the file as it was.
    const auto before = ReadBytes(copy);
    HANDLE reader = CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_ANY_THROW(WriteItems(copy, {}));
    CloseHandle(reader);
    EXPECT_EQ(ReadBytes(copy), before);
}
