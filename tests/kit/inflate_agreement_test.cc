// Kits from several deflate encoders, whole and damaged, and the fuzzer's
// seed corpus: every built inflate backend must give the same result and
// the same bytes, and a whole kit must unpack to its container exactly.
#include <gtest/gtest.h>

#include <filesystem>

#include "kit/decompress.h"
#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class InflateAgreementTest : public KitTest {
 protected:
  void SetUp() override {
    KitTest::SetUp();
    KitBuilder b;
    b.AddDescription(u"en", u"Product", u"Vendor", u"doc")
        .AddDescription(u"ru", u"П", u"Поставщик", u"");
    b.AddFile(u"doc\\index.html", "<html/>").AddFile(u"t\\big.xml", TestData(300000, 3));
    b.AddFile(u"t\\noise.bin", TestData(90000, 7, 0)).AddFile(u"zeros", std::string(150000, 0));
    container_ = b.AddFile(u"empty", "").Build();
  }

  struct Outcome {
    ErrorCode code;
    std::string bytes;  // only when the code is 0
  };

  Outcome Unpack(const std::string& kit, InflateBackend backend) {
    WriteBytes(Path("kit"), kit);
    ScopedHandle in, out;
    EXPECT_EQ(OpenRegularFile(W(Path("kit")), in.out()), 0u);
    EXPECT_EQ(CreateAnonymousFile(W(tmp_), out.out()), 0u);
    DecompressOptions options;
    options.backend = backend;
    Outcome o{DecompressKit(in.get(), out.get(), options), {}};
    std::uint64_t size = 0;
    if (o.code != 0 || GetFileSizeOf(out.get(), &size) != 0) return o;
    o.bytes.resize(size);
    std::uint32_t got = 0;
    EXPECT_EQ(ReadFileAt(out.get(), 0, o.bytes.data(), static_cast<std::uint32_t>(size), &got),
              0u);
    return o;
  }

  // Every backend agrees with the first on `kit`; returns what they gave.
  Outcome ExpectAgreement(const std::string& kit) {
    const std::vector<InflateBackend> backends = BuiltInflateBackends();
    const Outcome first = Unpack(kit, backends[0]);
    for (std::size_t i = 1; i < backends.size(); ++i) {
      const Outcome other = Unpack(kit, backends[i]);
      EXPECT_EQ(other.code, first.code) << InflateBackendName(backends[i]);
      EXPECT_TRUE(other.bytes == first.bytes) << InflateBackendName(backends[i]);
    }
    return first;
  }

  // The kit whole, then cut and with single bytes flipped at a few places.
  void ExpectWholeAndDamagedAgree(const std::string& kit, const std::string& container) {
    const Outcome whole = ExpectAgreement(kit);
    EXPECT_EQ(whole.code, 0u);
    EXPECT_TRUE(whole.bytes == container);
    for (const std::size_t at : {kit.size() / 7, kit.size() / 2, kit.size() - 3}) {
      SCOPED_TRACE(at);
      EXPECT_EQ(ExpectAgreement(kit.substr(0, at)).code, kErrorInvalidData);
      std::string flipped = kit;
      flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
      ExpectAgreement(flipped);
    }
  }

  std::string container_;
};

TEST_F(InflateAgreementTest, KitsOfOtherEncodersWholeAndDamaged) {
  for (const auto& [level, strategy] : {std::pair{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY},
                                        {9, Z_DEFAULT_STRATEGY}, {6, Z_HUFFMAN_ONLY}, {6, Z_RLE},
                                        {6, Z_FIXED}}) {
    SCOPED_TRACE(testing::Message() << "zlib level " << level << " strategy " << strategy);
    ExpectWholeAndDamagedAgree(DeflateRaw(container_, level, strategy), container_);
  }
  ExpectWholeAndDamagedAgree(StoredBlocks(container_, 7777), container_);

  WriteBytes(Path("c"), container_);
  // gzip -n writes a 10-byte header without optional fields; an 8-byte trailer ends it.
  ASSERT_EQ(RunProgram({"gzip", "-k", "-f", "-n", "-9", Path("c").c_str()}), 0);
  const std::string gz = ReadBytes(Path("c.gz"));
  ASSERT_EQ(gz.substr(0, 4), std::string("\x1f\x8b\x08\0", 4));
  ExpectWholeAndDamagedAgree(gz.substr(10, gz.size() - 18), container_);
  // The reader on top of the default backend sees the five files.
  KitReader reader;
  ASSERT_EQ(reader.Open(W(Path("kit"))), 0u);
  EXPECT_EQ(reader.entries().size(), 5u);

  if (RunCommand("command -v zopfli >/dev/null") != 0) GTEST_SKIP() << "zopfli is not installed";
  ASSERT_EQ(RunProgram({"zopfli", "--deflate", "--i1", Path("c").c_str()}), 0);
  ExpectWholeAndDamagedAgree(ReadBytes(Path("c.deflate")), container_);
}

TEST_F(InflateAgreementTest, FuzzerSeedCorpus) {
  if (BuiltInflateBackends().size() < 2) GTEST_SKIP() << "only one inflate backend is built";
  int inputs = 0;
  for (const auto& item : std::filesystem::directory_iterator(ORDX_KIT_CORPUS)) {
    SCOPED_TRACE(item.path().filename().string());
    const std::string input = ReadBytes(item.path());
    if (input.empty()) continue;
    // The fuzzer's first byte: bit 0 set means "a container, deflate it first".
    const std::string rest = input.substr(1);
    ExpectAgreement((input[0] & 1) ? DeflateRaw(rest, (input[0] & 2) ? 0 : 1) : rest);
    ++inputs;
  }
  EXPECT_GT(inputs, 10);
}

}  // namespace
}  // namespace ordx::kittest
