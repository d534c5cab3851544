// Fuzz target for the text conversions: any bytes come back byte for byte
// through the wide form, in the UTF-8, the plain C and a Latin-1 locale; any
// units that the exact conversion accepts come back unit for unit; and the
// buffer-level functions agree with the whole-string ones.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "text/convert.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "convert_fuzzer: %s\n", what);
  std::abort();
}

void BytesSide(std::string_view bytes) {
  std::string back;
  Check(ordx::EncodeBytes(ordx::DecodeBytes(bytes), &back), "decoded bytes refused");
  Check(back == std::string(bytes), "bytes changed by the round trip");

  const std::string text(bytes.substr(0, bytes.find('\0')));
  const ordx::WideString wide = ordx::ToWide(ordx::NarrowString(text.c_str(), text.size()));
  Check(std::string_view(ordx::ToNarrow(wide).c_str()) == text, "ToNarrow lost bytes");
  ordx::NarrowString exact;
  Check(ordx::ToNarrowExact(wide, &exact) && std::string_view(exact.c_str()) == text,
        "ToNarrowExact refused decoded text");

  const std::uint32_t count = ordx::MultiByteToWideChar(0, 0, text.c_str(), -1, nullptr, 0);
  Check(count == wide.length(), "size query differs from ToWide");
  std::vector<char16_t> units(count + 1, 0);
  ordx::MultiByteToWideChar(0, 0, text.c_str(), -1, units.data(), static_cast<std::int32_t>(count));
  Check(std::u16string_view(units.data(), count) == wide.view(), "buffer decoding differs");
}

void UnitsSide(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  std::string encoded;
  if (ordx::EncodeBytes(units, &encoded)) {
    Check(ordx::DecodeBytes(encoded) == units, "accepted units changed by the round trip");
  }
  const ordx::WideString wide(units.data(), units.size());
  ordx::NarrowString exact;
  if (ordx::ToNarrowExact(wide, &exact)) {
    Check(std::strlen(exact.c_str()) == exact.length(), "exact path holds a zero byte");
    Check(ordx::ToWide(exact) == wide, "exact conversion does not come back");
  }
  // The reading form never fails and sizes agree with the buffer function.
  const ordx::NarrowString reading = ordx::ToNarrow(wide);
  const std::uint32_t need = ordx::WideCharToMultiByte(0, 0, wide.c_str(), -1, nullptr, 0);
  Check(need == reading.length(), "size query differs from ToNarrow");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ordx::EnsureEnvironmentLocale();
  // A Latin-1 locale too, where one is installed (or found through LOCPATH).
  for (const char* locale : {"C.UTF-8", "C", "en_US.ISO-8859-1"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    BytesSide(bytes);
    UnitsSide(bytes);
  }
  return 0;
}
