#pragma once
// Hand-made program files for tests of what reads them without a loader: a PE32+ image
// with one section ".rsrc" holding the given resources (one language each), and a
// version record's nodes.
#include <cstdint>
#include <string>
#include <vector>

namespace pebytes {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
inline void Pad4(Bytes& b) {
    b.resize((b.size() + 3) & ~std::size_t(3));
}

struct TResource {
    std::uint16_t Type;
    std::u16string Name; // empty: the resource is numbered by Id
    std::uint16_t Id = 0;
    Bytes Data;
};

constexpr std::uint32_t kSectionRva = 0x1000, kSectionFile = 0x200;

// Each resource its own type entry (types may repeat: a lookup takes the first match).
inline Bytes PeWithResources(std::uint16_t machine, const std::vector<TResource>& resources) {
    const std::size_t n = resources.size();
    // root (n types) | n name directories (1 entry) | n language directories (1 entry) |
    // n data entries | names | data
    Bytes tree(16 + 8 * n + n * (16 + 8) * 2 + 16 * n);
    Put16(tree, 14, static_cast<std::uint32_t>(n));
    std::vector<std::size_t> nameAt(n), dataAt(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (resources[i].Name.empty()) continue;
        nameAt[i] = tree.size();
        tree.resize(tree.size() + 2 + 2 * resources[i].Name.size());
        Put16(tree, nameAt[i], static_cast<std::uint32_t>(resources[i].Name.size()));
        for (std::size_t k = 0; k < resources[i].Name.size(); ++k)
            Put16(tree, nameAt[i] + 2 + 2 * k, resources[i].Name[k]);
    }
    for (std::size_t i = 0; i < n; ++i) {
        Pad4(tree);
        dataAt[i] = tree.size();
        tree.insert(tree.end(), resources[i].Data.begin(), resources[i].Data.end());
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t names = 16 + 8 * n + i * 24, languages = 16 + 8 * n + n * 24 + i * 24,
                          entry = 16 + 8 * n + n * 48 + i * 16;
        Put32(tree, 16 + 8 * i, resources[i].Type);
        Put32(tree, 16 + 8 * i + 4, 0x80000000u | static_cast<std::uint32_t>(names));
        Put16(tree, names + (resources[i].Name.empty() ? 14 : 12), 1);
        Put32(tree, names + 16,
              resources[i].Name.empty() ? resources[i].Id
                                        : 0x80000000u | static_cast<std::uint32_t>(nameAt[i]));
        Put32(tree, names + 20, 0x80000000u | static_cast<std::uint32_t>(languages));
        Put16(tree, languages + 14, 1);
        Put32(tree, languages + 16, 0x0411);
        Put32(tree, languages + 20, static_cast<std::uint32_t>(entry));
        Put32(tree, entry, kSectionRva + static_cast<std::uint32_t>(dataAt[i]));
        Put32(tree, entry + 4, static_cast<std::uint32_t>(resources[i].Data.size()));
    }
    Bytes file(kSectionFile);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    Put32(file, 0x40, 0x00004550); // "PE\0\0"
    Put16(file, 0x44, machine);
    Put16(file, 0x46, 1);   // one section
    Put16(file, 0x54, 240); // optional header: PE32+ with 16 directories
    const std::size_t optional = 0x58;
    Put16(file, optional, 0x20B);
    Put32(file, optional + 108, 16);
    Put32(file, optional + 112 + 2 * 8, kSectionRva);
    Put32(file, optional + 112 + 2 * 8 + 4, static_cast<std::uint32_t>(tree.size()));
    const std::size_t section = optional + 240;
    const char name[] = ".rsrc";
    for (std::size_t i = 0; i < 5; ++i) file[section + i] = static_cast<std::uint8_t>(name[i]);
    Put32(file, section + 8, static_cast<std::uint32_t>(tree.size()));
    Put32(file, section + 12, kSectionRva);
    Put32(file, section + 16, static_cast<std::uint32_t>(tree.size()));
    Put32(file, section + 20, kSectionFile);
    file.insert(file.end(), tree.begin(), tree.end());
    return file;
}

// One node of a version record: key, value (text: UTF-16 with its NUL, length counted in
// characters; binary: bytes) and children.
inline Bytes VersionNode(const std::u16string& key, const Bytes& value, bool text,
                         const std::vector<Bytes>& children = {}) {
    Bytes b(6);
    for (char16_t c : key + u'\0')
        b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    Pad4(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad4(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, static_cast<std::uint32_t>(text ? value.size() / 2 : value.size()));
    Put16(b, 4, text ? 1 : 0);
    return b;
}

inline Bytes Utf16z(const std::u16string& s) {
    Bytes b;
    for (char16_t c : s + u'\0')
        b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    return b;
}

} // namespace pebytes
