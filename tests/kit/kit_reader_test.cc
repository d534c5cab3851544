// The kit reader: layouts, lookups, damaged and hostile kits, bounds, names, failing file
// operations, a cancel, a killed run, a full disk. bench/ measures time and memory.
#include "kit/kit_reader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "kit/decompress.h"
#include "kit_test_util.h"
#include "support/deadline.h"
#include "hostile_kits.h"

namespace ordx::kittest {
namespace {

using namespace std::string_view_literals;
constexpr FileOp kDeleteFile = FileOp::kDeleteFile;  // never failed: it only cleans up

class KitReaderTest : public KitTest {
 protected:
  ErrorCode Open(const std::string& container) {
    WriteKit(kit_, container);
    return reader_.Open(W(kit_));
  }
  // A refused kit leaves no entries, handle or file.
  void ExpectRefused(ErrorCode rc, ErrorCode expected = kErrorInvalidData) {
    EXPECT_EQ(rc, expected);
    EXPECT_TRUE(reader_.entries().empty());
    EXPECT_EQ(reader_.file(), kInvalidHandle);
  }
  const std::string kit_ = Path("ordx.dkt");
  KitReader reader_;
};

TEST_F(KitReaderTest, LayoutsAndLookups) {
  ASSERT_EQ(Open(KitBuilder().SetSingle(u"P", u"V", u"d.html").AddFile(u"e", "").Build()), 0u);
  EXPECT_EQ(Units(reader_.GetDescriptionPath(u"EN")), u"d.html");  // its last record ends the file
  // Any non-zero flag selects the table; extra bytes in a record are skipped.
  KitBuilder b;
  b.AddDescription(u"ru", u"Продукт", u"Поставщик", u"", 9)
      .AddDescription(u"en", u"Product", u"Vendor", u"doc\\en.html")
      .AddDescription(u"de", u"Produkt", u"Anbieter", u"doc\\de.html")
      .AddFile(u"a", "first").AddEntry(u"b", 5, 1, 4, 13);
  ASSERT_EQ(Open('\7' + b.Build().substr(1)), 0u);
  ASSERT_EQ(reader_.entries().size(), 2u);
  EXPECT_EQ(reader_.entries()[1].dataOffset, b.BuildHeader().size() + 1);
  // Any case; a language without a path, or unknown, gets the English path, not its product.
  WideString product, vendor;
  reader_.GetProductInfo(u"RU", &product, &vendor);
  EXPECT_EQ(Units(product) + Units(vendor), u"ПродуктПоставщик");
  for (const auto& [code, path] : {std::pair{u"RU", u"doc\\en.html"}, {u"De", u"doc\\de.html"},
                                   {u"fr", u"doc\\en.html"}})
    EXPECT_EQ(Units(reader_.GetDescriptionPath(code)), path) << testing::PrintToString(code);
  reader_.GetProductInfo(u"fr", &product, nullptr);
  EXPECT_EQ(Units(product), u"");
}

TEST_F(KitReaderTest, DamagedKitsAndTheBounds) {
  ExpectRefused(reader_.Open(W(Path("missing"))), kErrorFileNotFound);
  ASSERT_EQ(mkfifo(kit_.c_str(), 0600), 0);  // never waited for
  ExpectRefused(reader_.Open(W(kit_)), kErrorFileNotFound);
  std::filesystem::remove(kit_);
  // One entry record whose name declares `units` but holds "ab".
  const auto entry = [](std::uint32_t length, std::uint32_t units) {
    return Fields({1, 0, 1, length, units, 'a' | 'b' << 16, 0, 0, 0, 0}) + "data";
  };
  const auto withName = [](std::u16string_view n) { return KitBuilder().AddFile(n, "").Build(); };
  const auto withTexts = [](int languages, std::size_t units, KitBuilder b = {}) {
    while (languages-- > 0) b.AddDescription(u"xx", std::u16string(units, u'p'), u"", u"");
    return b.Build();
  };
  std::u16string emoji;  // 63 characters of 4 bytes each in UTF-8
  while (emoji.size() < 126) emoji += u"\U0001F600";
  const auto offset = [](std::uint32_t o) { return KitBuilder().AddEntry(u"a", 0, o, 4).Build(); };
  const auto withEntries = [](std::uint32_t n) {  // a small kit of 26 MB unpacked
    std::string kit = Fields({1, 0, n}), one = KitBuilder().AddEntry(u"a", 0, 0, 0).Build();
    while (n-- > 0) kit.append(one, 12);
    return kit;
  };
  // Each: the most that is accepted (if any), then what is refused.
  std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"record length 3", "", entry(3, 2)},
      {"name past the record", entry(28, 2), entry(28, 15)},
      // Counts the file cannot hold (allocating for them aborts the ASan build).
      {"4 billion entries", "", Fields({1, 0, 0xFFFFFFFF}) + std::string(100, '\0')},
      // Made absolute (+38), a larger offset would wrap around to the file's front.
      {"offset", offset(0xFFFFFFFF - 38), offset(0xFFFFFFFF - 37)},
      {"name units", withName(LevelledName(1, 196) + u'\\' + LevelledName(20, 194)),
       withName(LevelledName(1, 197) + u'\\' + LevelledName(20, 194))},
      {"name levels", withName(LevelledName(255, 1)), withName(LevelledName(256, 1))},
      {"bytes of a level, 2-byte units", withName(std::u16string(127, u'я') + u"a"),
       withName(std::u16string(128, u'я'))},
      {"bytes of a level, surrogate pairs", withName(u"x\\" + emoji + u"abc"),
       withName(u"x\\" + emoji + u"abcd")},
      {"string units", withTexts(1, 65536), withTexts(1, 65537)},
      {"languages", withTexts(256, 0), withTexts(257, 0)},
      {"entries", withEntries(kMaxKitEntries), withEntries(kMaxKitEntries + 1)},
      {"names", withName(u"..a\\...\\.b/a..\\.ordx-transactions"), withName(u"")},
  };
  for (const auto name : {u"a\0b"sv, u"d\\"sv, u"d/"sv, u".."sv, u"a\\.\\b"sv, u"a/../b"sv,
                          u".ordx-transaction\\journal"sv, u"\\.ordx-transaction"sv,
                          u"a\xD800" u"b"sv, u"\xDC2F"sv})
    cases.emplace_back(testing::PrintToString(std::u16string(name)), "", withName(name));
  for (const bool single : {false, true}) {
    KitBuilder b;
    single ? b.SetSingle(u"Prod", u"Vend", u"doc.html")
           : b.AddDescription(u"en", u"P", u"V", u"doc", 3).AddDescription(u"ru", u"", u"", u"");
    const std::string container = b.AddFile(u"a\\b.txt", "contents").AddFile(u"c", "c").Build();
    // Cut inside the data the tables are whole: copying finds the gap later.
    cases.emplace_back("cut", container.substr(0, container.size() - 1), "");
    for (std::size_t cut = 1; cut < b.BuildHeader().size(); ++cut)
      cases.emplace_back("cut at " + std::to_string(cut), "", container.substr(0, cut));
  }
  for (const auto& [what, most, refused] : cases) {
    SCOPED_TRACE(what);
    if (!most.empty()) { EXPECT_EQ(Open(most), 0u); }
    if (!refused.empty()) { ExpectRefused(Open(refused)); }
  }
  EXPECT_EQ(Open(offset(0xFFFFFFFF - 38)), 0u);
  EXPECT_EQ(reader_.entries()[0].dataOffset, 0xFFFFFFFFu);
}

