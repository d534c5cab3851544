// The starter's key=value files: line rules, byte-exact round trips in any
// locale, and a writer that never damages the old file when it fails.
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
int Thrown(const std::function<void()>& body) {
  try {
    body();
  } catch (int code) {
    return code;
  }
  return 0;
}

// Each case: the bytes, the model they give (under UTF-8), the bytes written
// back (empty: the same bytes). Bytes that do not decode, zero bytes and
// characters cut short survive under "C" as under UTF-8.
TEST(ConfigText, LineRulesAndByteExactRewriting) {
  std::string longLine = "long=";
  for (int i = 0; i < 20000; ++i) longLine += "\xD0\xB6\xE9";
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
      {"k=caf\xE9\nk=caf\xE8\nk=caf\xC3\xA9\n", "k=[caf\xE9|caf\xE8|caf\xC3\xA9|];", ""},
      {std::string("z=a\0b\n\0x=\xE2\x82\n", 12), "", ""},
      {"\xED\xA0\x80=\xF0\x9F\x98\x80\xFF\r\nlast=\xC3\n", "", ""},
      {longLine + "\n", "", ""},
  };
  for (const char* locale : {"C.UTF-8", "C"}) {
    const ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale;
    for (const auto& [bytes, model, rewritten] : cases) {
      if (!model.empty() && std::string(locale) != "C") {
        EXPECT_EQ(Dump(Parse(bytes)), model) << bytes;
      }
      EXPECT_EQ(FormatConfigText(Parse(bytes)), rewritten.empty() ? bytes : rewritten)
          << locale << ": " << bytes.substr(0, 40);
    }
  }
  ConfigEntries entries = {{u"Key", {u"One"}}, {u"other", {u"x"}}, {u"empty", {}}};
  SetValues(&entries, u"OTHER", {u"y", u"z"});
  SetValues(&entries, u"key", {});
  SetValues(&entries, u"new", {u"n"});
  EXPECT_EQ(FormatConfigText(entries), "other=y\nother=z\nnew=n\n");
  EXPECT_EQ(FormatConfigText({{u"k", {u"a\xD800"}}}), std::nullopt);  // not encodable
}

using ConfigFile = TempHomeTest;

