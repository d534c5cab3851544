// The starter's key=value files: line rules, decoding, byte-exact round
// trips, and a writer that never damages the old file when it fails.
#include "config/config_file.h"

#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testing_support;

// The model as text: key=[value|value] per entry, in order.
std::string Dump(const ConfigEntries& entries) {
  std::string out;
  for (const ConfigEntry& entry : entries) {
    out += N(entry.key) + "=[";
    for (const WideString& value : entry.values) out += N(value) + "|";
    out += "];";
  }
  return out;
}
ConfigEntries Parse(const std::string& bytes) {
  ConfigEntries entries;
  ParseConfigText(bytes, &entries);
  return entries;
}

// Each case: the bytes, the model they give, and the bytes written back.
TEST(ConfigText, RewritingRules) {
  const std::string cases[][3] = {
      {"a=b=c\nlast=line", "a=[b=c|];last=[line|];", "a=b=c\nlast=line\n"},
      {"lonely\n#c=1\n;d\n", "lonely=[|];#c=[1|];;d=[|];", "lonely=\n#c=1\n;d=\n"},
      {"\n\n=\n=value\n k \t= v \n", "=[value|]; k \t=[ v |];", "=value\n k \t= v \n"},
      // Repeated keys gather at their first place; values fold ASCII case only.
      {"a=1\nb=2\nA=3\na=1\nA=B\na=b\na=\xC3\xA9\na=\xC3\x89\n",
       "a=[1|3|B|\xC3\xA9|\xC3\x89|];b=[2|];", "a=1\na=3\na=B\na=\xC3\xA9\na=\xC3\x89\nb=2\n"},
      // CR LF: the carriage return stays in the value; a blank CR LF line goes.
      {"a=1\r\nb\r\n\r\nc=3\r\n", "a=[1\r|];b\r=[|];c=[3\r|];", "a=1\r\nb\r=\nc=3\r\n"},
      {"\xEF\xBB\xBFk=v\nk=w\n", "\xEF\xBB\xBFk=[v|];k=[w|];", ""},  // BOM: part of the key
  };
  for (const auto& [bytes, model, rewritten] : cases) {
    EXPECT_EQ(Dump(Parse(bytes)), model) << bytes;
    EXPECT_EQ(FormatConfigText(Parse(bytes)), rewritten.empty() ? bytes : rewritten) << bytes;
  }
}

// The whole file is decoded at once; invalid and zero bytes become U+FFFD.
TEST(ConfigText, DecodingOfLongLinesCharactersAcrossBlocksAndInvalidBytes) {
  std::string tail;
  for (int i = 0; i < 3000; ++i) tail += "\xD0\xB6";  // 6000 bytes more
  // A three-byte and a four-byte character each straddling byte 1024.
  for (const std::string ch : {"\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    for (std::size_t offset = 1; offset < ch.size(); ++offset) {
      const std::string text = "k=" + std::string(1024 - offset - 2, 'a') + ch + tail + "\n";
      EXPECT_EQ(Dump(Parse(text)), "k=[" + text.substr(2, text.size() - 3) + "|];") << offset;
    }
  }
  const std::string r = "\xEF\xBF\xBD";
  const char raw[] = "k=a\xFF" "b\nz=a\0b\n\0x=\xE2\x82\n";
  const ConfigEntries entries = Parse(std::string(raw, sizeof raw - 1));
  EXPECT_EQ(Dump(entries), "k=[a" + r + "b|];z=[a" + r + "b|];" + r + "x=[" + r + r + "|];");
  EXPECT_EQ(Dump(Parse(FormatConfigText(entries))), Dump(entries));  // and read back the same
}

TEST(ConfigEntriesModel, NoLineForAnEntryWithoutValues) {
  ConfigEntries entries = {{u"Key", {u"One"}}, {u"other", {u"x"}}, {u"empty", {}}};
  SetValues(&entries, u"OTHER", {u"y", u"z"});
  SetValues(&entries, u"key", {});
  SetValues(&entries, u"new", {u"n"});
  EXPECT_EQ(FormatConfigText(entries), "other=y\nother=z\nnew=n\n");
}

