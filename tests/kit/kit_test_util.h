// Shared pieces of the kit tests: a fixture that gives each test its own
// temporary directory (and TMPDIR), checks that no descriptor leaks and
// that nothing named "kpx*" stays behind, plus deterministic test data.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/file_layer.h"
#include "kit_builder.h"
#include "text/convert.h"

namespace ordx::kittest {

inline int CountOpenDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++count;
    closedir(d);
  }
  return count;
}

inline std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = opendir(path.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(d);
  }
  return names;
}

// Mildly compressible bytes: words from a small vocabulary mixed with noise.
inline std::string TestData(std::size_t size, std::uint32_t seed = 1) {
  static const char* const kWords[] = {"template ", "config ", "value=", "\n",  "ordo ",
                                       "<item>",    "</item>", "42 ",    "kit "};
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) {
    if (rng() % 4 == 0) {
      out += static_cast<char>(rng() & 0xFF);
    } else {
      out += kWords[rng() % (sizeof(kWords) / sizeof(kWords[0]))];
    }
  }
  out.resize(size);
  return out;
}

inline std::string RandomBytes(std::size_t size, std::uint32_t seed = 7) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

// A path as the file layer takes it (it converts back the same way).
inline WideString W(const std::string& path) { return ToWide(NarrowString(path.c_str())); }

class KitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    tmp_ = *dir_ / "tmp";
    ASSERT_EQ(mkdir(tmp_.c_str(), 0700), 0);
    const char* old = std::getenv("TMPDIR");
    hadTmpdir_ = old != nullptr;
    if (hadTmpdir_) oldTmpdir_ = old;
    setenv("TMPDIR", tmp_.c_str(), 1);
    descriptors_ = CountOpenDescriptors();
  }

  void TearDown() override {
    SetFaultHook(nullptr);
    EXPECT_EQ(CountOpenDescriptors(), descriptors_) << "a descriptor leaked";
    if (hadTmpdir_) {
      setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    dir_.reset();
  }

  std::string Path(const std::string& name) const { return *dir_ / name; }

  // Names in the temporary directory that start with "kpx".
  std::vector<std::string> KpxFiles() const {
    std::vector<std::string> found;
    for (const std::string& n : ListDirectory(tmp_))
      if (n.rfind("kpx", 0) == 0) found.push_back(n);
    return found;
  }

  std::unique_ptr<TempDir> dir_;
  std::string tmp_;

 private:
  bool hadTmpdir_ = false;
  std::string oldTmpdir_;
  int descriptors_ = 0;
};

}  // namespace ordx::kittest
