// The starter's key=value files: line rules, and a reader and writer that never damage a file they cannot handle whole.
#include "config/config_file.h"

#include <sys/stat.h>

#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testsupport;

std::string Dump(const ConfigEntries& entries) {  // key=[value|value|];
  std::string out;
  for (const ConfigEntry& entry : entries) {
    out += U8(entry.key) + "=[";
    for (const WideString& value : entry.values) out += U8(value) + "|";
    out += "];";
  }
  return out;
}
int Thrown(const std::function<void()>& body) try { return body(), 0; } catch (int code) { return code; }

// The bytes, the model they give, the bytes written back (empty: the same).
TEST(ConfigText, LineRules) {
  const std::string cases[][3] = {
      {"a=b=c\nlast=line", "a=[b=c|];last=[line|];", "a=b=c\nlast=line\n"},
      {"lonely\n#c=1\n;d\n", "lonely=[|];#c=[1|];;d=[|];", "lonely=\n#c=1\n;d=\n"},
      {"\n\n=\n=value\n k \t= v \n", "=[value|]; k \t=[ v |];", "=value\n k \t= v \n"},
      // Repeated keys gather at their first place; values fold ASCII case only.
      {"a=1\nb=2\nA=3\na=1\nA=B\na=b\na=\xC3\xA9\na=\xC3\x89\na=\xE9\na=\xC9\n",
       "a=[1|3|B|\xC3\xA9|\xC3\x89|\xE9|\xC9|];b=[2|];",
       "a=1\na=3\na=B\na=\xC3\xA9\na=\xC3\x89\na=\xE9\na=\xC9\nb=2\n"},
      // CR LF: the carriage return stays in the value; a blank CR LF line goes.
      {"a=1\r\nb\r\n\r\nc=3\r\n", "a=[1\r|];b\r=[|];c=[3\r|];", "a=1\r\nb\r=\nc=3\r\n"},
      {"\xEF\xBB\xBFk=v\nk=w\n", "\xEF\xBB\xBFk=[v|];k=[w|];", ""}};  // BOM: part of the key
  for (const auto& [bytes, model, rewritten] : cases) {
    ConfigEntries entries;
    ParseConfigText(bytes, &entries);
    EXPECT_EQ(Dump(entries), model) << bytes;
    EXPECT_EQ(FormatConfigText(entries), rewritten.empty() ? bytes : rewritten) << bytes;
  }
  ConfigEntries entries = {{u"Key", {u"One"}}, {u"other", {u"x"}}, {u"empty", {}}};
  SetValues(&entries, u"OTHER", {u"y", u"z"});
  SetValues(&entries, u"key", {});
  SetValues(&entries, u"new", {u"n"});
  EXPECT_EQ(FormatConfigText(entries), "other=y\nother=z\nnew=n\n");
}

using ConfigFile = TempHomeTest;

// No regular file, too big or too many lines, or (for root) a link someone else owns: left alone at once, neither read
// nor written.
TEST_F(ConfigFile, HostileStarterFilesAreLeftAloneAtOnce) {
  ASSERT_EQ(mkfifo((home_ / "fifo.cfg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", home_ / "zero.cfg");
  fs::create_directories(home_ / "dir.cfg");
  WriteBytes(home_ / "big.cfg", "k=v\n");
  fs::resize_file(home_ / "big.cfg", kMaxConfigFileBytes + 1);  // sparse
  WriteBytes(home_ / "victim.cfg", "keep=this\n");
  std::string lines;  // distinct tiny keys: a model hundreds of times the file's size
  for (std::size_t i = 0; i <= kMaxConfigFileLines; ++i) lines += std::to_string(i) + "\n";
  WriteBytes(home_ / "lines.cfg", lines);
  WriteBytes(home_ / "unended.cfg", lines.substr(0, lines.size() - 1));  // the last line without its line feed
  WriteBytes(home_ / "most.cfg", lines.substr(lines.find('\n') + 1));  // one line less: read
  ConfigEntries most;
  EXPECT_EQ(ReadConfigFileChecked(Path("most.cfg"), &most), ConfigReadResult::kRead);
  EXPECT_EQ(most.size(), kMaxConfigFileLines);
  std::vector<std::string> names = {"fifo.cfg", "zero.cfg", "dir.cfg", "big.cfg", "lines.cfg", "unended.cfg"};
  if (geteuid() == 0) {
    fs::create_symlink(home_ / "victim.cfg", home_ / "foreign.cfg");
    ASSERT_EQ(lchown((home_ / "foreign.cfg").c_str(), 4321, 4321), 0);
    names.push_back("foreign.cfg");
  }
  const auto before = ListTree(root_);
  for (const std::string& name : names) {
    const int outcome = testsupport::ExitCodeInChild([&] {
      ConfigEntries entries;
      if (ReadConfigFileChecked(Path(name), &entries) != ConfigReadResult::kUnreadable) return 10;
      // A big regular file may be replaced; it was not read, so nobody does.
      const bool regular = name == "big.cfg" || name == "lines.cfg" || name == "unended.cfg";
      return regular ? 1 : Thrown([&] { WriteConfigFile(Path(name), {{u"k", {u"v"}}}); });
    });
    EXPECT_EQ(outcome, 1) << name;
  }
  EXPECT_EQ(ListTree(root_), before);
  EXPECT_TRUE(fs::is_fifo(home_ / "fifo.cfg"));
  EXPECT_EQ(fs::file_size(home_ / "big.cfg"), kMaxConfigFileBytes + 1);
  EXPECT_EQ(ReadIfAny(home_ / "victim.cfg"), "keep=this\n");
}

// A failed read adds nothing; a failed write throws 1 (create) or 2 (write, encode), keeps the old file, strays none.
TEST_F(ConfigFile, FailuresLeaveModelAndFileAsTheyWere) {
  WriteBytes(home_ / "d.cfg", "k=B\nk=c\n");
  ConfigEntries entries;
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kReadFile ? 87u : 0u; });
  EXPECT_EQ(ReadConfigFileChecked(Path("d.cfg"), &entries), ConfigReadResult::kUnreadable);
  EXPECT_TRUE(entries.empty());
  const std::tuple<const char*, std::optional<FileOp>, const char16_t*, int> cases[] = {
      {"d.cfg", FileOp::kGetTempFileName, u"v", 1}, {"d.cfg", FileOp::kCreateFile, u"v", 1},
      {"d.cfg", FileOp::kWriteFile, u"v", 2},       {"d.cfg", FileOp::kMoveFile, u"v", 2},
      {"missing/x.cfg", std::nullopt, u"v", 1},     {"d.cfg", std::nullopt, u"a\xD800", 2}};
  const auto before = ListTree(root_);
  for (const auto& [name, failing, value, thrown] : cases) {
    SetFaultHook([f = failing](FileOp op, const WideString&) { return op == f ? 87u : 0u; });
    EXPECT_EQ(Thrown([&, name = name, value = value] { WriteConfigFile(Path(name), {{u"k", {value}}}); }), thrown) << name;
    EXPECT_EQ(ReadIfAny(home_ / "d.cfg"), "k=B\nk=c\n");
    EXPECT_EQ(ListTree(root_), before);
  }
}

}  // namespace
}  // namespace ordx
