// Shared pieces of the kit tests: deterministic data, and a fixture that gives
// each test its own folder and TMPDIR and checks that nothing leaks.
#pragma once

#include <random>

#include "fs/file_layer.h"
#include "kit_forge.h"
#include "support/temp_tree.h"

namespace ordx::kittest {

using namespace testsupport;  // NOLINT: test helpers only

// Bytes from a small vocabulary mixed with noise (`words` = 0: noise only).
inline std::string TestData(std::size_t size, std::uint32_t seed = 1, unsigned words = 3) {
  static const char* const kWords[] = {"template ", "config ", "value=", "\n", "<item>", "42 "};
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < size)
    out += rng() % (words + 1) == 0 ? std::string(1, static_cast<char>(rng())) : kWords[rng() % 6];
  return out.substr(0, size);
}

class KitTest : public TempTreeTest {
 protected:
  KitTest() : TempTreeTest({.strict = true}) {}
  void TearDown() override { SetFaultHook(nullptr); }
};

}  // namespace ordx::kittest