// Written through a link that stays one, keeping the target's permission
// bits, leaving no stray file; a new file gets 0666 less the umask, also
// behind a link to a missing file.
TEST_F(ConfigFile, WriterKeepsLinksAndModes) {
  const fs::path target = home_ / "real" / "target.cfg";
  WriteBytes(target, "Language=\xD0\xA0\xD1\x83\xD1\x81\nzh=\xE4\xB8\xAD\nzh=\xE6\xBC\xA2\n");
  fs::permissions(target, fs::perms(0640));
  fs::create_symlink(target, home_ / "link.cfg");
  ConfigEntries entries;
  EXPECT_EQ(ReadConfigFileChecked(Path("link.cfg"), &entries), ConfigReadResult::kRead);
  entries.push_back({u"new", {u"2"}});
  WriteConfigFile(Path("link.cfg"), entries);
  EXPECT_TRUE(fs::is_symlink(home_ / "link.cfg"));
  EXPECT_EQ(ReadBytes(target), "Language=\xD0\xA0\xD1\x83\xD1\x81\nzh=\xE4\xB8\xAD\nzh=\xE6\xBC\xA2\nnew=2\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
  EXPECT_EQ(ListTree(home_ / "real"), std::set<std::string>{"target.cfg"});
  fs::create_symlink("real/made.cfg", home_ / "dangling.cfg");
  const std::pair<mode_t, int> modes[] = {{027, 0640}, {0, 0666}, {077, 0600}};
  for (const auto& [mask, mode] : modes) {
    fs::remove(home_ / "real/made.cfg");
    const mode_t saved = umask(mask);
    WriteConfigFile(Path("dangling.cfg"), {{u"k", {u"v"}}});
    umask(saved);
    EXPECT_EQ(fs::status(home_ / "real/made.cfg").permissions(), fs::perms(mode)) << mask;
  }
  EXPECT_TRUE(fs::is_symlink(home_ / "dangling.cfg"));
  EXPECT_EQ(ReadBytes(home_ / "real/made.cfg"), "k=v\n");
}

// What is no regular file, what is too big, and (for the superuser) a link
// someone else owns are neither read nor written, and nothing blocks.
TEST_F(ConfigFile, HostileStarterFilesAreLeftAloneAtOnce) {
  ASSERT_EQ(mkfifo((home_ / "fifo.cfg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", home_ / "zero.cfg");
  fs::create_directories(home_ / "dir.cfg");
  WriteBytes(home_ / "big.cfg", "k=v\n");
  fs::resize_file(home_ / "big.cfg", kMaxConfigFileBytes + 1);  // sparse
  WriteBytes(home_ / "victim.cfg", "keep=this\n");
  // A big regular file may be replaced; the others refuse the writer too.
  std::vector<std::pair<std::string, bool>> names = {
      {"fifo.cfg", true}, {"zero.cfg", true}, {"dir.cfg", true}, {"big.cfg", false}};
  if (geteuid() == 0) {
    fs::create_symlink(home_ / "victim.cfg", home_ / "foreign.cfg");
    ASSERT_EQ(lchown((home_ / "foreign.cfg").c_str(), 4321, 4321), 0);
    names.emplace_back("foreign.cfg", true);
  }
  const auto before = ListTree(root_);
  for (const auto& [name, writeRefused] : names) {
    const int outcome = testsupport::ExitCodeInChild([&, name = name, refused = writeRefused] {
      ConfigEntries entries;
      if (ReadConfigFileChecked(Path(name), &entries) != ConfigReadResult::kUnreadable) return 10;
      return refused ? Thrown([&] { WriteConfigFile(Path(name), {{u"k", {u"v"}}}); }) : 1;
    });
    EXPECT_EQ(outcome, 1) << name;  // unreadable, and refused before anything was made
  }
  EXPECT_EQ(ListTree(root_), before);
  EXPECT_TRUE(fs::is_fifo(home_ / "fifo.cfg"));
  EXPECT_EQ(fs::file_size(home_ / "big.cfg"), kMaxConfigFileBytes + 1);
  EXPECT_EQ(ReadBytes(home_ / "victim.cfg"), "keep=this\n");
}

// Reading adds to the model, and only from a file read whole. A failed write
// throws 1 (cannot create) or 2 (cannot write or encode) and leaves the old
// file and no stray file, in its directory or in TMPDIR.
TEST_F(ConfigFile, FailuresLeaveModelAndFileAsTheyWere) {
  WriteBytes(home_ / "d.cfg", "k=B\nk=c\n");
  ConfigEntries entries = {{u"K", {u"b"}}};
  EXPECT_EQ(ReadConfigFileChecked(Path("d.cfg"), &entries), ConfigReadResult::kRead);
  EXPECT_EQ(ReadConfigFileChecked(Path("missing.cfg"), &entries), ConfigReadResult::kAbsent);
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kReadFile ? 87u : 0u; });
  EXPECT_EQ(ReadConfigFileChecked(Path("d.cfg"), &entries), ConfigReadResult::kUnreadable);
  EXPECT_EQ(Dump(entries), "K=[b|c|];");
  const std::tuple<const char*, std::optional<FileOp>, const char16_t*, int> cases[] = {
      {"d.cfg", FileOp::kGetTempFileName, u"v", 1}, {"d.cfg", FileOp::kCreateFile, u"v", 1},
      {"d.cfg", FileOp::kWriteFile, u"v", 2},       {"d.cfg", FileOp::kMoveFile, u"v", 2},
      {"missing/x.cfg", std::nullopt, u"v", 1},     {"d.cfg", std::nullopt, u"a\xD800", 2}};
  const auto before = ListTree(root_);
  for (const auto& [name, failing, value, thrown] : cases) {
    SetFaultHook([f = failing](FileOp op, const WideString&) { return op == f ? 87u : 0u; });
    EXPECT_EQ(Thrown([&] { WriteConfigFile(Path(name), {{u"k", {value}}}); }), thrown) << name;
    EXPECT_EQ(ReadBytes(home_ / "d.cfg"), "k=B\nk=c\n");
    EXPECT_EQ(ListTree(root_), before);
  }
}

}  // namespace
}  // namespace ordx
