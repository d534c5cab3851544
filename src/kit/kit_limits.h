// Fixed bounds of a kit, the same for the installer, `ordx-kit pack` and
// `ordx-kit verify`. A kit beyond any of them is damaged. Together they keep
// the reader's memory below about 150 MB and its time short on any input.
#pragma once

#include <cstdint>

#include "text/cow_string.h"

namespace ordx {

// Absolute data offsets are 32-bit: an unpacked kit cannot be addressed
// beyond this size.
inline constexpr std::uint64_t kMaxUnpackedKit = UINT32_MAX;
inline constexpr std::uint32_t kMaxKitEntries = 1000000;
// Languages a kit may describe; far more than the installer has.
inline constexpr std::uint32_t kMaxKitDescriptions = 256;
// Any counted string: language code, product, vendor, description path, name.
inline constexpr std::uint32_t kMaxStringUnits = 65536;
inline constexpr std::uint32_t kMaxNameUnits = 4096;
inline constexpr std::uint32_t kMaxNameLevels = 255;
// Bytes of one level once encoded as UTF-8 (a lone surrogate is refused),
// the longest file name most file systems take.
inline constexpr std::uint32_t kMaxLevelBytes = 255;
// Every text of the kit together (names and descriptions): without it a
// million long names alone would need gigabytes.
inline constexpr std::uint64_t kMaxTotalTextUnits = 32u << 20;

// True when an entry name keeps to the name limits above: units, levels
// ("\" and "/" both separate them) and bytes per level.
bool NameWithinLimits(std::u16string_view name);

}  // namespace ordx
