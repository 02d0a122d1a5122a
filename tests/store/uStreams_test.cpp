#include "store/uChangeNames.h"
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

// Whatever already stands under a temporary name (a file, a link to another file) is
// neither opened, followed nor overwritten: the next name is tried. The names given by the
// system's random generator differ from one file to the next.
TEST(TemporaryFile, PlantedNamesAreSkippedNotFollowed) {
    namespace fs = std::filesystem;
    TempDir dir;
    const auto target = dir / "target.bin";
    const auto victim = dir / "victim.bin";
    const TTemporaryFile::TNameSource planted = [](const TPathName& t, int attempt) {
        return (fs::path(t) += ".planted" + std::to_string(attempt)).native();
    };
    WriteBytes(victim, Bytes("victim"));
    WriteBytes(planted(target, 0), Bytes("planted"));
#ifdef _WIN32
    WriteBytes(planted(target, 1), Bytes("planted"));
#else
    fs::create_symlink(victim, planted(target, 1));
#endif
    {
        TTemporaryFile tmp(target, planted);
        EXPECT_EQ(tmp.Path(), planted(target, 2));
        tmp.WriteBuffer("new", 3);
        tmp.Commit();
    }
    EXPECT_EQ(ReadBytes(target), Bytes("new"));
    EXPECT_EQ(ReadBytes(victim), Bytes("victim"));
    EXPECT_EQ(ReadBytes(planted(target, 0)), Bytes("planted"));
    EXPECT_TRUE(fs::exists(fs::symlink_status(planted(target, 1))));
    {
        // Not committed: only the files it created go away.
        TTemporaryFile a(target), b(target);
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_EQ(a.Path().size(), target.native().size() + 38); // ".~" 32 hex digits ".tmp"
        EXPECT_TRUE(fs::exists(a.Path()));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 4);
}

// The names a change works under read back into their parts, by the one reader the
// installer's recovery and the uninstaller share; nothing of another form is taken for
// ours. A file moved in goes again on Discard, through its handle.
TEST(TemporaryFile, ChangeNamesAndTakingAMovedInFileBackOut) {
    namespace fs = std::filesystem;
    using changenames::TKind;
    const std::string id = NewChangeId();
    ASSERT_EQ(id.size(), 32u);
    const TPathName marked = MarkedSibling(TPathName(fs::path("Aurora.scr").native()), id, ".old");
    const auto parsed = changenames::ParseLeftover<TPathName::value_type>(marked);
    EXPECT_EQ(parsed.Kind, TKind::SetAside);
    EXPECT_TRUE(parsed.File == fs::path("Aurora.scr").native());
    EXPECT_EQ(parsed.Id.size(), 32u);
    const struct {
        const char* name;
        TKind kind;
        const char* file;
    } cases[] = {
        {"Aurora.~0123456789abcdef0123456789abcdef.pending", TKind::Pending, "Aurora"},
        {"AuroraUninst.exe.~0123456789abcdef0123456789abcdef.tmp", TKind::Staged, "AuroraUninst.exe"},
        {"\x95\x5C.txt.~0123456789abcdef0123456789abcdef.new", TKind::Fresh,
         "\x95\x5C.txt"},                                                      // "表" ends in 5C
        {"Aurora.scr.~0123456789ABCDEF0123456789abcdef.old", TKind::None, ""}, // not our digits
        {"Aurora.scr.~0123456789abcdef0123456789abcde.old", TKind::None, ""},  // 31 digits
        {"Aurora.scr.0123456789abcdef0123456789abcdef.old", TKind::None, ""},  // no mark
        {".~0123456789abcdef0123456789abcdef.old", TKind::None, ""},           // no file
        {"Aurora.scr.~0123456789abcdef0123456789abcdef.bak", TKind::None, ""},
    };
    for (const auto& c : cases) {
        const auto leftover = changenames::ParseLeftover<char>(c.name);
        EXPECT_EQ(leftover.Kind, c.kind) << c.name;
        EXPECT_EQ(leftover.File, c.file) << c.name;
    }

    TempDir dir;
    const auto target = dir / "target.bin";
    {
        TTemporaryFile tmp(target, MarkedSibling(target.native(), id, ".tmp"));
        tmp.WriteBuffer("new", 3);
        tmp.Flush();
        tmp.MoveIn();
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
        EXPECT_TRUE(fs::exists(target));
        WriteBytes(dir / "other.bin", Bytes("x"));
        TTemporaryFile clash(dir / "other.bin", MarkedSibling(target.native(), id, ".new"));
        EXPECT_THROW(clash.MoveIn(), EFCreateError);
        EXPECT_EQ(ReadBytes(dir / "other.bin"), Bytes("x")); // an existing target is never replaced
    }
    EXPECT_FALSE(fs::exists(target));
}
