#include "platform/uVersionRecord.h"

#include "platform/uPeImage.h"
#include "platform/uText.h"
#include "store/uLittleEndian.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr std::uint16_t kVersionInfoId = 1;

std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t(3); }

// One node of the record, within bytes [0, Size).
struct TNode {
    std::u16string Key;
    std::size_t Value = 0, ValueBytes = 0; // where the value is and how many bytes it has
    std::size_t Children = 0, End = 0;     // the children lie in [Children, End)
    bool Text = false;
};

struct TRecordBytes {
    const std::uint8_t* Data;
    std::size_t Size;

    std::optional<TNode> NodeAt(std::size_t at, std::size_t limit) const {
        if (at > limit || limit - at < 6) return std::nullopt;
        const std::size_t length = le::Get16(Data + at);
        if (length < 6 || length > limit - at) return std::nullopt;
        TNode node;
        node.End = at + length;
        const std::size_t valueLength = le::Get16(Data + at + 2);
        node.Text = le::Get16(Data + at + 4) == 1;
        std::size_t p = at + 6;
        for (; p + 2 <= node.End; p += 2) {
            const char16_t c = le::Get16(Data + p);
            if (c == 0) break;
            node.Key.push_back(c);
        }
        if (p + 2 > node.End) return std::nullopt; // no terminator inside the node
        node.Value = std::min(Align4(p + 2), node.End);
        node.ValueBytes = std::min(node.Text ? valueLength * 2 : valueLength, node.End - node.Value);
        node.Children = std::min(Align4(node.Value + node.ValueBytes), node.End);
        return node;
    }

    // Calls visit for each child of node.
    template <typename F> void EachChild(const TNode& node, F visit) const {
        for (std::size_t at = node.Children; at < node.End;) {
            const std::optional<TNode> child = NodeAt(at, node.End);
            if (!child) return;
            visit(*child);
            at = Align4(child->End);
        }
    }

    // The text value up to its first NUL, without trailing blanks.
    std::u16string TextOf(const TNode& node) const {
        std::u16string text;
        for (std::size_t p = node.Value; p + 2 <= node.Value + node.ValueBytes; p += 2) {
            const char16_t c = le::Get16(Data + p);
            if (c == 0) break;
            text.push_back(c);
        }
        while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.pop_back();
        return text;
    }
};

std::u16string Lower(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return s;
}

std::u16string TableKey(unsigned language, unsigned codePage) {
    std::u16string key;
    for (unsigned word : {language, codePage})
        for (int shift = 12; shift >= 0; shift -= 4) key += u"0123456789abcdef"[(word >> shift) & 0xFu];
    return key;
}

// UTF-16 as code page 932, each character the code page lacks (and each lone surrogate)
// as "?".
std::string ToCp932(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        std::string utf8, cp932;
        if (cp < 0x80) {
            utf8 = static_cast<char>(cp);
        } else if (cp < 0x800) {
            utf8 = {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
        } else if (cp < 0x10000) {
            utf8 = {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (cp & 0x3F))};
        } else {
            utf8 = {static_cast<char>(0xF0 | cp >> 18), static_cast<char>(0x80 | (cp >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (cp >> 6 & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
        }
        out += (cp < 0xD800 || cp > 0xDFFF) && Utf8ToCp932(utf8, cp932) ? cp932 : std::string("?");
    }
    return out;
}

} // namespace

TVersionRecord VersionRecordOf(const std::uint8_t* file, std::size_t size) {
    TVersionRecord r;
    const auto resource = peimage::ResourceData(file, size, peimage::kResourceVersion, kVersionInfoId);
    if (!resource) return r;
    const TRecordBytes bytes{resource->Data, resource->Size};
    const std::optional<TNode> root = bytes.NodeAt(0, bytes.Size);
    if (!root || root->Key != u"VS_VERSION_INFO") return r;

    std::map<std::u16string, std::map<std::u16string, std::u16string>> tables; // by lower-case key
    std::vector<std::pair<unsigned, unsigned>> languages;
    bytes.EachChild(*root, [&](const TNode& block) {
        if (block.Key == u"StringFileInfo") {
            bytes.EachChild(block, [&](const TNode& table) {
                auto& strings = tables[Lower(table.Key)];
                bytes.EachChild(table, [&](const TNode& text) { strings.emplace(text.Key, bytes.TextOf(text)); });
            });
        } else if (block.Key == u"VarFileInfo") {
            bytes.EachChild(block, [&](const TNode& var) {
                if (var.Key != u"Translation") return;
                for (std::size_t p = var.Value; p + 4 <= var.Value + var.ValueBytes; p += 4)
                    languages.emplace_back(le::Get16(bytes.Data + p), le::Get16(bytes.Data + p + 2));
            });
        }
    });
    languages.insert(languages.end(), {{0x0411, 1200}, {0x0409, 1200}, {0x0409, 1252}, {0x0411, 932}});
    const auto lookUp = [&](unsigned language, unsigned codePage, const std::u16string& name) {
        const auto table = tables.find(TableKey(language, codePage));
        if (table == tables.end()) return std::string();
        const auto text = table->second.find(name);
        return text == table->second.end() ? std::string() : ToCp932(text->second);
    };
    for (const auto& [language, codePage] : languages) {
        if (r.CompanyName.empty()) r.CompanyName = lookUp(language, codePage, u"CompanyName");
        if (r.ProductVersion.empty()) r.ProductVersion = lookUp(language, codePage, u"ProductVersion");
    }
    if (r.ProductVersion.empty() && root->ValueBytes >= 52 && le::Get32(bytes.Data + root->Value) == kFixedSignature) {
        const std::uint8_t* fixed = bytes.Data + root->Value;
        const std::uint32_t ms = le::Get32(fixed + 16), ls = le::Get32(fixed + 20);
        r.ProductVersion = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
    }
    return r;
}
