// The kit reader: both text layouts, entries and their offsets, language
// lookups, damaged containers of every kind, and the private unpacked copy.
#include "kit/kit_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

std::u16string U(const WideString& s) { return std::u16string(s.view()); }

class KitReaderTest : public KitTest {
 protected:
  void TearDown() override {
    reader_.reset();
    KitTest::TearDown();
  }

  ErrorCode Open(const std::string& container) {
    WriteKit(Path("kit"), container);
    return reader_->Open(W(Path("kit")));
  }

  std::string EntryBytes(const KitEntry& entry) const {
    std::string bytes(entry.dataSize, '\0');
    const ssize_t n = pread(reader_->file(), bytes.data(), bytes.size(), entry.dataOffset);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
  }

  // A failed Open leaves nothing behind: no entries, no handle, no file.
  void ExpectCleanFailure(ErrorCode rc) {
    EXPECT_NE(rc, 0u);
    EXPECT_TRUE(reader_->entries().empty());
    EXPECT_EQ(reader_->file(), kInvalidHandle);
    EXPECT_TRUE(reader_->tempPath().empty());
    EXPECT_EQ(KpxFiles(), std::vector<std::string>());
  }

  std::unique_ptr<KitReader> reader_ = std::make_unique<KitReader>();
};

TEST_F(KitReaderTest, BothTextLayouts) {
  ASSERT_EQ(Open(KitBuilder().SetSingle(u"Product", u"Vendor", u"doc\\readme.html").Build()), 0u);
  ASSERT_EQ(reader_->descriptions().size(), 1u);
  const KitDescription& d = reader_->descriptions()[0];
  EXPECT_EQ(U(d.languageCode) + U(d.product) + U(d.vendor) + U(d.descriptionPath),
            u"enProductVendordoc\\readme.html");
  // Three empty strings still make one "en" description.
  ASSERT_EQ(Open(KitBuilder().SetSingle(u"", u"", u"").Build()), 0u);
  ASSERT_EQ(reader_->descriptions().size(), 1u);
  EXPECT_EQ(U(reader_->descriptions()[0].languageCode), u"en");

  // Any non-zero flag selects the table; extra bytes in a record are skipped.
  ASSERT_EQ(Open(KitBuilder()
                     .SetTableFlag(7)
                     .AddDescription(u"ru", u"Продукт", u"Поставщик", u"", 9)
                     .AddDescription(u"en", u"Product", u"Vendor", u"a/b.html")
                     .AddFile(u"x", "data")
                     .Build()),
            0u);
  ASSERT_EQ(reader_->descriptions().size(), 2u);
  EXPECT_EQ(U(reader_->descriptions()[0].product), u"Продукт");
  EXPECT_EQ(U(reader_->descriptions()[1].descriptionPath), u"a/b.html");
  EXPECT_EQ(EntryBytes(reader_->entries().at(0)), "data");

  ASSERT_EQ(Open(KitBuilder().Build()), 0u);  // no descriptions, no entries
  EXPECT_TRUE(reader_->descriptions().empty());
  EXPECT_TRUE(reader_->entries().empty());
  EXPECT_TRUE(reader_->GetDescriptionPath(u"en").empty());
}

TEST_F(KitReaderTest, EntriesAndAbsoluteOffsets) {
  const std::string big = TestData(600000);
  KitBuilder b;
  b.AddFile(u"dir\\first.txt", "first", 130000000000000000ull)
      .AddFile(u"empty", "", 1)
      .AddFile(u"dir\\sub\\big.bin", big, ~0ull)
      .AddEntry(u"again", 5, 0, 5, 13);  // same bytes as the first, padded record
  const std::string container = b.Build();
  ASSERT_EQ(Open(container), 0u);

  const auto& e = reader_->entries();
  ASSERT_EQ(e.size(), 4u);
  const auto start = static_cast<std::uint32_t>(b.BuildHeader().size());
  EXPECT_EQ(reader_->dataStart(), start);
  EXPECT_EQ(reader_->unpackedSize(), container.size());
  EXPECT_EQ(U(e[0].name), u"dir\\first.txt");
  EXPECT_EQ(e[0].lastWriteTime, 130000000000000000ull);
  EXPECT_EQ(e[0].dataOffset, start);  // offset 0: the first byte after the table
  EXPECT_EQ(e[1].dataSize, 0u);
  EXPECT_EQ(e[2].lastWriteTime, ~0ull);
  EXPECT_EQ(e[2].dataOffset, start + 5);
  EXPECT_TRUE(EntryBytes(e[2]) == big);
  EXPECT_EQ(EntryBytes(e[3]), "first");
}

