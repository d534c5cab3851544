// Shared pieces of the starter-file tests: a private HOME and TMPDIR, byte-level file helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "fs/file_layer.h"
#include "support/deadline.h"
#include "support/scoped_locale.h"
#include "text/convert.h"

namespace ordx::testing_support {

namespace fs = std::filesystem;

inline WideString W(const std::string& s) { return ToWide(NarrowString(s.c_str(), s.size())); }
inline std::string N(const WideString& wide) { return std::string(ToNarrow(wide).view()); }
inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}
inline std::optional<std::string> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}
inline std::set<std::string> ListTree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root)) names.insert(item.path());
  return names;
}

// A fresh folder under the first $TMPDIR with "home" and "tmp" for HOME and TMPDIR, in a UTF-8 locale.
class TempHomeTest : public ::testing::Test {
 protected:
  TempHomeTest() {
    for (const fs::path& dir : {home_, tmp_}) fs::create_directories(dir);
    setenv("HOME", home_.c_str(), 1);
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  ~TempHomeTest() override { SetFaultHook(FaultHook()), fs::remove_all(root_); }
  WideString Path(const std::string& name) const { return W((home_ / name).string()); }
  static fs::path MakeRoot() {
    static const std::string base = fs::temp_directory_path() / "ordx-XXXXXX";  // the first
    std::string pattern = base;
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    return pattern;
  }
  const ScopedLocale utf8_{"C.UTF-8"};
  const fs::path root_ = MakeRoot(), home_ = root_ / "home", tmp_ = root_ / "tmp";
};

}  // namespace ordx::testing_support
