// The starter's key=value files: line rules, decoding, byte-exact round
// trips, and a writer that never damages the old file when it fails.
#include "config/config_file.h"

#include <sys/stat.h>

#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testing_support;

// Every conversion in this test program runs under UTF-8; the locale is
// fixed on the first conversion, so it is chosen before main.
const bool kUtf8Locale = [] { return setenv("LC_ALL", "C.UTF-8", 1) == 0; }();

// The model as text: key=[value|value] per entry, in order.
std::string Dump(const ConfigEntries& entries) {
  std::string out;
  for (const ConfigEntry& entry : entries) {
    out += N(entry.key) + "=[";
    for (std::size_t i = 0; i < entry.values.size(); ++i)
      out += (i ? "|" : "") + N(entry.values[i]);
    out += "];";
  }
  return out;
}

ConfigEntries Parse(const std::string& bytes) {
  ConfigEntries entries;
  ParseConfigText(bytes, &entries);
  return entries;
}

std::string Rewrite(const std::string& bytes) { return FormatConfigText(Parse(bytes)); }

TEST(ConfigText, LineRules) {
  ASSERT_TRUE(kUtf8Locale);
  EXPECT_EQ(Dump(Parse("a=b=c\n")), "a=[b=c];");
  EXPECT_EQ(Rewrite("lonely\n"), "lonely=\n");
  EXPECT_EQ(Rewrite("=value\n"), "=value\n");
  EXPECT_EQ(Dump(Parse(" k \t= v \n")), " k \t=[ v ];");
  EXPECT_EQ(Dump(Parse("#c=1\n;d\n")), "#c=[1];;d=[];");
  EXPECT_EQ(Dump(Parse("\n\n=\n\n")), "");
  EXPECT_EQ(Dump(Parse("last=line")), "last=[line];");
  EXPECT_EQ(Rewrite(""), "");
}

TEST(ConfigText, RepeatedKeysAndValues) {
  EXPECT_EQ(Rewrite("k=v\nk=v\n"), "k=v\n");
  EXPECT_EQ(Dump(Parse("KEY=VAL\nkey=val\n")), "KEY=[VAL];");
  EXPECT_EQ(Rewrite("a=1\nb=2\nA=3\nc=4\na=1\n"), "a=1\na=3\nb=2\nc=4\n");
  // Only ASCII letters fold.
  EXPECT_EQ(Dump(Parse("\xC3\x89=1\n\xC3\xA9=2\nk=\xC3\x89\nk=\xC3\xA9\n")),
            "\xC3\x89=[1];\xC3\xA9=[2];k=[\xC3\x89|\xC3\xA9];");
}

TEST(ConfigText, CarriageReturnsStayInValues) {
  const ConfigEntries entries = Parse("a=1\r\nb\r\n\r\nc=3\r\n");
  EXPECT_EQ(Dump(entries), "a=[1\r];b\r=[];c=[3\r];");
  // The blank CR LF line is dropped like any blank line; the others keep CR LF.
  EXPECT_EQ(FormatConfigText(entries), "a=1\r\nb\r=\nc=3\r\n");
  EXPECT_EQ(Rewrite("\r=\n"), "\r=\n");
}

TEST(ConfigText, ByteOrderMarkBelongsToTheFirstKey) {
  const ConfigEntries entries = Parse("\xEF\xBB\xBFk=v\nk=w\n");
  EXPECT_EQ(Dump(entries), "\xEF\xBB\xBFk=[v];k=[w];");
  EXPECT_EQ(FormatConfigText(entries), "\xEF\xBB\xBFk=v\nk=w\n");
}