TEST_F(KitReaderTest, LanguageLookups) {
  ASSERT_EQ(Open(KitBuilder()
                     .AddDescription(u"ru", u"Продукт", u"Поставщик", u"")
                     .AddDescription(u"en", u"Product", u"Vendor", u"doc\\en.html")
                     .AddDescription(u"de", u"Produkt", u"Anbieter", u"doc\\de.html")
                     .Build()),
            0u);
  WideString product, vendor;
  reader_->GetProductInfo(u"RU", &product, &vendor);
  EXPECT_EQ(U(product) + U(vendor), u"ПродуктПоставщик");
  // "ru" has no path of its own, so the English one is used.
  EXPECT_EQ(U(reader_->GetDescriptionPath(u"RU")), u"doc\\en.html");
  EXPECT_EQ(U(reader_->GetDescriptionPath(u"De")), u"doc\\de.html");
  EXPECT_EQ(U(reader_->GetDescriptionPath(u"fr")), u"doc\\en.html");
  // No fallback for product and vendor.
  reader_->GetProductInfo(u"fr", &product, &vendor);
  EXPECT_TRUE(product.empty() && vendor.empty());

  ASSERT_EQ(Open(KitBuilder().AddDescription(u"ru", u"P", u"V", u"").Build()), 0u);
  EXPECT_TRUE(reader_->GetDescriptionPath(u"ru").empty());
  EXPECT_TRUE(reader_->GetDescriptionPath(u"en").empty());
}

TEST_F(KitReaderTest, UnpackedCopyIsPrivateAndGoesWithTheReader) {
  ASSERT_EQ(Open(KitBuilder().AddFile(u"a", "abc").Build()), 0u);
  const std::string path = ToNarrow(reader_->tempPath()).c_str();
  EXPECT_EQ(path.rfind(tmp_ + "/kpx", 0), 0u) << path;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(reader_->file(), kInvalidHandle);
  EXPECT_EQ(reader_->bufferSize(), kKitCopyBufferSize);
  // Opening again replaces the first copy; destroying the reader removes it.
  ASSERT_EQ(reader_->Open(W(Path("kit"))), 0u);
  EXPECT_EQ(KpxFiles().size(), 1u);
  reader_.reset();
  EXPECT_EQ(KpxFiles(), std::vector<std::string>());
  reader_ = std::make_unique<KitReader>();
}

TEST_F(KitReaderTest, UnreadableKitsLeaveNothingBehind) {
  WriteBytes(Path("bad"), "\x1f\x8b\x08 not a kit");
  ExpectCleanFailure(reader_->Open(W(Path("bad"))));
  EXPECT_EQ(reader_->Open(W(Path("missing"))), kErrorFileNotFound);
  ExpectCleanFailure(reader_->Open(W(Path("missing"))));
  WriteBytes(Path("empty"), "");  // unpacks to nothing, not even the flag
  ExpectCleanFailure(reader_->Open(W(Path("empty"))));
}

TEST_F(KitReaderTest, EveryCutInsideTheTablesIsRefused) {
  for (const bool single : {false, true}) {
    KitBuilder b;
    if (single) {
      b.SetSingle(u"Prod", u"Vend", u"doc.html");
    } else {
      b.AddDescription(u"en", u"Prod", u"Vend", u"doc", 3).AddDescription(u"ru", u"", u"", u"");
    }
    b.AddFile(u"a\\b.txt", "contents of b").AddFile(u"c", "c!");
    const std::string header = b.BuildHeader();
    const std::string container = b.Build();
    for (std::size_t cut = 0; cut < header.size(); ++cut) {
      SCOPED_TRACE(cut);
      ExpectCleanFailure(Open(container.substr(0, cut)));
    }
    // Cut inside the data the tables are whole: copying finds the gap later.
    ASSERT_EQ(Open(container.substr(0, container.size() - 1)), 0u);
  }
}

TEST_F(KitReaderTest, InconsistentRecordsAreRefused) {
  const auto u32 = [](std::uint32_t v) {
    std::string s;
    PutU32(&s, v);
    return s;
  };
  // An entry body whose name declares `units` but holds "abc".
  const auto body = [&u32](std::uint32_t units) {
    return u32(units) + std::string("a\0b\0c\0", 6) + std::string(16, '\0');
  };
  const auto entryKit = [](const std::string& record) {
    return KitBuilder().AddRawEntryRecord(record).Build() + std::string(64, 'x');
  };
  const std::string noEntries = u32(1) + u32(0);
  const std::pair<const char*, std::string> cases[] = {
      {"length 0", entryKit(u32(0) + body(3))},
      {"length 3", entryKit(u32(3) + body(3))},
      {"length past the end", entryKit(u32(1000) + body(3))},
      {"length of 4 GiB", entryKit(u32(0xFFFFFFFF) + body(3))},
      {"name past the record", entryKit(KitBuilder::Record(body(40)))},
      {"name of 4 billion units", entryKit(KitBuilder::Record(body(0xFFFFFFFF)))},
      {"fixed fields past the record", entryKit(KitBuilder::Record(body(3).substr(0, 25)))},
      {"4 billion descriptions", u32(1) + u32(0xFFFFFFFF) + std::string(100, '\0')},
      {"4 billion entries", noEntries + u32(0xFFFFFFFF) + std::string(100, '\0')},
      {"product of 2 billion units", u32(0) + u32(0x7FFFFFFF) + std::string(100, 'x')},
      {"description string past the record",
       u32(1) + u32(1) + KitBuilder::Record(u32(1) + std::string("e\0", 2) + u32(500)) +
           std::string(2000, 0)},
  };
  for (const auto& [what, container] : cases) {
    SCOPED_TRACE(what);
    const ErrorCode rc = Open(container);
    EXPECT_EQ(rc, kErrorInvalidData);
    ExpectCleanFailure(rc);
  }
}

