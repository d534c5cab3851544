// Fuzz target for the starter configuration reader: whatever the bytes,
// reading, writing and reading again must give the same model, the written
// form must be stable, every key and value written must be one of the
// input's byte for byte, and the indexed reader must agree with AddValue.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "fs/file_layer.h"
#include "text/convert.h"

namespace {

// The starter files are read in the user's UTF-8 locale; fixed before the
// first conversion fixes the process locale.
const bool kUtf8Locale = [] { return setenv("LC_ALL", "C.UTF-8", 1) == 0; }();

bool SameModel(const ordx::ConfigEntries& a, const ordx::ConfigEntries& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!(a[i].key == b[i].key) || a[i].values != b[i].values) return false;
  return true;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "config_fuzzer: %s\n", what);
  abort();
}

// A private folder for the file round trip, made once per process and
// removed at exit.
class WorkDirectory {
 public:
  WorkDirectory() {
    const char* base = getenv("TMPDIR");
    path_ = std::string(base != nullptr ? base : "/tmp") + "/ordx-cfuzz-XXXXXX";
    Check(mkdtemp(path_.data()) != nullptr, "mkdtemp failed");
  }
  ~WorkDirectory() {
    unlink(File("in.cfg").c_str());
    unlink(File("out.cfg").c_str());
    rmdir(path_.c_str());
  }
  std::string File(const char* name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

ordx::WideString Decode(std::string_view bytes) {
  const std::u16string units = ordx::DecodeBytes(bytes);
  return ordx::WideString(units.data(), units.size());
}

// The raw key and value of every line of the input (a bare line's value is
// empty), and the same of every line written: nothing may be written that
// the input did not hold byte for byte.
void SplitLines(std::string_view bytes, std::set<std::string_view>* keys,
                std::set<std::string_view>* values) {
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string_view line = bytes.substr(start, end - start);
    const std::size_t equals = line.find('=');
    keys->insert(line.substr(0, equals));
    values->insert(equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1));
    start = end + 1;
  }
}

// Appends value to key's entry unless an equal value (case-insensitive) is
// there; creates the entry at the end when the key is new. Pairwise and
// quadratic, the plain model the reader's index must agree with.
void AddValue(ordx::ConfigEntries* entries, const ordx::WideString& key,
              const ordx::WideString& value) {
  for (ordx::ConfigEntry& entry : *entries) {
    if (ordx::CompareNoCase(entry.key, key) != 0) continue;
    for (const ordx::WideString& held : entry.values)
      if (ordx::CompareNoCase(held, value) == 0) return;
    entry.values.push_back(value);
    return;
  }
  entries->push_back(ordx::ConfigEntry{key, {value}});
}

// A plain second reader: split the bytes into lines, each line at its first
// "=", and feed every pair through AddValue.
ordx::ConfigEntries ReferenceRead(std::string_view bytes) {
  ordx::ConfigEntries reference;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string_view line = bytes.substr(start, end - start);
    const std::size_t equals = line.find('=');
    const std::string_view key = line.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    const bool bareLine = equals == std::string_view::npos;
    const bool blank = value.empty() && (key.empty() || (bareLine && key == "\r"));
    if (!blank) AddValue(&reference, Decode(key), Decode(value));
    start = end + 1;
  }
  return reference;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Check(kUtf8Locale, "setenv failed");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  ordx::ConfigEntries first;
  ordx::ParseConfigText(bytes, &first);
  const std::optional<std::string> encoded = ordx::FormatConfigText(first);
  Check(encoded.has_value(), "a model read from bytes cannot be written");
  const std::string& written = *encoded;
  std::set<std::string_view> keysIn, valuesIn, keysOut, valuesOut;
  SplitLines(bytes, &keysIn, &valuesIn);
  SplitLines(written, &keysOut, &valuesOut);
  for (const std::string_view key : keysOut) Check(keysIn.count(key) != 0, "key bytes changed");
  for (const std::string_view value : valuesOut)
    Check(valuesIn.count(value) != 0, "value bytes changed");
  ordx::ConfigEntries second;
  ordx::ParseConfigText(written, &second);
  Check(SameModel(first, second), "model changed by write and read");
  Check(ordx::FormatConfigText(second) == written, "written form not stable");
  if (size <= 1024) Check(SameModel(first, ReferenceRead(bytes)), "index disagrees with AddValue");

  // The same round trip through real files and the atomic writer.
  static const WorkDirectory work;
  const std::string source = work.File("in.cfg");
  const std::string target = work.File("out.cfg");
  FILE* file = std::fopen(source.c_str(), "wb");
  Check(file != nullptr, "cannot create input file");
  Check(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0, "cannot write input");
  ordx::ConfigEntries fromFile;
  ordx::ReadConfigFile(ordx::ToWide(source.c_str()), &fromFile);
  Check(SameModel(first, fromFile), "file read differs from text read");
  ordx::WriteConfigFile(ordx::ToWide(target.c_str()), fromFile);
  ordx::ConfigEntries reread;
  ordx::ReadConfigFile(ordx::ToWide(target.c_str()), &reread);
  Check(SameModel(first, reread), "model changed by file write and read");
  return 0;
}
