// Kit decompression: status rules and window boundaries. Failures of the
// files around it are covered through the reader's fault-injection test.
#include "kit/decompress.h"

#include <gtest/gtest.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

using DecompressTest = KitTest;

TEST_F(DecompressTest, StatusRulesAndWindowBoundaries) {
  std::string output;
  const auto run = [&](const std::string& kit) {  // keeps what it unpacked in `output`
    WriteBytes(Path("kit"), kit);
    const ErrorCode rc = DecompressKit(W(Path("kit")), W(Path("out")));
    output = ReadBytes(Path("out"));
    return rc;
  };
  for (const std::string& kit : {std::string(), DeflateRaw("")}) {
    WriteBytes(Path("out"), "stale contents");  // created or truncated
    EXPECT_EQ(run(kit), 0u);
    EXPECT_EQ(output, "");
  }
  // One stored block: the kit is its data plus 5 bytes, so these sizes
  // end exactly on a window or one byte into the next.
  for (const std::size_t size : {32767u, 32768u, 32769u, 65536u, 65537u}) {
    SCOPED_TRACE(size);
    const std::string data = TestData(size - 5, static_cast<std::uint32_t>(size), 0);
    ASSERT_EQ(StoredBlocks(data).size(), size);
    EXPECT_EQ(run(StoredBlocks(data)), 0u);
    EXPECT_TRUE(output == data);
  }
  const std::string data = TestData(3 << 20) + std::string(2 << 20, 'z');
  const std::string stream = DeflateRaw(data, 6);
  for (const std::string& tail : {std::string("x"), TestData(200000, 7, 0), DeflateRaw("more")}) {
    EXPECT_EQ(run(stream + tail), 0u);  // trailing bytes are ignored
    EXPECT_TRUE(output == data);
  }
  for (const std::size_t keep : {stream.size() / 3, stream.size() * 2 / 3}) {
    EXPECT_EQ(run(stream.substr(0, keep)), 0u);  // a cut stream is no error here
    EXPECT_LT(output.size(), data.size());
    EXPECT_TRUE(output == data.substr(0, output.size()));
  }
  // Bad data is code 13: a gzip file rather than a raw stream.
  EXPECT_EQ(run(std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + DeflateRaw("gz")),
            13u);
  // Good non-final blocks over several windows that just stop (a cut
  // stream), then the same followed by the reserved block type.
  const std::string noise = TestData(150000, 7, 0);
  std::string blocks = StoredBlocks(noise, 40000);
  blocks[blocks.size() - noise.size() % 40000 - 5] = '\0';
  ASSERT_EQ(run(blocks), 0u);
  EXPECT_TRUE(output == noise);
  EXPECT_EQ(run(blocks + '\x07' + TestData(100, 8, 0)), kErrorInvalidData);
  EXPECT_EQ(output.size(), noise.size());
}

}  // namespace
}  // namespace ordx::kittest
