// The starter's key=value files: line rules, decoding, byte-exact round
// trips, and a writer that never damages the old file when it fails.
#include "config/config_file.h"

#include <sys/stat.h>

#include <vector>

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

// Whatever the bytes and the locale, every key and value comes back as it
// was read: invalid and Latin-1 bytes, zero bytes, characters cut short at
// the end, long lines; values that differ only in such bytes stay apart.
TEST(ConfigText, EveryByteSurvivesInEveryLocale) {
  std::string longLine = "long=";
  for (int i = 0; i < 40000; ++i) longLine += "\xD0\xB6\xE9";
  const std::string cases[] = {
      "k=caf\xE9\nk=caf\xE8\nk=caf\xC3\xA9\n",  // Latin-1 twice, then UTF-8
      std::string("z=a\0b\n\0x=\xE2\x82\n", 12),
      "InstalledLocation=/opt/Ord\xC3\xBC/J\xC3\xBCrgen caf\xC3\xA9\n"
      "ConfigurationTemplatesLocation=/srv/\xD1\x88\xD0\xB0\xD0\xB1\n"
      "ConfigurationTemplatesLocation=/srv/\xD0\xBE\xD0\xB1\xD1\x80\n",
      "\xED\xA0\x80=\xF0\x9F\x98\x80\xFF\r\nlast=\xC3\n",
      longLine + "\n",
  };
  for (const char* locale : {"C", "C.UTF-8"}) {
    const ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale;
    for (const std::string& bytes : cases) {
      const ConfigEntries entries = Parse(bytes);
      EXPECT_EQ(FormatConfigText(entries), bytes) << locale << ": " << bytes.substr(0, 60);
    }
    EXPECT_EQ(Parse(cases[0])[0].values.size(), 3u) << locale;
  }
  // A value the locale cannot encode is never written as something else.
  EXPECT_EQ(FormatConfigText({{u"k", {u"a\xD800"}}}), std::nullopt);
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
  EXPECT_TRUE(fs::is_symlink(home_ / "link.cfg"));
  EXPECT_TRUE(ReadBytes(target) == text + "new=2\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
  EXPECT_EQ(ListTree(home_ / "real"), std::set<std::string>{"target.cfg"});
}

// A new file gets 0666 less the umask, as fopen would give it; a link to a
// missing file creates that file and stays a link.
TEST_F(ConfigFileTest, NewFilesTakeTheUmaskAndALinkToAMissingFileCreatesIt) {
  const std::pair<mode_t, fs::perms> cases[] = {{027, fs::perms(0640)}, {0, fs::perms(0666)},
                                                {077, fs::perms(0600)}};
  for (const auto& [mask, expected] : cases) {
    const mode_t saved = umask(mask);
    fs::remove(home_ / "new.cfg");
    WriteConfigFile(Path("new.cfg"), {{u"k", {u"v"}}});
    umask(saved);
    EXPECT_EQ(fs::status(home_ / "new.cfg").permissions(), expected) << mask;
  }
  fs::create_directories(home_ / "sub");
  fs::create_symlink("sub/target.cfg", home_ / "dangling.cfg");
  WriteConfigFile(Path("dangling.cfg"), {{u"k", {u"v"}}});
  EXPECT_TRUE(fs::is_symlink(home_ / "dangling.cfg"));
  EXPECT_EQ(ReadBytes(home_ / "sub/target.cfg"), "k=v\n");
}

// What is no regular file, what is too big, and (for the superuser) a link
// someone else owns are neither read nor written, and nothing blocks.
TEST_F(ConfigFileTest, HostileStarterFilesAreLeftAloneAtOnce) {
  ASSERT_EQ(mkfifo((home_ / "fifo.cfg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", home_ / "zero.cfg");
  fs::create_directories(home_ / "dir.cfg");
  WriteBytes(home_ / "big.cfg", "k=v\n");
  fs::resize_file(home_ / "big.cfg", kMaxConfigFileBytes + 1);  // sparse
  // Each name, and whether the writer must refuse it too (a big regular
  // file may be replaced; the registration never does, as it was not read).
  std::vector<std::pair<std::string, bool>> names = {
      {"fifo.cfg", true}, {"zero.cfg", true}, {"dir.cfg", true}, {"big.cfg", false}};
  WriteBytes(home_ / "victim.cfg", "keep=this\n");
  if (geteuid() == 0) {
    fs::create_symlink(home_ / "victim.cfg", home_ / "foreign.cfg");
    ASSERT_EQ(lchown((home_ / "foreign.cfg").c_str(), 4321, 4321), 0);
    names.emplace_back("foreign.cfg", true);
  }
  const auto before = ListTree(root_);
  for (const auto& [name, writeRefused] : names) {
    const int outcome = InChildWithDeadline([&, name = name, refused = writeRefused] {
      ConfigEntries entries;
      if (ReadConfigFileChecked(Path(name), &entries) != ConfigReadResult::kUnreadable) return 10;
      if (!refused) return 1;
      try {
        WriteConfigFile(Path(name), {{u"k", {u"v"}}});
      } catch (int code) {
        return code;
      }
      return 11;
    });
    EXPECT_EQ(outcome, 1) << name;  // unreadable, and refused before anything was made
  }
  EXPECT_EQ(ListTree(root_), before);
  EXPECT_TRUE(fs::is_fifo(home_ / "fifo.cfg"));
  EXPECT_TRUE(fs::is_directory(home_ / "dir.cfg"));
  EXPECT_EQ(fs::file_size(home_ / "big.cfg"), kMaxConfigFileBytes + 1);
  EXPECT_EQ(ReadBytes(home_ / "victim.cfg"), "keep=this\n");
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
    EXPECT_TRUE(ReadBytes(home_ / "d.cfg") == "keep=this\n");
    EXPECT_TRUE(ListTree(root_) == before);
  }
  // A value the locale cannot encode exactly: refused before anything is made.
  SetFaultHook(FaultHook());
  int caught = 0;
  try {
    WriteConfigFile(Path("d.cfg"), {{u"k", {u"a\xD800"}}});
  } catch (int code) {
    caught = code;
  }
  EXPECT_EQ(caught, 2);
  EXPECT_EQ(ReadBytes(home_ / "d.cfg"), "keep=this\n");
}

}  // namespace
}  // namespace ordx
