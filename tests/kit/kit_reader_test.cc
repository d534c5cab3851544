// The kit reader: both text layouts, entries and their offsets, language
// lookups, damaged containers of every kind, and the private unpacked copy.
#include "kit/kit_reader.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/hostile_kits.h"
#include "kit_test_util.h"
#include "support/deadline.h"

namespace ordx::kittest {
namespace {

using namespace std::string_view_literals;

std::u16string U(const WideString& s) { return std::u16string(s.view()); }
std::string U32(std::uint32_t v) { std::string s; PutU32(&s, v); return s; }

class KitReaderTest : public KitTest {
 protected:
  ErrorCode Open(const std::string& container) {
    WriteKit(Path("kit"), container);
    return reader_->Open(W(Path("kit")));
  }

  // A failed Open (with `expected`, if given) leaves no entries, no handle, no file.
  void ExpectCleanFailure(ErrorCode rc, ErrorCode expected = 0) {
    EXPECT_NE(rc, 0u);
    if (expected != 0) {
      EXPECT_EQ(rc, expected);
    }
    EXPECT_TRUE(reader_->entries().empty());
    EXPECT_EQ(reader_->file(), kInvalidHandle);
    EXPECT_EQ(LeftInTmp(), 0);
  }

  std::unique_ptr<KitReader> reader_ = std::make_unique<KitReader>();
};

TEST_F(KitReaderTest, TextLayoutsEntriesAndOffsets) {
  ASSERT_EQ(Open(KitBuilder().SetSingle(u"Product", u"Vendor", u"doc\\readme.html").Build()), 0u);
  const KitDescription& d = reader_->descriptions().at(0);
  EXPECT_EQ(U(d.languageCode) + U(d.product) + U(d.vendor) + U(d.descriptionPath),
            u"enProductVendordoc\\readme.html");

  // Any non-zero flag selects the table; extra bytes in a record are skipped.
  KitBuilder b;
  b.AddDescription(u"ru", u"Продукт", u"Поставщик", u"", 9)
      .AddDescription(u"en", u"Product", u"Vendor", u"a/b.html")
      .AddFile(u"dir\\first.txt", "first", 130000000000000000ull)
      .AddFile(u"empty", "", ~0ull)
      .AddEntry(u"again", 5, 1, 4, 13);  // bytes inside the first file's, padded record
  std::string container = b.Build();
  container[0] = 7;
  ASSERT_EQ(Open(container), 0u);
  ASSERT_EQ(reader_->descriptions().size(), 2u);
  EXPECT_EQ(U(reader_->descriptions()[0].product), u"Продукт");
  EXPECT_EQ(U(reader_->descriptions()[1].descriptionPath), u"a/b.html");
  const auto& e = reader_->entries();
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(reader_->dataStart(), b.BuildHeader().size());
  EXPECT_EQ(reader_->unpackedSize(), container.size());
  EXPECT_EQ(U(e[0].name), u"dir\\first.txt");
  EXPECT_EQ(e[0].lastWriteTime, 130000000000000000ull);
  EXPECT_EQ(e[0].dataOffset, reader_->dataStart());  // offset 0: the first byte after the table
  EXPECT_EQ(e[1].lastWriteTime, ~0ull);
  EXPECT_EQ(e[2].dataOffset, reader_->dataStart() + 1);
  std::string bytes(4, '\0');
  ASSERT_EQ(pread(reader_->file(), bytes.data(), 4, e[2].dataOffset), 4);
  EXPECT_EQ(bytes, "irst");

  ASSERT_EQ(Open(KitBuilder().Build()), 0u);  // no descriptions, no entries
  EXPECT_TRUE(reader_->descriptions().empty());
  EXPECT_TRUE(reader_->entries().empty());
  EXPECT_TRUE(reader_->GetDescriptionPath(u"en").empty());
}

TEST_F(KitReaderTest, LanguageLookups) {
  ASSERT_EQ(Open(KitBuilder()
                     .AddDescription(u"ru", u"Продукт", u"Поставщик", u"")
                     .AddDescription(u"en", u"Product", u"Vendor", u"doc\\en.html")
                     .AddDescription(u"de", u"Produkt", u"Anbieter", u"doc\\de.html")
                     .Build()), 0u);
  WideString product, vendor;
  reader_->GetProductInfo(u"RU", &product, &vendor);
  EXPECT_EQ(U(product) + U(vendor), u"ПродуктПоставщик");
  // "ru" has no path of its own, so the English one is used.
  EXPECT_EQ(U(reader_->GetDescriptionPath(u"RU")), u"doc\\en.html");
  EXPECT_EQ(U(reader_->GetDescriptionPath(u"De")) + U(reader_->GetDescriptionPath(u"fr")),
            u"doc\\de.htmldoc\\en.html");
  // No fallback for product and vendor.
  reader_->GetProductInfo(u"fr", &product, &vendor);
  EXPECT_TRUE(product.empty());
  EXPECT_TRUE(vendor.empty());

  ASSERT_EQ(Open(KitBuilder().AddDescription(u"ru", u"P", u"V", u"").Build()), 0u);
  EXPECT_TRUE(reader_->GetDescriptionPath(u"ru").empty());
  EXPECT_TRUE(reader_->GetDescriptionPath(u"en").empty());
}

TEST_F(KitReaderTest, UnpackedCopyHasNoNameAndGoesWithTheReader) {
  ASSERT_EQ(Open(KitBuilder().AddFile(u"a", "abc").Build()), 0u);
  struct stat st {};
  ASSERT_EQ(fstat(reader_->file(), &st), 0);
  EXPECT_EQ(st.st_nlink, 0u) << "the unpacked copy has a name";
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(LeftInTmp(), 0);
  // A run killed outright leaves nothing either: a child is killed while it
  // unpacks a kit or, if it is quicker, while it holds the unpacked copy.
  WriteZerosKit(Path("big"), 32u << 20);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    KitReader reader;
    reader.Open(W(Path("big")));
    pause();
    _exit(0);
  }
  usleep(50000);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_TRUE(testsupport::WaitForChild(child, &status));
  EXPECT_EQ(LeftInTmp(), 0);
}

TEST_F(KitReaderTest, EveryCutInsideTheTablesIsRefused) {
  for (const bool single : {false, true}) {
    KitBuilder b;
    single ? b.SetSingle(u"Prod", u"Vend", u"doc.html")
           : b.AddDescription(u"en", u"P", u"V", u"doc", 3).AddDescription(u"ru", u"", u"", u"");
    b.AddFile(u"a\\b.txt", "contents of b").AddFile(u"c", "c!");
    const std::string container = b.Build();
    for (std::size_t cut = 0; cut < b.BuildHeader().size(); ++cut) {
      SCOPED_TRACE(cut);
      ExpectCleanFailure(Open(container.substr(0, cut)));
    }
    // Cut inside the data the tables are whole: copying finds the gap later.
    ASSERT_EQ(Open(container.substr(0, container.size() - 1)), 0u);
  }
}

TEST_F(KitReaderTest, DamagedKitsAreRefused) {
  ExpectCleanFailure(reader_->Open(W(Path("missing"))), kErrorFileNotFound);
  WriteBytes(Path("bad"), "\x1f\x8b\x08 not a kit");
  ExpectCleanFailure(reader_->Open(W(Path("bad"))), kErrorInvalidData);

  // An entry body whose name declares `units` but holds "abc".
  const auto body = [](std::uint32_t units) {
    return U32(units) + std::string("a\0b\0c\0", 6) + std::string(16, '\0');
  };
  const auto entryKit = [](const std::string& r) {  // no texts, one entry record
    return U32(1) + U32(0) + U32(1) + r + std::string(64, 'x');
  };
  const std::pair<const char*, std::string> cases[] = {
      {"nothing, not even the flag", ""},
      {"length 0", entryKit(U32(0) + body(3))},
      {"length 3", entryKit(U32(3) + body(3))},
      {"length past the end", entryKit(U32(1000) + body(3))},
      {"length of 4 GiB", entryKit(U32(0xFFFFFFFF) + body(3))},
      {"name past the record", entryKit(KitBuilder::Record(body(40)))},
      {"name of 4 billion units", entryKit(KitBuilder::Record(body(0xFFFFFFFF)))},
      {"fixed fields past the record", entryKit(KitBuilder::Record(body(3).substr(0, 25)))},
      // Counts the file cannot hold (allocating for them aborts the ASan build).
      {"4 billion descriptions", U32(1) + U32(0xFFFFFFFF) + std::string(100, '\0')},
      {"4 billion entries", U32(1) + U32(0) + U32(0xFFFFFFFF) + std::string(100, '\0')},
      {"product of 2 billion units", U32(0) + U32(0x7FFFFFFF) + std::string(100, 'x')},
      {"description string past the record",
       U32(1) + U32(1) + KitBuilder::Record(U32(1) + std::string("e\0", 2) + U32(500)) +
           std::string(2000, 0)},
      // Made absolute, this offset would wrap around to the front of the file.
      {"offset past 4 GiB", KitBuilder().AddEntry(u"a", 0, 0xFFFFFFF0u, 4).Build()},
  };
  for (const auto& [what, container] : cases) {
    SCOPED_TRACE(what);
    ExpectCleanFailure(Open(container), kErrorInvalidData);
  }
}

TEST_F(KitReaderTest, BoundsAreKeptExactly) {
  const auto withName = [](std::u16string_view name) {
    return KitBuilder().AddFile(name, "x").Build();
  };
  const auto withProduct = [](std::size_t units) {
    return KitBuilder().AddDescription(u"en", std::u16string(units, u'p'), u"", u"").Build();
  };
  const auto withLanguages = [](int count) {
    KitBuilder b;
    for (int i = 0; i < count; ++i) b.AddDescription(u"xx", u"", u"", u"");
    return b.Build();
  };
  std::u16string emoji;
  for (int i = 0; i < 63; ++i) emoji += u"\U0001F600";  // 4 bytes each in UTF-8
  // Each pair: the most that is accepted, then one more.
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"name units", withName(LevelledName(1, 196) + u'\\' + LevelledName(20, 194)),
       withName(LevelledName(1, 197) + u'\\' + LevelledName(20, 194))},
      {"name levels", withName(LevelledName(255, 1)), withName(LevelledName(256, 1))},
      {"bytes of a level (2-byte units)", withName(std::u16string(127, u'я') + u"a"),
       withName(std::u16string(128, u'я'))},
      {"bytes of a level (surrogate pairs)", withName(u"x\\" + emoji + u"abc"),
       withName(u"x\\" + emoji + u"abcd")},
      {"string units", withProduct(65536), withProduct(65537)},
      {"languages", withLanguages(256), withLanguages(257)},
  };
  for (const auto& [what, most, beyond] : cases) {
    SCOPED_TRACE(what);
    EXPECT_EQ(Open(most), 0u);
    ExpectCleanFailure(Open(beyond), kErrorInvalidData);
  }
  // The largest offset that fits is accepted: the copy finds the end.
  const std::size_t start = KitBuilder().AddEntry(u"a", 0, 0, 4).Build().size();
  ASSERT_EQ(Open(KitBuilder().AddEntry(u"a", 0, 0xFFFFFFFFu - start, 4).Build()), 0u);
  EXPECT_EQ(reader_->entries()[0].dataOffset, 0xFFFFFFFFu);
}

