// Kit decompression with every built backend: block boundaries, the end of
// the stream, damaged and cut streams, the output bounds and cancelling.
// Both backends are also held to the same result and bytes on every kit the
// tests and the fuzzer's seed corpus have.
#include "kit/decompress.h"

#include <gtest/gtest.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class DecompressTest : public KitTest, public testing::WithParamInterface<InflateBackend> {
 protected:
  // Unpacks `kit` with the backend under test; `output` gets what was written.
  ErrorCode Unpack(const std::string& kit, DecompressOptions options = {}) {
    WriteBytes(Path("kit"), kit);
    ScopedHandle in, out;
    EXPECT_EQ(OpenRegularFile(W(Path("kit")), in.out()), 0u);
    EXPECT_EQ(CreateAnonymousFile(W(tmp_), out.out()), 0u);
    options.backend = GetParam();
    options.compressedBytesRead = &read_;
    const ErrorCode rc = DecompressKit(in.get(), out.get(), options);
    std::uint64_t size = 0;
    EXPECT_EQ(GetFileSizeOf(out.get(), &size), 0u);
    output_.assign(size, '\0');
    std::uint32_t got = 0;
    EXPECT_EQ(ReadFileAt(out.get(), 0, output_.data(), static_cast<std::uint32_t>(size), &got), 0u);
    return rc;
  }

  std::string output_;
  std::atomic<std::uint64_t> read_{0};
};

TEST_P(DecompressTest, BlockBoundariesAndTheEndOfTheStream) {
  EXPECT_EQ(Unpack(DeflateRaw("")), 0u);
  EXPECT_EQ(output_, "");
  // One stored block holds at most 65535 bytes and costs 5 more: these kits
  // end one byte before, on and after a read block.
  for (const std::size_t size : {kDecompressBlock - 1, kDecompressBlock, kDecompressBlock + 1}) {
    SCOPED_TRACE(size);
    const std::size_t blocks = (size + 65539) / 65540;
    const std::string data = TestData(size - 5 * blocks, static_cast<std::uint32_t>(size), 0);
    ASSERT_EQ(StoredBlocks(data).size(), size);
    EXPECT_EQ(Unpack(StoredBlocks(data)), 0u);
    EXPECT_TRUE(output_ == data);
    EXPECT_EQ(read_.load(), size);
  }
  // Whatever follows the stream is neither decoded nor read past the block
  // that holds the stream's end.
  const std::string data = TestData(3 << 20) + std::string(2 << 20, 'z');
  const std::string stream = DeflateRaw(data, 6);
  // Appended rather than "\x07" + TestData(...): GCC 12 reports a false
  // -Wrestrict overlap for a literal prepended to a temporary string.
  std::string noise = "\x07";
  noise += TestData(6 << 20, 7, 0);
  for (const std::string& tail : {std::string("x"), DeflateRaw("more"), noise}) {
    EXPECT_EQ(Unpack(stream + tail), 0u);
    EXPECT_TRUE(output_ == data);
    EXPECT_LE(read_.load(), (stream.size() / kDecompressBlock + 1) * kDecompressBlock);
  }
}

TEST_P(DecompressTest, DamagedAndCutStreams) {
  const std::string data = TestData(3 << 20);
  const std::string stream = DeflateRaw(data, 6);
  const std::string noise = TestData(150000, 7, 0);
  std::string unfinished = StoredBlocks(noise, 40000);  // no block is the final one
  unfinished[unfinished.size() - noise.size() % 40000 - 5] = '\0';
  const std::pair<const char*, std::string> cases[] = {
      {"empty file", ""},
      {"cut after one byte", stream.substr(0, 1)},
      {"cut in the middle", stream.substr(0, stream.size() / 2)},
      {"cut one byte short", stream.substr(0, stream.size() - 1)},
      {"good blocks that just stop", unfinished},
      {"reserved block type after good blocks", unfinished + '\x07' + TestData(100, 8, 0)},
      {"gzip wrapper", "\x1f\x8b\x08" + std::string(7, '\0') + DeflateRaw("gz")},
      {"zlib wrapper", "\x78\x9c" + DeflateRaw("zlib")},
  };
  for (const auto& [what, kit] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Unpack(kit), kErrorInvalidData);
  }
}

TEST_P(DecompressTest, OutputBoundsAndCancel) {
  const std::string data = TestData(5 << 20);
  const std::string kit = DeflateRaw(data, 1);
  struct Case {
    const char* what;
    std::uint64_t maxOutput, spaceLimit;
    ErrorCode expected;
  };
  const std::uint64_t n = data.size();
  for (const Case& c : {Case{"exactly the most", n, n, 0u}, Case{"one byte too many", n - 1, n,
                                                                   kErrorInvalidData},
                        Case{"exactly the room", n + 5, n, 0u},
                        Case{"one byte more than the room", n + 5, n - 1, kErrorDiskFull}}) {
    SCOPED_TRACE(c.what);
    DecompressOptions options;
    options.maxOutput = c.maxOutput;
    options.spaceLimit = c.spaceLimit;
    EXPECT_EQ(Unpack(kit, options), c.expected);
    // Nothing beyond a bound reaches the disk.
    EXPECT_LE(output_.size(), std::min(c.maxOutput, c.spaceLimit));
  }
  const std::atomic<bool> cancel{true};
  DecompressOptions options;
  options.cancel = &cancel;
  EXPECT_EQ(Unpack(kit, options), kErrorCancelled);
  EXPECT_EQ(output_, "");
}

INSTANTIATE_TEST_SUITE_P(Backends, DecompressTest, testing::ValuesIn(BuiltInflateBackends()),
                         [](const testing::TestParamInfo<InflateBackend>& param) {
                           return param.param == InflateBackend::kIsal ? "isal" : "zlib";
                         });

}  // namespace
}  // namespace ordx::kittest
