// Kit decompression with every built inflate backend: whole and damaged
// kits, block boundaries, data after the stream, the output bounds and
// cancelling. Each backend must give the expected code and bytes, and on
// damage whose outcome depends on where it falls, the same as the others.
#include "kit/decompress.h"

#include <gtest/gtest.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

struct Outcome {
  ErrorCode code;
  std::string bytes;   // what reached the output
  std::uint64_t read;  // kit bytes read
};

struct Case {
  std::string what, kit;
  ErrorCode code;
  std::string data;  // the whole output, or what a failed run's output starts like
  std::uint64_t maxOutput = kMaxUnpackedKit, spaceLimit = UINT64_MAX, maxRead = UINT64_MAX;
  bool cancel = false;
};

class DecompressTest : public KitTest {
 protected:
  Outcome Unpack(const std::string& kit, InflateBackend backend, DecompressOptions options = {}) {
    WriteBytes(Path("kit"), kit);
    ScopedHandle in, out;
    EXPECT_EQ(OpenRegularFile(W(Path("kit")), in.out()), 0u);
    EXPECT_EQ(CreateAnonymousFile(W(tmp_), out.out()), 0u);
    std::atomic<std::uint64_t> read{0};
    options.backend = backend;
    options.compressedBytesRead = &read;
    Outcome o{DecompressKit(in.get(), out.get(), options), {}, 0};
    std::uint64_t size = 0;
    EXPECT_EQ(GetFileSizeOf(out.get(), &size), 0u);
    o.bytes.resize(size);
    std::uint32_t got = 0;
    EXPECT_EQ(ReadFileAt(out.get(), 0, o.bytes.data(), static_cast<std::uint32_t>(size), &got), 0u);
    o.read = read;
    return o;
  }
};

TEST_F(DecompressTest, EveryBackendGivesTheExpectedCodeAndBytes) {
  const std::string container = KitBuilder()
                                    .AddDescription(u"en", u"Product", u"Vendor", u"doc")
                                    .AddFile(u"t\\big.xml", TestData(300000, 3))
                                    .AddFile(u"noise", TestData(90000, 7, 0))
                                    .AddFile(u"zeros", std::string(150000, 0))
                                    .Build();
  const std::string encodings[] = {StoredBlocks(container, 7777),
                                   DeflateRaw(container, 6, Z_FIXED), DeflateRaw(container, 9)};
  const std::string big = TestData(3 << 20) + std::string(2 << 20, 'z');
  const std::string stream = DeflateRaw(big, 6);
  const std::uint64_t n = big.size(), endBlock = (stream.size() / kDecompressBlock + 1) * kDecompressBlock;
  // Appended rather than "\x07" + TestData(...): GCC 12 reports a false
  // -Wrestrict overlap for a literal prepended to a temporary string.
  std::string noise = "\x07";
  noise += TestData(6 << 20, 7, 0);
  const std::string unfinished = StoredBlocks(noise.substr(1, 150000), 40000, false);
  std::vector<Case> cases = {
      {"empty stream", DeflateRaw(""), 0, ""},
      {"stored", encodings[0], 0, container},
      {"fixed Huffman", encodings[1], 0, container},
      {"dynamic Huffman", encodings[2], 0, container},
      // What follows the stream is neither decoded nor read past the block of its end.
      {"a byte after the stream", stream + "x", 0, big, kMaxUnpackedKit, UINT64_MAX, endBlock},
      {"a stream after it", stream + DeflateRaw("z"), 0, big, kMaxUnpackedKit, UINT64_MAX, endBlock},
      {"noise after it", stream + noise, 0, big, kMaxUnpackedKit, UINT64_MAX, endBlock},
      {"empty file", "", kErrorInvalidData, ""},
      {"cut after one byte", stream.substr(0, 1), kErrorInvalidData, big},
      {"cut one byte short", stream.substr(0, stream.size() - 1), kErrorInvalidData, big},
      {"good blocks that just stop", unfinished, kErrorInvalidData, noise.substr(1)},
      {"reserved block type", unfinished + noise, kErrorInvalidData, noise.substr(1)},
      {"gzip wrapper", "\x1f\x8b\x08" + std::string(7, '\0') + DeflateRaw("gz"), kErrorInvalidData, ""},
      {"zlib wrapper", "\x78\x9c" + DeflateRaw("zlib"), kErrorInvalidData, ""},
      {"exactly the most", stream, 0, big, n, n},
      {"one byte beyond the most", stream, kErrorInvalidData, big, n - 1, n},
      {"exactly the room", stream, 0, big, n + 5, n},
      {"one byte beyond the room", stream, kErrorDiskFull, big, n + 5, n - 1},
      {"cancelled", stream, kErrorCancelled, "", kMaxUnpackedKit, UINT64_MAX, 0, true},
  };
  for (const std::string& kit : encodings)
    for (const std::size_t at : {kit.size() / 7, kit.size() / 2, kit.size() - 3})
      cases.push_back({"cut at " + std::to_string(at), kit.substr(0, at), kErrorInvalidData, container});
  // A stored block holds at most 65535 bytes and costs 5 more: these kits
  // end one byte before, on and after a read block.
  for (const std::size_t size : {kDecompressBlock - 1, kDecompressBlock, kDecompressBlock + 1}) {
    const std::string data = TestData(size - 5 * ((size + 65539) / 65540), 9, 0);
    cases.push_back({"stored, " + std::to_string(size) + " bytes", StoredBlocks(data), 0, data,
                     kMaxUnpackedKit, UINT64_MAX, size});
  }
  for (const Case& c : cases) {
    for (const InflateBackend backend : BuiltInflateBackends()) {
      SCOPED_TRACE(c.what + " with " + InflateBackendName(backend));
      const std::atomic<bool> cancel{c.cancel};
      DecompressOptions options;
      options.maxOutput = c.maxOutput;
      options.spaceLimit = c.spaceLimit;
      options.cancel = &cancel;
      const Outcome o = Unpack(c.kit, backend, options);
      EXPECT_EQ(o.code, c.code);
      EXPECT_TRUE(c.code == 0 ? o.bytes == c.data : c.data.starts_with(o.bytes));
      // Nothing beyond a bound reaches the disk.
      EXPECT_LE(o.bytes.size(), std::min(c.maxOutput, c.spaceLimit));
      EXPECT_LE(o.read, c.maxRead);
    }
  }
  // Single flipped bytes: whatever the first backend makes of them, the others make too.
  const std::vector<InflateBackend> backends = BuiltInflateBackends();
  for (const std::string& kit : encodings) {
    for (const std::size_t at : {kit.size() / 7, kit.size() / 2, kit.size() - 3}) {
      std::string flipped = kit;
      flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
      const Outcome first = Unpack(flipped, backends[0]);
      for (std::size_t i = 1; i < backends.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "flipped at " << at << " of " << kit.size());
        const Outcome other = Unpack(flipped, backends[i]);
        EXPECT_EQ(other.code, first.code);
        if (first.code == 0) { EXPECT_TRUE(other.bytes == first.bytes); }
      }
    }
  }
  EXPECT_EQ(Unpack(stream, static_cast<InflateBackend>(7)).code, kErrorInvalidData);
}

}  // namespace
}  // namespace ordx::kittest
