// Fuzz target for the starter-file reader: whatever the bytes, the written
// form holds only keys and values of the input, byte for byte, reads back
// as the same model, and that model is the one a plain pairwise reader of
// the lines builds.
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include "config/config_file.h"
#include "text/convert.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "config_fuzzer: %s\n", what);
  abort();
}

bool SameModel(const ordx::ConfigEntries& a, const ordx::ConfigEntries& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!(a[i].key == b[i].key) || a[i].values != b[i].values) return false;
  return true;
}

// Calls `line(key, value, bare)` for each line; a line without "=" is bare.
template <typename Line>
void ForEachLine(std::string_view bytes, Line line) {
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string_view text = bytes.substr(start, end - start);
    const std::size_t equals = text.find('=');
    line(text.substr(0, equals),
         equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1),
         equals == std::string_view::npos);
    start = end + 1;
  }
}

ordx::WideString Decode(std::string_view bytes) {
  const std::u16string units = ordx::DecodeBytes(bytes);
  return ordx::WideString(units.data(), units.size());
}

// The plain reader: a key's first spelling holds its values in order, a
// value equal (without regard to ASCII case) to an earlier one of its key is
// dropped, and blank lines (a lone CR too) are skipped.
ordx::ConfigEntries PairwiseRead(std::string_view bytes) {
  ordx::ConfigEntries model;
  ForEachLine(bytes, [&](std::string_view k, std::string_view v, bool bare) {
    if (v.empty() && (k.empty() || (bare && k == "\r"))) return;
    const ordx::WideString key = Decode(k), value = Decode(v);
    for (ordx::ConfigEntry& entry : model) {
      if (ordx::CompareNoCase(entry.key, key) != 0) continue;
      for (const ordx::WideString& held : entry.values)
        if (ordx::CompareNoCase(held, value) == 0) return;
      entry.values.push_back(value);
      return;
    }
    model.push_back(ordx::ConfigEntry{key, {value}});
  });
  return model;
}

void ReadWriteRead(std::string_view bytes) {
  ordx::ConfigEntries first;
  ordx::ParseConfigText(bytes, &first);
  const std::optional<std::string> written = ordx::FormatConfigText(first);
  Check(written.has_value(), "a model read from bytes cannot be written");
  std::set<std::string_view> pieces;
  ForEachLine(bytes, [&](std::string_view k, std::string_view v, bool) { pieces.insert({k, v}); });
  ForEachLine(*written, [&](std::string_view k, std::string_view v, bool) {
    Check(pieces.count(k) != 0, "key bytes changed");
    Check(pieces.count(v) != 0, "value bytes changed");
  });
  ordx::ConfigEntries second;
  ordx::ParseConfigText(*written, &second);
  Check(SameModel(first, second), "model changed by write and read");
  if (bytes.size() <= 1024) Check(SameModel(first, PairwiseRead(bytes)), "not the plain model");
}

}  // namespace

// In the user's UTF-8 locale and in "C", where no byte above 0x7F decodes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ordx::EnsureEnvironmentLocale();
  for (const char* locale : {"C.UTF-8", "C"}) {
    Check(std::setlocale(LC_ALL, locale) != nullptr, locale);
    ReadWriteRead(std::string_view(reinterpret_cast<const char*>(data), size));
  }
  return 0;
}