TEST(ConfigText, LongKeysAndValuesAreReadWhole) {
  const std::string key(5000, 'k');
  std::string value;
  for (int i = 0; i < 3000; ++i) value += "\xD0\xB6";  // 3000 units, 6000 bytes
  const ConfigEntries entries = Parse(key + "=" + value + "\nx=1\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].key.length(), 5000u);
  ASSERT_EQ(entries[0].values.size(), 1u);
  EXPECT_EQ(entries[0].values[0].length(), 3000u);
  EXPECT_EQ(FormatConfigText(entries), key + "=" + value + "\nx=1\n");
}

TEST(ConfigText, CharactersAcrossBlockBoundaries) {
  // A three-byte and a four-byte character each straddling byte 1024.
  for (const std::string& ch : {std::string("\xE2\x82\xAC"), std::string("\xF0\x9F\x98\x80")}) {
    for (std::size_t offset = 1; offset < ch.size(); ++offset) {
      const std::string bytes = "k=" + std::string(1024 - offset - 2, 'a') + ch + "b\n";
      const ConfigEntries entries = Parse(bytes);
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(N(entries[0].values[0]).substr(1024 - offset - 2), ch + "b");
      EXPECT_EQ(FormatConfigText(entries), bytes);
    }
  }
}

TEST(ConfigText, InvalidAndZeroBytesBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const char raw[] = "k=a\xFF" "b\nz=a\0b\n\0x=\xE2\x82\n";
  const ConfigEntries entries = Parse(std::string(raw, sizeof raw - 1));
  EXPECT_EQ(Dump(entries), "k=[a" + r + "b];z=[a" + r + "b];" + r + "x=[" + r + r + "];");
  // The rewritten text reads back to the same model.
  EXPECT_EQ(Dump(Parse(FormatConfigText(entries))), Dump(entries));
}

TEST(ConfigEntriesModel, AddSetFind) {
  ConfigEntries entries;
  EXPECT_TRUE(AddValue(&entries, u"Key", u"One"));
  EXPECT_FALSE(AddValue(&entries, u"KEY", u"one"));
  EXPECT_TRUE(AddValue(&entries, u"key", u"two"));
  EXPECT_TRUE(AddValue(&entries, u"other", u"x"));
  EXPECT_EQ(Dump(entries), "Key=[One|two];other=[x];");
  ASSERT_NE(FindValues(entries, u"KEY"), nullptr);
  EXPECT_EQ(FindValues(entries, u"KEY")->size(), 2u);
  EXPECT_EQ(FindValues(entries, u"missing"), nullptr);

  SetValues(&entries, u"new", {u"n"});
  SetValues(&entries, u"OTHER", {u"y", u"z"});
  EXPECT_EQ(Dump(entries), "Key=[One|two];other=[y|z];new=[n];");
  SetValues(&entries, u"key", {});
  SetValues(&entries, u"absent", {});
  EXPECT_EQ(Dump(entries), "other=[y|z];new=[n];");
  entries.push_back(ConfigEntry{u"empty", {}});
  EXPECT_EQ(FormatConfigText(entries), "other=y\nother=z\nnew=n\n");
}

class ConfigFileTest : public TempHomeTest {
 protected:
  WideString Path(const std::string& name) const { return W((home_ / name).string()); }
};

TEST_F(ConfigFileTest, WriterFormRoundTripsByteForByteInAnyLanguage) {
  const std::string text =
      "Language=\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\n"     // Russian
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC=gr\n"  // Greek key
      "zh=\xE4\xB8\xAD\xE6\x96\x87\nzh=\xE6\xBC\xA2\xE5\xAD\x97\n"             // Chinese
      "ja=\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA\n"
      "ar=\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\n"
      "de=Gr\xC3\xBC\xC3\x9F\x65 \xC3\x84\xC3\x96\xC3\x9C\n"
      "emoji=\xF0\x9F\x98\x80\xF0\x9D\x84\x9E\n"
      "ConfigurationTemplatesLocation=/srv/t mpl/\n";
  WriteBytes(home_ / "a.cfg", text);
  ConfigEntries entries;
  EXPECT_EQ(ReadConfigFileChecked(Path("a.cfg"), &entries), ConfigReadResult::kRead);
  WriteConfigFile(Path("a.cfg"), entries);
  EXPECT_EQ(ReadBytes(home_ / "a.cfg"), text);
}

TEST_F(ConfigFileTest, ReadKeepsWhatTheModelHeld) {
  WriteBytes(home_ / "b.cfg", "k=B\nk=c\n");
  ConfigEntries entries;
  AddValue(&entries, u"K", u"b");
  ReadConfigFile(Path("b.cfg"), &entries);
  EXPECT_EQ(Dump(entries), "K=[b|c];");
  ReadConfigFile(Path("missing.cfg"), &entries);
  EXPECT_EQ(Dump(entries), "K=[b|c];");
}

TEST_F(ConfigFileTest, AbsentAndUnreadableFilesAreTold) {
  ConfigEntries entries;
  EXPECT_EQ(ReadConfigFileChecked(Path("missing.cfg"), &entries), ConfigReadResult::kAbsent);
  fs::create_directories(home_ / "dir.cfg");
  EXPECT_EQ(ReadConfigFileChecked(Path("dir.cfg"), &entries), ConfigReadResult::kUnreadable);
  WriteBytes(home_ / "c.cfg", "k=v\n");
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kReadFile ? 87u : 0u; });
  EXPECT_EQ(ReadConfigFileChecked(Path("c.cfg"), &entries), ConfigReadResult::kUnreadable);
  EXPECT_TRUE(entries.empty());
}

