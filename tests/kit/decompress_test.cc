// Kit decompression: status rules, window boundaries, and failures of the
// files around it.
#include "kit/decompress.h"

#include <gtest/gtest.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class DecompressTest : public KitTest {
 protected:
  // Writes `kit`, decompresses it, keeps the output in `output_`.
  ErrorCode Run(const std::string& kit) {
    WriteBytes(Path("kit"), kit);
    const ErrorCode rc = DecompressKit(W(Path("kit")), W(Path("out")));
    output_ = ReadBytes(Path("out"));
    return rc;
  }
  std::string output_;
};

TEST_F(DecompressTest, EmptyKitAndEmptyStreamGiveEmptyOutput) {
  for (const std::string& kit : {std::string(), DeflateRaw("")}) {
    WriteBytes(Path("out"), "stale contents");  // created or truncated
    EXPECT_EQ(Run(kit), 0u);
    EXPECT_EQ(output_, "");
  }
}

TEST_F(DecompressTest, KitsAroundTheWindowSize) {
  // One stored block: the kit is its data plus 5 bytes. 32769 ends with a
  // one-byte piece that still holds part of the stream.
  for (const std::size_t size : {32767u, 32768u, 32769u, 65536u, 65537u}) {
    SCOPED_TRACE(size);
    const std::string data = RandomBytes(size - 5, static_cast<std::uint32_t>(size));
    const std::string kit = StoredBlocks(data);
    ASSERT_EQ(kit.size(), size);
    EXPECT_EQ(Run(kit), 0u);
    EXPECT_TRUE(output_ == data);
  }
  const std::string data = TestData(3 << 20) + std::string(2 << 20, 'z');
  EXPECT_EQ(Run(DeflateRaw(data)), 0u);
  EXPECT_TRUE(output_ == data);
}

TEST_F(DecompressTest, TrailingBytesAreIgnoredAndACutStreamIsNoError) {
  const std::string data = TestData(300000);
  const std::string stream = DeflateRaw(data, 6);
  for (const std::size_t tail : {1u, 200000u}) {
    EXPECT_EQ(Run(stream + RandomBytes(tail)), 0u);
    EXPECT_TRUE(output_ == data);
  }
  EXPECT_EQ(Run(DeflateRaw("first") + DeflateRaw("second")), 0u);
  EXPECT_EQ(output_, "first");

  for (const std::size_t keep : {stream.size() / 3, stream.size() * 2 / 3}) {
    EXPECT_EQ(Run(stream.substr(0, keep)), 0u);
    EXPECT_LT(output_.size(), data.size());
    EXPECT_TRUE(output_ == data.substr(0, output_.size()));
  }
}

TEST_F(DecompressTest, BadDataIsCodeThirteen) {
  const std::string gzipHeader("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  EXPECT_EQ(Run(gzipHeader + DeflateRaw("gzip")), 13u);
  // Good non-final blocks over several windows, then the reserved block
  // type (final flag set, type 11).
  const std::string data = RandomBytes(150000);
  std::string stream = StoredBlocks(data, 40000);
  stream[stream.size() - data.size() % 40000 - 5] = '\0';  // last block not final
  ASSERT_EQ(Run(stream), 0u);                              // blocks that just stop: a cut stream
  EXPECT_TRUE(output_ == data);
  EXPECT_EQ(Run(stream + '\x07' + RandomBytes(100)), kErrorInvalidData);
  EXPECT_EQ(output_.size(), data.size());
}

TEST_F(DecompressTest, FileFailuresAreReported) {
  EXPECT_EQ(DecompressKit(W(Path("missing")), W(Path("out"))), kErrorFileNotFound);
  WriteBytes(Path("kit"), DeflateRaw(TestData(200000)));
  // The kit's descriptor must be closed again (checked in TearDown).
  EXPECT_EQ(DecompressKit(W(Path("kit")), W(Path("no/such/dir/out"))), kErrorFileNotFound);
  for (const FileOp op :
       {FileOp::kCreateFile, FileOp::kWriteFile, FileOp::kSetFilePointer, FileOp::kSetEndOfFile}) {
    SCOPED_TRACE(static_cast<int>(op));
    SetFaultHook([op](FileOp seen, const WideString&) { return seen == op ? 87u : 0u; });
    EXPECT_EQ(DecompressKit(W(Path("kit")), W(Path("out"))), 87u);
  }
  // A write failing midway (a full disk) fails the unpacking instead of
  // leaving a silently short copy.
  int writes = 0;
  SetFaultHook([&writes](FileOp op, const WideString&) {
    return op == FileOp::kWriteFile && ++writes == 3 ? 87u : 0u;
  });
  EXPECT_EQ(DecompressKit(W(Path("kit")), W(Path("out"))), 87u);
}

}  // namespace
}  // namespace ordx::kittest
