// Fuzz target for the starter-file reader: whatever the bytes, in the user's
// UTF-8 locale and in "C", the written form holds only keys and values of the
// input, byte for byte, and reads back as the same model.
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
  std::abort();
}

// The key and the value of every line.
std::set<std::string_view> Pieces(std::string_view bytes) {
  std::set<std::string_view> pieces;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string_view line = bytes.substr(start, end - start);
    const std::size_t equals = std::min(line.find('='), line.size());
    pieces.insert({line.substr(0, equals), line.substr(std::min(equals + 1, line.size()))});
    start = end + 1;
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ordx::EnsureEnvironmentLocale();
  for (const char* locale : {"C.UTF-8", "C"}) {
    Check(std::setlocale(LC_ALL, locale) != nullptr, locale);
    ordx::ConfigEntries first, second;
    ordx::ParseConfigText(bytes, &first);
    const std::optional<std::string> written = ordx::FormatConfigText(first);
    Check(written.has_value(), "a model read from bytes cannot be written");
    const std::set<std::string_view> in = Pieces(bytes), out = Pieces(*written);
    Check(std::includes(in.begin(), in.end(), out.begin(), out.end()), "bytes changed");
    ordx::ParseConfigText(*written, &second);
    Check(ordx::FormatConfigText(second) == written, "model changed by write and read");
  }
  return 0;
}