TEST_F(ConfigFileTest, WriterCreatesKeepsModeAndFollowsLinks) {
  WriteConfigFile(Path("new.cfg"), {{u"k", {u"v"}}});
  EXPECT_EQ(ReadBytes(home_ / "new.cfg"), "k=v\n");

  WriteBytes(home_ / "real" / "target.cfg", "old=1\n");
  chmod((home_ / "real" / "target.cfg").c_str(), 0640);
  fs::create_symlink(home_ / "real" / "target.cfg", home_ / "link.cfg");
  WriteConfigFile(Path("link.cfg"), {{u"new", {u"2"}}});
  EXPECT_TRUE(fs::is_symlink(home_ / "link.cfg"));
  EXPECT_EQ(ReadBytes(home_ / "real" / "target.cfg"), "new=2\n");
  struct stat status {};
  ASSERT_EQ(stat((home_ / "real" / "target.cfg").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(ListTree(home_ / "real"), std::set<std::string>{"target.cfg"});
}

TEST_F(ConfigFileTest, FailedWritesLeaveTheOldFileAndNoStrayFile) {
  const std::string old = "keep=this\nand=that\n";
  struct Case {
    FileOp op;
    int thrown;
  };
  for (const Case c : {Case{FileOp::kGetTempFileName, 1}, Case{FileOp::kCreateFile, 1},
                       Case{FileOp::kWriteFile, 2}, Case{FileOp::kMoveFile, 2}}) {
    WriteBytes(home_ / "d.cfg", old);
    const auto before = ListTree(root_);
    SetFaultHook([&](FileOp op, const WideString&) { return op == c.op ? 87u : 0u; });
    int caught = 0;
    try {
      WriteConfigFile(Path("d.cfg"), {{u"k", {u"v"}}});
    } catch (int code) {
      caught = code;
    }
    SetFaultHook(FaultHook());
    EXPECT_EQ(caught, c.thrown) << static_cast<int>(c.op);
    EXPECT_EQ(ReadBytes(home_ / "d.cfg"), old);
    EXPECT_EQ(ListTree(root_), before);
  }
}

TEST_F(ConfigFileTest, UnusableTargetsThrowOneAndLeaveNothing) {
  fs::create_directories(home_ / "dir.cfg");
  for (const char* name : {"missing/x.cfg", "dir.cfg"}) {
    const auto before = ListTree(root_);
    int caught = 0;
    try {
      WriteConfigFile(Path(name), {{u"k", {u"v"}}});
    } catch (int code) {
      caught = code;
    }
    EXPECT_EQ(caught, 1) << name;
    EXPECT_EQ(ListTree(root_), before) << name;  // nothing in TMPDIR either
  }
}

}  // namespace
}  // namespace ordx
