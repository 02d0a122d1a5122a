#include "store/uErrors.h"
#include "store/uStreamUtils.h"
#include "store/uStreams.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes8 = std::vector<std::uint8_t>;

TEST(StreamUtils, WritersProduceLittleEndianLayout) {
    TMemoryStream m;
    WriteInteger(m, 0x11223344);
    WriteInteger(m, -2);
    WriteInt64(m, 0x0102030405060708LL);
    WriteInt64(m, -1);
    WriteByte(m, 0xAB);
    WriteString(m, "hi");
    WriteString(m, "");
    const Bytes8 expected = {0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0x08, 0x07, 0x06, 0x05,
                             0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                             0xAB, 0x02, 0x00, 0x00, 0x00, 'h',  'i',  0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(m.Bytes(), expected);
}

TEST(StreamUtils, ReadersDecodeHandMadeBytes) {
    TMemoryStream m(Bytes8{0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x00, 0x82,
                           0xA0, 'x'});
    EXPECT_EQ(ReadInteger(m), 0x11223344);
    EXPECT_EQ(ReadInteger(m), -2);
    EXPECT_EQ(ReadByte(m), 0x7F);
    // Bytes are taken as they are: a code page 932 double-byte character stays intact.
    EXPECT_EQ(ReadString(m), std::string("\x82\xA0x"));
    EXPECT_EQ(m.Remaining(), 0);
}

TEST(StreamUtils, ZeroOrNegativeLengthReadsNothingMore) {
    TMemoryStream m(Bytes8{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'z'});
    EXPECT_EQ(ReadString(m), "");
    EXPECT_EQ(m.Position(), 4);
    EXPECT_EQ(ReadString(m), "");
    EXPECT_EQ(m.Position(), 8);
    EXPECT_EQ(ReadByte(m), 'z');
}

TEST(StreamUtils, ShortOrOversizedDataRaisesInsteadOfReadingGarbage) {
    TMemoryStream shortInt(Bytes8{1, 2, 3});
    EXPECT_THROW(ReadInteger(shortInt), EReadError);
    TMemoryStream empty;
    EXPECT_THROW(ReadByte(empty), EReadError);
    // A length one past what is left, and a huge one: refused before allocating.
    TMemoryStream oneTooMany(Bytes8{4, 0, 0, 0, 'a', 'b', 'c'});
    EXPECT_THROW(ReadString(oneTooMany), ECorruptData);
    TMemoryStream huge(Bytes8{0xFF, 0xFF, 0xFF, 0x7F, 'a'});
    EXPECT_THROW(ReadString(huge), ECorruptData);
    TMemoryStream exact(Bytes8{3, 0, 0, 0, 'a', 'b', 'c'});
    EXPECT_EQ(ReadString(exact), "abc");
}
