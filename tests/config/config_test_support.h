// Shared pieces of the starter configuration tests: a private temporary
// folder that HOME and TMPDIR point into, and byte-level file helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "engine/file_layer.h"
#include "text/convert.h"

namespace ordx::testing_support {

namespace fs = std::filesystem;

inline WideString W(const std::string& utf8) {
  return ToWide(NarrowString(utf8.c_str(), utf8.size()));
}
inline std::string N(const WideString& wide) {
  const NarrowString narrow = ToNarrow(wide);
  return std::string(narrow.c_str(), narrow.length());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::optional<std::string> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::set<std::string> ListTree(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(root))
    names.insert(fs::relative(item.path(), root).string());
  return names;
}

// A fresh folder under $TMPDIR holding "home" and "tmp"; HOME and TMPDIR
// point there for the test and are restored afterwards.
class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/ordx-config-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    tmp_ = root_ / "tmp";
    fs::create_directories(home_);
    fs::create_directories(tmp_);
    Save("HOME", &savedHome_);
    Save("TMPDIR", &savedTmp_);
    setenv("HOME", home_.c_str(), 1);
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override {
    SetFaultHook(FaultHook());
    Restore("HOME", savedHome_);
    Restore("TMPDIR", savedTmp_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path root_, home_, tmp_;

 private:
  static void Save(const char* name, std::optional<std::string>* slot) {
    const char* value = std::getenv(name);
    if (value != nullptr) *slot = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  std::optional<std::string> savedHome_, savedTmp_;
};

}  // namespace ordx::testing_support
