#pragma once
// The stored window definition: a tree of components with their published property values
// and their named binary properties. Written by the toolkit (and by the defc build tool,
// which runs the same writer), read when a window is created. The nested component stream
// of a component's own binary property (a notifier's "ClassData") is one more complete
// definition with the same signature.
//
//   definition  | "SCDF" | version u8 = 1 | object |
//
//   object      | class name : str | component name : str |
//               | property count P : i32 | P x property |
//               | binary count B : i32   | B x binary   |
//               | child count C : i32    | C x object   |
//
//   property    | name : str | type u8 | value (by type, below) |
//   binary      | name : str | length n : i32 | n bytes written by the component's writer |
//   str         | length n : i32 | n bytes (code page 932 text, no terminator) |
//
//   type  value
//   1 int     i32
//   2 bool    u8, 0 or 1
//   3 string  str
//   4 colour  i32 (0x00BBGGRR, or 0xFF0000nn for system colour nn)
//   5 ident   str (an enumeration value by name)
//   6 set     count k : i32 | k x str (the member names)
//   7 list    count k : i32 | k x str (a list of strings)
//   8 binary  length n : i32 | n bytes
//
// All integers little-endian, signed. Children follow their parent: the controls placed on
// a windowed control, and under the root also the root's other components. Every
// component read is owned by the root; a control read under a windowed control gets that
// control as parent (so a control that had no parent when written comes back on the root).
//
// The reader trusts nothing: each length and count is checked against the bytes really
// left before anything is allocated (a count of k strings needs at least 4k bytes), the
// nesting depth is limited (a nested definition counts on from the level of the component
// holding it, and all nested ones together take no more bytes than the outermost), and
// any violation raises ECorruptData.
#include "store/uErrors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline constexpr char kDefSignature[4] = {'S', 'C', 'D', 'F'};
inline constexpr std::uint8_t kDefVersion = 1;
inline constexpr int kDefMaxDepth = 64;

enum class TValueType : std::uint8_t {
    Int = 1,
    Bool = 2,
    String = 3,
    Color = 4,
    Ident = 5,
    Set = 6,
    List = 7,
    Binary = 8,
};

// Appends little-endian fields to a byte buffer.
class TDefWriter {
public:
    void U8(std::uint8_t v) { FBytes.push_back(v); }
    void I32(std::int32_t v) {
        auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) FBytes.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
    }
    void Raw(const void* data, std::size_t n) {
        if (n == 0) return;
        std::size_t old = FBytes.size();
        FBytes.resize(old + n);
        std::memcpy(FBytes.data() + old, data, n);
    }
    void Str(const std::string& s) {
        I32(static_cast<std::int32_t>(s.size()));
        Raw(s.data(), s.size());
    }
    void Bytes(const std::vector<std::uint8_t>& b) {
        I32(static_cast<std::int32_t>(b.size()));
        Raw(b.data(), b.size());
    }
    std::vector<std::uint8_t>& Result() { return FBytes; }

private:
    std::vector<std::uint8_t> FBytes;
};

// Reads fields from a byte span; every read is checked against what is left.
class TDefReader {
public:
    TDefReader(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    std::size_t Left() const { return FSize - FPos; }

    std::uint8_t U8() {
        Need(1);
        return FData[FPos++];
    }
    std::int32_t I32() {
        Need(4);
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= std::uint32_t(FData[FPos + i]) << (8 * i);
        FPos += 4;
        return static_cast<std::int32_t>(u);
    }
    // A length or count; each element takes at least minBytes of what is left.
    std::size_t Count(std::size_t minBytes) {
        std::int32_t n = I32();
        if (n < 0) throw ECorruptData("Window definition: negative length");
        if (minBytes != 0 && static_cast<std::size_t>(n) > Left() / minBytes)
            throw ECorruptData("Window definition: length past the end");
        return static_cast<std::size_t>(n);
    }
    std::string Str() {
        std::size_t n = Count(1);
        std::string s(reinterpret_cast<const char*>(FData + FPos), n);
        FPos += n;
        return s;
    }
    std::vector<std::uint8_t> Bytes() {
        std::size_t n = Count(1);
        std::vector<std::uint8_t> b(FData + FPos, FData + FPos + n);
        FPos += n;
        return b;
    }
    void Raw(void* out, std::size_t n) {
        Need(n);
        for (std::size_t i = 0; i < n; ++i) static_cast<std::uint8_t*>(out)[i] = FData[FPos + i];
        FPos += n;
    }

private:
    void Need(std::size_t n) const {
        if (n > Left()) throw ECorruptData("Window definition: unexpected end of data");
    }
    const std::uint8_t* FData;
    std::size_t FSize;
    std::size_t FPos = 0;
};
