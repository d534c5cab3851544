// Every built inflate backend gives the expected code and bytes on whole, cut and damaged
// kits, at block boundaries, past the stream's end, at the output bounds and on a cancel.
#include "kit/decompress.h"

#include <gtest/gtest.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

struct Case {
  std::string what, kit;
  ErrorCode code;
  std::string data;  // the whole output, or what a failed run's output starts like
  std::uint64_t maxOutput = kMaxUnpackedKit, spaceLimit = UINT64_MAX, maxRead = UINT64_MAX;
  bool cancel = false;
  std::vector<InflateBackend> backends = BuiltInflateBackends();
};

using DecompressTest = KitTest;
constexpr ErrorCode kBad = kErrorInvalidData;

TEST_F(DecompressTest, EveryBackendGivesTheExpectedCodeAndBytes) {
  const std::string mixed = TestData(300000, 3) + TestData(90000, 7, 0) + std::string(150000, 0);
  const std::string encodings[] = {StoredBlocks(mixed, 7777),
                                   DeflateRaw(mixed, 6, Z_FIXED), DeflateRaw(mixed, 9)};
  const std::string big = TestData(3 << 20) + std::string(2 << 20, 'z');
  const std::string stream = DeflateRaw(big, 6);
  const std::uint64_t n = big.size(), max = kMaxUnpackedKit;
  const std::uint64_t endBlock = (stream.size() / kDecompressBlock + 1) * kDecompressBlock;
  const std::string noise = std::string(1, '\x07') + TestData(6 << 20, 7, 0);  // bad block type
  const std::string unfinished = StoredBlocks(noise.substr(1, 150000), 40000, false);
  std::vector<Case> cases = {
      {"empty stream", DeflateRaw(""), 0, ""},
      {"stored", encodings[0], 0, mixed},
      {"fixed Huffman", encodings[1], 0, mixed},
      {"dynamic Huffman", encodings[2], 0, mixed},
      // What follows the stream is neither decoded nor read past the block of its end.
      {"a byte after the stream", stream + "x", 0, big, max, UINT64_MAX, endBlock},
      {"noise after it", stream + noise, 0, big, max, UINT64_MAX, endBlock},
      {"empty file", "", kBad, ""},
      {"cut one byte short", stream.substr(0, stream.size() - 1), kBad, big},
      {"good blocks that just stop", unfinished, kBad, noise.substr(1)},
      {"reserved block type", unfinished + noise, kBad, noise.substr(1)},
      {"exactly the most", stream, 0, big, n, n},
      {"one byte beyond the most", stream, kBad, big, n - 1, n},
      {"exactly the room", stream, 0, big, n + 5, n},
      {"one byte beyond the room", stream, kErrorDiskFull, big, n + 5, n - 1},
      {"cancelled", stream, kErrorCancelled, "", max, UINT64_MAX, 0, true},
      {"unknown backend", stream, kBad, "", max, UINT64_MAX, 0, false, {InflateBackend{7}}},
  };
  for (const std::string& kit : encodings)
    for (const std::size_t at : {std::size_t{1}, kit.size() / 2, kit.size() - 3})
      cases.push_back({"cut at " + std::to_string(at), kit.substr(0, at), kBad, mixed});
  // Stored blocks (65535 bytes, 5 more each) ending one byte before, on and after a read block.
  for (const std::size_t size : {kDecompressBlock - 1, kDecompressBlock, kDecompressBlock + 1}) {
    const std::string data = TestData(size - 5 * ((size + 65539) / 65540), 9, 0);
    cases.push_back({std::to_string(size), StoredBlocks(data), 0, data, max, UINT64_MAX, size});
  }
  for (const Case& c : cases) {
    for (const InflateBackend backend : c.backends) {
      SCOPED_TRACE(c.what + " with " + InflateBackendName(backend));
      WriteBytes(Path("kit"), c.kit);
      ScopedHandle in, out;
      ASSERT_EQ(OpenRegularFile(W(Path("kit")), in.out()), 0u);
      ASSERT_EQ(CreateAnonymousFile(W(tmp_), out.out()), 0u);
      const std::atomic<bool> cancel{c.cancel};
      std::atomic<std::uint64_t> read{0};
      const DecompressOptions options{backend, c.maxOutput, c.spaceLimit, &cancel, &read};
      EXPECT_EQ(DecompressKit(in.get(), out.get(), options), c.code);
      const std::string bytes = ReadBytes("/proc/self/fd/" + std::to_string(out.get()));
      EXPECT_TRUE(c.code == 0 ? bytes == c.data : c.data.starts_with(bytes));
      EXPECT_LE(bytes.size(), std::min(c.maxOutput, c.spaceLimit));  // nothing beyond a bound
      EXPECT_LE(read.load(), c.maxRead);
    }
  }
}

}  // namespace
}  // namespace ordx::kittest
