#pragma once
// A Windows program file held in memory, read as the system's loader reads it: its machine
// and the data of one of its resources. Used where no loader is at hand (scrpack on Linux)
// and where the installer looks into a program it does not run (the screensaver it
// carries). The bytes come from outside: every offset, count and size is checked against
// the file before it is followed, and anything odd reads as "not there".
//
//   "MZ" ... e_lfanew (u32 at 0x3C) -> "PE\0\0" | file header (20) | optional header |
//   section table (40 bytes each). The resource directory (data directory 2) is a tree
//   of three levels, type -> name -> language:
//   directory  | 12 bytes | named entries u16 | id entries u16 | entries (8 bytes each) |
//   entry      | name: u32 (top bit: offset of a counted UTF-16 name) |
//              | target: u32 (top bit: offset of a subdirectory, else of a data entry) |
//   data entry | RVA of the data u32 | size u32 | code page u32 | reserved u32 |
//   Offsets are relative to the start of the resource directory; the data's address is
//   an RVA, mapped to the file through the section that holds it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace peimage {

inline constexpr std::uint16_t kResourceVersion = 16; // RT_VERSION
inline constexpr std::uint16_t kResourceData = 10;    // RT_RCDATA

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

struct TSpan {
    const std::uint8_t* Data = nullptr;
    std::size_t Size = 0;
};

// The machine field of the file header; nullopt when the bytes are no PE program.
std::optional<std::uint16_t> Machine(const std::uint8_t* file, std::size_t size);

// The data of the resource of type typeId whose name is name (compared without regard to
// ASCII case, as FindResource does) or, for the overload, whose number is nameId: its
// first language. nullopt when the file has no such resource or its directory is damaged.
std::optional<TSpan> ResourceData(const std::uint8_t* file, std::size_t size, std::uint16_t typeId,
                                  std::string_view name);
std::optional<TSpan> ResourceData(const std::uint8_t* file, std::size_t size, std::uint16_t typeId,
                                  std::uint16_t nameId);

} // namespace peimage
