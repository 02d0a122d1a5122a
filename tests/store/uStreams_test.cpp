#include "store/uErrors.h"
#include "store/uStreams.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>

TEST(MemoryStream, ReadWriteSeekAndShortReads) {
    TMemoryStream m;
    m.WriteBuffer("abcdef", 6);
    EXPECT_EQ(m.Size(), 6);
    EXPECT_EQ(m.Seek(-2, TSeekOrigin::End), 4);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "ef");
    m.SetPosition(5);
    EXPECT_THROW(m.ReadBuffer(buf, 2), EReadError);
    // Writing past the end grows the stream; seeking before the start clamps.
    m.SetPosition(8);
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.Size(), 9);
    EXPECT_EQ(m.Bytes()[6], 0);
    EXPECT_EQ(m.Seek(-100, TSeekOrigin::Current), 0);
}

TEST(FileStream, MissingFileRaisesNamingIt) {
    TempDir dir;
    try {
        TFileStream f(dir / "missing.bin", TFileMode::OpenRead);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    }
}

TEST(FileStream, ReadStreamOverMissingFileReadsNothing) {
    TempDir dir;
    TFileReadStream f(dir / "missing.bin");
    char c;
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Read(&c, 1), 0u);
    EXPECT_EQ(f.Size(), 0);
}

TEST(FileStream, ReadStreamOpensAFileOthersHoldOpen) {
    TempDir dir;
    auto path = dir / "shared.bin";
    WriteBytes(path, Bytes("1234"));
    // Another reader that allows reading, as the loader does with a running program.
    TFileStream holder(path, TFileMode::OpenRead);
    TFileReadStream reader(path);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Size(), 4);
    char buf[4];
    reader.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "1234");
}

TEST(FileStream, AtomicWriteReplacesWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    auto path = dir / "target.bin";
    WriteBytes(path, Bytes("old content that is longer"));
    WriteFileAtomically(path, "new", 3);
    EXPECT_EQ(ReadBytes(path), Bytes("new"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    // A folder that does not exist: an error naming the target, nothing left behind.
    EXPECT_THROW(WriteFileAtomically(dir / "nofolder" / "x.bin", "a", 1), EFCreateError);
}
