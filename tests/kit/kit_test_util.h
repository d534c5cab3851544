// Shared pieces of the kit tests: deterministic data, and a fixture that gives
// each test its own folder and TMPDIR and checks that nothing leaks.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <random>

#include "fs/file_layer.h"
#include "support/kit_builder.h"
#include "text/convert.h"

namespace ordx::kittest {

inline std::size_t CountEntries(const std::string& dir) {
  return static_cast<std::size_t>(std::ranges::distance(std::filesystem::directory_iterator(dir)));
}

// Bytes from a small vocabulary mixed with noise (`words` = 0: noise only).
inline std::string TestData(std::size_t size, std::uint32_t seed = 1, unsigned words = 3) {
  static const char* const kWords[] = {"template ", "config ", "value=", "\n", "<item>", "42 "};
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < size)
    out += rng() % (words + 1) == 0 ? std::string(1, static_cast<char>(rng())) : kWords[rng() % 6];
  return out.substr(0, size);
}

inline WideString W(const std::string& path) { return ToWide(NarrowString(path.c_str())); }

class KitTest : public ::testing::Test {
 protected:
  KitTest() : oldTmpdir_(std::filesystem::temp_directory_path()) {
    std::string pattern = oldTmpdir_ + "/kittest.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    std::filesystem::create_directory(tmp_ = (root_ = pattern) + "/tmp");
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override { SetFaultHook(nullptr); }
  ~KitTest() override {  // after the derived fixtures' members (open readers) are gone
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors_) << "a descriptor leaked";
    EXPECT_EQ(CountEntries(tmp_), 0u) << "something was left in TMPDIR";
    setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    std::filesystem::remove_all(root_);
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

  std::string oldTmpdir_, root_, tmp_;
  std::size_t descriptors_ = CountEntries("/proc/self/fd");
};

}  // namespace ordx::kittest
