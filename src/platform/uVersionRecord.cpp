#include "platform/uVersionRecord.h"

#include "platform/uPeImage.h"
#include "store/uHexText.h"
#include "store/uLittleEndian.h"
#include "store/uText.h"

#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr std::uint16_t kVersionInfoId = 1;

std::size_t Align4(std::size_t n) {
    return (n + 3) & ~std::size_t(3);
}

// One node of the record: where its key, value and children lie in the record's bytes.
struct TNode {
    std::size_t Key = 0, KeyChars = 0;
    std::size_t Value = 0, ValueBytes = 0;
    std::size_t Children = 0, End = 0;
};

class TRecord {
public:
    TRecord(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}

    std::optional<TNode> Root() const { return NodeAt(0, FSize); }

    // The first child of node whose key is name (ASCII, compared without regard to case).
    std::optional<TNode> Child(const TNode& node, const char* name) const {
        for (std::size_t at = node.Children; at < node.End;) {
            const std::optional<TNode> child = NodeAt(at, node.End);
            if (!child) return std::nullopt;
            if (KeyIs(*child, name)) return child;
            at = Align4(child->End);
        }
        return std::nullopt;
    }

    bool KeyIs(const TNode& node, const char* name) const {
        std::size_t i = 0;
        for (; name[i]; ++i)
            if (i == node.KeyChars ||
                Lower(le::Get16(FData + node.Key + 2 * i)) != Lower(static_cast<unsigned char>(name[i])))
                return false;
        return i == node.KeyChars;
    }

    // The text value up to its first NUL, without trailing blanks, in code page 932.
    std::string Text(const TNode& node) const {
        std::u16string text;
        for (std::size_t p = node.Value; p + 2 <= node.Value + node.ValueBytes; p += 2) {
            const char16_t c = le::Get16(FData + p);
            if (c == 0) break;
            text.push_back(c);
        }
        while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.pop_back();
        return Utf16ToCp932(text);
    }

    const std::uint8_t* Data() const { return FData; }

private:
    static std::uint32_t Lower(std::uint32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

    std::optional<TNode> NodeAt(std::size_t at, std::size_t limit) const {
        if (at > limit || limit - at < 6) return std::nullopt;
        const std::size_t length = le::Get16(FData + at);
        if (length < 6 || length > limit - at) return std::nullopt;
        TNode node;
        node.End = at + length;
        const std::size_t valueLength = le::Get16(FData + at + 2);
        const bool text = le::Get16(FData + at + 4) == 1;
        node.Key = at + 6;
        std::size_t p = node.Key;
        while (p + 2 <= node.End && le::Get16(FData + p) != 0) p += 2;
        if (p + 2 > node.End) return std::nullopt; // no terminator inside the node
        node.KeyChars = (p - node.Key) / 2;
        node.Value = std::min(Align4(p + 2), node.End);
        node.ValueBytes = std::min(text ? valueLength * 2 : valueLength, node.End - node.Value);
        node.Children = std::min(Align4(node.Value + node.ValueBytes), node.End);
        return node;
    }

    const std::uint8_t* FData;
    std::size_t FSize;
};

} // namespace

TVersionRecord VersionRecordOf(const std::uint8_t* file, std::size_t size) {
    TVersionRecord r;
    const auto resource = peimage::ResourceData(file, size, peimage::kResourceVersion, kVersionInfoId);
    if (!resource) return r;
    const TRecord record(resource->Data, resource->Size);
    const std::optional<TNode> root = record.Root();
    if (!root || !record.KeyIs(*root, "VS_VERSION_INFO")) return r;

    // The languages the record lists, then the usual ones.
    std::vector<std::pair<unsigned, unsigned>> languages;
    if (const auto vars = record.Child(*root, "VarFileInfo"))
        if (const auto translation = record.Child(*vars, "Translation"))
            for (std::size_t p = translation->Value; p + 4 <= translation->Value + translation->ValueBytes;
                 p += 4)
                languages.emplace_back(le::Get16(record.Data() + p), le::Get16(record.Data() + p + 2));
    languages.insert(languages.end(), {{0x0411, 1200}, {0x0409, 1200}, {0x0409, 1252}, {0x0411, 932}});

    if (const auto strings = record.Child(*root, "StringFileInfo")) {
        for (const auto& [language, codePage] : languages) {
            // "llllcccc": the two 16-bit words, high byte first.
            const std::uint8_t words[4] = {
                static_cast<std::uint8_t>(language >> 8), static_cast<std::uint8_t>(language),
                static_cast<std::uint8_t>(codePage >> 8), static_cast<std::uint8_t>(codePage)};
            char key[9] = {};
            hextext::Write(words, sizeof words, key);
            const auto table = record.Child(*strings, key);
            if (!table) continue;
            if (r.CompanyName.empty())
                if (const auto text = record.Child(*table, "CompanyName")) r.CompanyName = record.Text(*text);
            if (r.ProductVersion.empty())
                if (const auto text = record.Child(*table, "ProductVersion"))
                    r.ProductVersion = record.Text(*text);
        }
    }
    if (r.ProductVersion.empty() && root->ValueBytes >= 52 &&
        le::Get32(record.Data() + root->Value) == kFixedSignature) {
        const std::uint8_t* fixed = record.Data() + root->Value;
        const std::uint32_t ms = le::Get32(fixed + 16), ls = le::Get32(fixed + 20);
        r.ProductVersion = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
    }
    return r;
}
