// Runs a fuzz target over every file of its seed corpus, for test runs without libFuzzer.
#include <cstdint>
#include <cstdio>

#include "support/temp_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]), 2;
  int inputs = 0;
  for (const auto& item : std::filesystem::directory_iterator(argv[1])) {
    const std::string bytes = ordx::testsupport::ReadBytes(item.path());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++inputs;
  }
  return std::printf("replayed %d inputs\n", inputs), inputs == 0;
}