TEST_F(KitReaderTest, EntryNames) {
  for (const std::u16string_view name : {u""sv, u"a\0b"sv, u"d\\"sv, u"d/"sv, u"."sv, u".."sv,
                                         u"a\\..\\b"sv, u"..\\x"sv, u"a/./b"sv, u".\\a"sv,
                                         u"a\\.."sv, u".ordx-transaction\\journal"sv,
                                         u"\\.ordx-transaction"sv, u"a\xD800" u"b"sv, u"\xDC2F"sv}) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(name)));
    ExpectCleanFailure(Open(KitBuilder().AddFile(u"ok", "1").AddFile(name, "2").Build()));
  }
  KitBuilder safe;
  for (const char16_t* name : {u"a", u"a\\b", u"..a", u"a..", u".h", u"a/b", u"...", u"x\\..y"})
    safe.AddFile(name, "ok");
  ASSERT_EQ(Open(safe.AddFile(u"..a\\...\\.b", "ok").Build()), 0u);
}

TEST_F(KitReaderTest, EveryFailingFileOperationFailsOpenCleanly) {
  WriteKit(Path("kit"), KitBuilder().AddDescription(u"en", u"P", u"V", u"d")
                            .AddFile(u"a", TestData(100000)).Build());
  // Deleting the copy on the way out is never failed here.
  int calls = 0;
  SetFaultHook([&calls](FileOp op, const WideString&) {
    calls += op != FileOp::kDeleteFile;
    return 0u;
  });
  ASSERT_EQ(KitReader().Open(W(Path("kit"))), 0u);
  ASSERT_GT(calls, 3);
  for (int k = 1; k <= calls; ++k) {
    SCOPED_TRACE(k);
    int seen = 0;
    SetFaultHook([&seen, k](FileOp op, const WideString&) {
      return op != FileOp::kDeleteFile && ++seen == k ? 87u : 0u;
    });
    ExpectCleanFailure(reader_->Open(W(Path("kit"))), 87u);
  }
}

}  // namespace
}  // namespace ordx::kittest
