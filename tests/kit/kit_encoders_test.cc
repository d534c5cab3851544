// Kits compressed by other deflate encoders: zlib with every level and
// strategy, stored blocks, gzip's encoder and zopfli's.
#include <gtest/gtest.h>
#include <unistd.h>

#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

bool InPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The raw deflate stream inside a .gz file: skips the header (with its
// optional fields) and drops the 8-byte trailer.
std::string GzipPayload(const std::string& gz) {
  if (gz.size() < 18 || static_cast<unsigned char>(gz[0]) != 0x1f ||
      static_cast<unsigned char>(gz[1]) != 0x8b)
    throw std::runtime_error("not a gzip file");
  const auto flags = static_cast<unsigned char>(gz[3]);
  std::size_t at = 10;
  if (flags & 4) at += 2 + (static_cast<unsigned char>(gz[at]) | gz[at + 1] << 8);
  if (flags & 8) at = gz.find('\0', at) + 1;
  if (flags & 16) at = gz.find('\0', at) + 1;
  if (flags & 2) at += 2;
  return gz.substr(at, gz.size() - at - 8);
}

class KitEncodersTest : public KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    KitBuilder b;
    b.AddDescription(u"en", u"Product", u"Vendor", u"doc\\index.html")
        .AddDescription(u"ru", u"Продукт", u"Поставщик", u"doc\\index.html");
    files_ = {{u"doc\\index.html", "<html>hello</html>"},
              {u"templates\\big.xml", TestData(300000, 3)},
              {u"templates\\noise.bin", RandomBytes(90000)},
              {u"templates\\zeros", std::string(150000, '\0')},
              {u"empty", ""}};
    for (const auto& [name, bytes] : files_) b.AddFile(name, bytes);
    container_ = b.Build();
  }

  // Opens the kit made of `stream` and checks every text and entry.
  void ExpectKitReads(const std::string& stream) {
    WriteBytes(Path("kit"), stream);
    KitReader reader;
    ASSERT_EQ(reader.Open(W(Path("kit"))), 0u);
    ASSERT_EQ(reader.descriptions().size(), 2u);
    EXPECT_EQ(std::u16string(reader.descriptions()[1].vendor.view()), u"Поставщик");
    ASSERT_EQ(reader.entries().size(), files_.size());
    EXPECT_EQ(reader.unpackedSize(), container_.size());
    for (std::size_t i = 0; i < files_.size(); ++i) {
      const KitEntry& e = reader.entries()[i];
      EXPECT_EQ(std::u16string(e.name.view()), files_[i].first);
      std::string bytes(e.dataSize, '\0');
      ASSERT_EQ(pread(reader.file(), bytes.data(), bytes.size(), e.dataOffset),
                static_cast<ssize_t>(bytes.size()));
      EXPECT_TRUE(bytes == files_[i].second) << "entry " << i;
    }
  }

  // Runs an encoder on the container written to a file; returns its output
  // file (the encoder names it by adding `suffix`).
  std::string Encode(const std::vector<NarrowString>& command, const std::string& suffix) {
    const std::string input = Path("container");
    WriteBytes(input, container_);
    std::vector<NarrowString> args = command;
    args.emplace_back(input.c_str());
    const int status = RunProgram(args);
    EXPECT_EQ(status, 0) << args[0].c_str();
    return ReadBytes(input + suffix);
  }

  std::vector<std::pair<std::u16string, std::string>> files_;
  std::string container_;
};

TEST_F(KitEncodersTest, ZlibEveryLevelAndStrategy) {
  for (int level = 0; level <= 9; ++level) {
    for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " strategy " << strategy);
      ExpectKitReads(DeflateRaw(container_, level, strategy));
    }
  }
}

TEST_F(KitEncodersTest, ZlibSmallWindowsAndMemoryLevels) {
  for (int bits = 9; bits <= 15; ++bits) {
    for (const int memLevel : {1, 9}) {
      SCOPED_TRACE(testing::Message() << "window " << bits << " memLevel " << memLevel);
      ExpectKitReads(DeflateRaw(container_, 6, Z_DEFAULT_STRATEGY, memLevel, bits));
    }
  }
}

TEST_F(KitEncodersTest, HandWrittenStoredBlocks) {
  for (const std::size_t block : {1000u, 7777u, 65535u})
    ExpectKitReads(StoredBlocks(container_, block));
}

TEST_F(KitEncodersTest, GzipEncoder) {
  if (!InPath("gzip")) GTEST_SKIP() << "gzip is not installed";
  for (const char* level : {"-1", "-6", "-9"}) {
    SCOPED_TRACE(level);
    ExpectKitReads(GzipPayload(Encode({"gzip", "-k", "-f", "-n", level}, ".gz")));
  }
}

TEST_F(KitEncodersTest, ZopfliEncoder) {
  if (!InPath("zopfli")) GTEST_SKIP() << "zopfli is not installed";
  ExpectKitReads(Encode({"zopfli", "--deflate", "--i1"}, ".deflate"));
}

}  // namespace
}  // namespace ordx::kittest