using ConfigFileTest = TempHomeTest;

// A file in the writer's own form comes back byte for byte in any language,
// through a link that stays one, with its permission bits and no stray file.
TEST_F(ConfigFileTest, WriterFormRoundTripsByteForByteThroughALink) {
  const std::string text =
      "Language=\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\n"     // Russian
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC=gr\n"  // Greek key
      "zh=\xE4\xB8\xAD\xE6\x96\x87\nzh=\xE6\xBC\xA2\xE5\xAD\x97\n"             // Chinese
      "ar=\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\nde=Gr\xC3\xBC\xC3\x9F\x65 \xC3\x84\xC3\x96\xC3\x9C\n"
      "emoji=\xF0\x9F\x98\x80\xF0\x9D\x84\x9E\nConfigurationTemplatesLocation=/srv/t mpl/\n";
  const fs::path target = home_ / "real" / "target.cfg";
  WriteBytes(target, text);
  fs::permissions(target, fs::perms(0640));
  fs::create_symlink(target, home_ / "link.cfg");
  ConfigEntries entries;
  EXPECT_EQ(ReadConfigFileChecked(Path("link.cfg"), &entries), ConfigReadResult::kRead);
  entries.push_back({u"new", {u"2"}});
  WriteConfigFile(Path("link.cfg"), entries);
  EXPECT_TRUE(fs::is_symlink(home_ / "link.cfg") && ReadBytes(target) == text + "new=2\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
  EXPECT_EQ(ListTree(home_ / "real"), std::set<std::string>{"target.cfg"});
}

TEST_F(ConfigFileTest, ReadAddsToTheModelAndTellsAbsentFromUnreadable) {
  WriteBytes(home_ / "b.cfg", "k=B\nk=c\n");
  ConfigEntries entries = {{u"K", {u"b"}}};
  EXPECT_EQ(ReadConfigFileChecked(Path("b.cfg"), &entries), ConfigReadResult::kRead);
  EXPECT_EQ(ReadConfigFileChecked(Path("missing.cfg"), &entries), ConfigReadResult::kAbsent);
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kReadFile ? 87u : 0u; });
  EXPECT_EQ(ReadConfigFileChecked(Path("b.cfg"), &entries), ConfigReadResult::kUnreadable);
  EXPECT_EQ(Dump(entries), "K=[b|c|];");  // nothing from the file read only in part
}

// A failed write throws 1 (cannot create) or 2 (cannot write), leaves the old
// file as it was and no stray file, in its directory or in TMPDIR.
TEST_F(ConfigFileTest, FailedWritesLeaveTheOldFileAndNoStrayFile) {
  WriteBytes(home_ / "d.cfg", "keep=this\n");
  const std::tuple<const char*, std::optional<FileOp>, int> cases[] = {
      {"d.cfg", FileOp::kGetTempFileName, 1}, {"d.cfg", FileOp::kCreateFile, 1},
      {"d.cfg", FileOp::kWriteFile, 2},       {"d.cfg", FileOp::kMoveFile, 2},
      {"missing/x.cfg", std::nullopt, 1}};
  for (const auto& [name, failing, thrown] : cases) {
    const auto before = ListTree(root_);
    SetFaultHook([&, f = failing](FileOp op, const WideString&) { return op == f ? 87u : 0u; });
    int caught = 0;
    try {
      WriteConfigFile(Path(name), {{u"k", {u"v"}}});
    } catch (int code) {
      caught = code;
    }
    EXPECT_EQ(caught, thrown) << name << " " << failing.has_value();
    EXPECT_TRUE(ReadBytes(home_ / "d.cfg") == "keep=this\n" && ListTree(root_) == before);
  }
}

}  // namespace
}  // namespace ordx