TEST_F(KitReaderTest, CountsBeyondWhatTheFileHoldsFailAtOnce) {
  KitBuilder b;
  for (int i = 0; i < 200; ++i) b.AddFile(u"file" + std::u16string(1, u'a' + i % 26), "x");
  const std::string container = b.Build();
  const auto withCount = [&container](std::uint32_t count) {
    std::string patched = container;
    for (int i = 0; i < 4; ++i) patched[8 + i] = static_cast<char>(count >> (8 * i));
    return patched;
  };
  ASSERT_EQ(Open(withCount(200)), 0u);
  ExpectCleanFailure(Open(withCount(201)));
  // Four billion entries are refused before a single record is read.
  int reads = 0;
  SetFaultHook([&reads](FileOp op, const WideString&) {
    reads += op == FileOp::kReadFile;
    return 0u;
  });
  EXPECT_EQ(Open(withCount(0xFFFFFFFFu)), kErrorInvalidData);
  EXPECT_LE(reads, 3);
}

TEST_F(KitReaderTest, OffsetsThatCannotBeAddressedAreRefused) {
  // Made absolute, this offset would wrap around to the front of the file.
  ExpectCleanFailure(Open(KitBuilder().AddEntry(u"a", 0, 0xFFFFFFF0u, 4).Build()));
  // The largest offset that fits is accepted: the copy finds the end.
  const auto start =
      static_cast<std::uint32_t>(KitBuilder().AddEntry(u"a", 0, 0, 4).Build().size());
  ASSERT_EQ(Open(KitBuilder().AddEntry(u"a", 0, 0xFFFFFFFFu - start, 4).Build()), 0u);
  EXPECT_EQ(reader_->entries()[0].dataOffset, 0xFFFFFFFFu);
}

TEST_F(KitReaderTest, EntryNames) {
  const char16_t zeroInside[] = {u'a', 0, u'b'};
  for (const std::u16string_view name :
       {std::u16string_view(u""), std::u16string_view(zeroInside, 3), std::u16string_view(u"d\\"),
        std::u16string_view(u"d/"), std::u16string_view(u"."), std::u16string_view(u".."),
        std::u16string_view(u"a\\..\\b"), std::u16string_view(u"..\\x"),
        std::u16string_view(u"a/./b"), std::u16string_view(u".\\a"),
        std::u16string_view(u"a\\..")}) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(name)));
    EXPECT_FALSE(IsSafeEntryName(WideString(name)));
    ExpectCleanFailure(Open(KitBuilder().AddFile(u"ok", "1").AddFile(name, "2").Build()));
  }
  for (const char16_t* name :
       {u"a", u"a\\b", u"..a", u"a..", u".hidden", u"a/b", u"...", u"x\\..y"})
    EXPECT_TRUE(IsSafeEntryName(name)) << testing::PrintToString(std::u16string(name));
  ASSERT_EQ(Open(KitBuilder().AddFile(u"..a\\...\\.b", "ok").Build()), 0u);
}

TEST_F(KitReaderTest, EveryFailingFileOperationFailsOpenCleanly) {
  WriteKit(
      Path("kit"),
      KitBuilder().AddDescription(u"en", u"P", u"V", u"d").AddFile(u"a", TestData(100000)).Build());
  int total = 0;
  SetFaultHook([&total](FileOp op, const WideString&) {
    total += op != FileOp::kDeleteFile;
    return 0u;
  });
  ASSERT_EQ(KitReader().Open(W(Path("kit"))), 0u);
  ASSERT_GT(total, 5);
  for (int k = 1; k <= total; ++k) {
    SCOPED_TRACE(k);
    int seen = 0;
    // Deleting the copy on the way out is never failed here.
    SetFaultHook([&seen, k](FileOp op, const WideString&) {
      return op != FileOp::kDeleteFile && ++seen == k ? 87u : 0u;
    });
    const ErrorCode rc = reader_->Open(W(Path("kit")));
    EXPECT_EQ(rc, 87u);
    ExpectCleanFailure(rc);
  }
}

}  // namespace
}  // namespace ordx::kittest