TEST_F(KitReaderTest, FailuresCancelsKillsAndFullDisksLeaveNothing) {
  WriteKit(kit_, KitBuilder().SetSingle(u"P", u"V", u"").AddFile(u"a", TestData(1 << 17)).Build());
  int calls = 0;
  SetFaultHook([&](FileOp op, const WideString&) { return calls += op != kDeleteFile, 0u; });
  ASSERT_EQ(reader_.Open(W(kit_)), 0u);
  for (int k = 1; k <= calls; ++k) {
    SCOPED_TRACE(k);
    int seen = 0;
    SetFaultHook(
        [&](FileOp op, const WideString&) { return op != kDeleteFile && ++seen == k ? 87u : 0u; });
    ExpectRefused(reader_.Open(W(kit_)), 87u);
  }
  // Cancelled once the first block was read: it stops within the next one.
  std::atomic<bool> cancel{false};
  std::atomic<std::uint64_t> read{0};
  WriteKit(kit_, TestData(4 << 20, 9, 0), 1);
  SetFaultHook([&](FileOp, const WideString&) { return cancel = read >= kDecompressBlock, 0u; });
  ExpectRefused(reader_.Open(W(kit_), &cancel, &read), kErrorCancelled);
  EXPECT_EQ(read.load(), 2 * kDecompressBlock);

  WriteZerosKit(kit_, 32u << 20);
  const pid_t child = fork();  // killed while it unpacks the kit or holds the copy
  ASSERT_GE(child, 0);
  if (child == 0) _exit(KitReader().Open(W(kit_)) + pause());
  usleep(50000);
  kill(child, SIGKILL);
  int status = 0;
  EXPECT_TRUE(testsupport::WaitForChild(child, &status));

  const std::string small = Path("small");
  std::filesystem::create_directory(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=8m,mode=0700") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  setenv("TMPDIR", small.c_str(), 1);
  WriteZerosKit(kit_, 256u << 20);  // far more than the tmpfs holds
  ExpectRefused(reader_.Open(W(kit_)), kErrorDiskFull);
  EXPECT_EQ(CountEntries(small), 0u);
  setenv("TMPDIR", tmp_.c_str(), 1);
  umount2(small.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace ordx::kittest
