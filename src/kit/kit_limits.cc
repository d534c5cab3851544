// The per-name checks of the kit bounds.
#include "kit/kit_limits.h"

namespace ordx {

bool NameWithinLimits(std::u16string_view name) {
  if (name.size() > kMaxNameUnits) return false;
  std::uint32_t levels = 1;
  std::uint32_t levelBytes = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (unit == u'\\' || unit == u'/') {
      if (++levels > kMaxNameLevels) return false;
      levelBytes = 0;
      continue;
    }
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() &&
                      name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
    // A lone surrogate names no character: no file system can be given it.
    if (!pair && unit >= 0xD800 && unit <= 0xDFFF) return false;
    if (pair) ++i;
    levelBytes += pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    if (levelBytes > kMaxLevelBytes) return false;
  }
  return true;
}

}  // namespace ordx
