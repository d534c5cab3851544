// Kits compressed by other deflate encoders: zlib with every level and
// strategy, hand-made stored blocks, gzip's and zopfli's.
#include <gtest/gtest.h>
#include <unistd.h>

#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class KitEncodersTest : public KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    KitBuilder b;
    b.AddDescription(u"en", u"Product", u"Vendor", u"doc")
        .AddDescription(u"ru", u"П", u"Поставщик", u"");
    files_ = {{u"doc\\index.html", "<html/>"}, {u"t\\big.xml", TestData(300000, 3)},
              {u"t\\noise.bin", TestData(90000, 7, 0)}, {u"zeros", std::string(150000, '\0')},
              {u"empty", ""}};
    for (const auto& [name, bytes] : files_) b.AddFile(name, bytes);
    container_ = b.Build();
  }

  // Opens the kit made of `stream` and checks its entries and unpacked bytes.
  void ExpectKitReads(const std::string& stream) {
    WriteBytes(Path("kit"), stream);
    KitReader reader;
    ASSERT_EQ(reader.Open(W(Path("kit"))), 0u);
    ASSERT_EQ(reader.entries().size(), files_.size());
    for (std::size_t i = 0; i < files_.size(); ++i)
      EXPECT_EQ(std::u16string(reader.entries()[i].name.view()), files_[i].first);
    // The unpacked copy is the container, byte for byte.
    std::string unpacked(container_.size() + 1, '\0');
    unpacked.resize(pread(reader.file(), unpacked.data(), unpacked.size(), 0));
    EXPECT_TRUE(unpacked == container_);
  }

  std::vector<std::pair<std::u16string, std::string>> files_;
  std::string container_;
};

TEST_F(KitEncodersTest, Zlib) {
  for (int level = 0; level <= 9; ++level) {
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy);
      ExpectKitReads(DeflateRaw(container_, level, strategy));
    }
  }
  for (const std::size_t block : {1000u, 7777u, 65535u}) {
    SCOPED_TRACE(block);
    ExpectKitReads(StoredBlocks(container_, block));
  }
}

TEST_F(KitEncodersTest, GzipAndZopfli) {
  WriteBytes(Path("c"), container_);
  // gzip -n writes a 10-byte header without optional fields; an 8-byte trailer ends it.
  for (const char* level : {"-1", "-6", "-9"}) {
    SCOPED_TRACE(level);
    ASSERT_EQ(RunProgram({"gzip", "-k", "-f", "-n", level, Path("c").c_str()}), 0);
    const std::string gz = ReadBytes(Path("c.gz"));
    ASSERT_EQ(gz.substr(0, 4), std::string("\x1f\x8b\x08\0", 4));
    ExpectKitReads(gz.substr(10, gz.size() - 18));
  }
  if (RunCommand("command -v zopfli >/dev/null") != 0) GTEST_SKIP() << "zopfli is not installed";
  ASSERT_EQ(RunProgram({"zopfli", "--deflate", "--i1", Path("c").c_str()}), 0);
  ExpectKitReads(ReadBytes(Path("c.deflate")));
}

}  // namespace
}  // namespace ordx::kittest
