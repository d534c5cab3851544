// Template locations against a real temporary home directory: which starter
// files are read and written, the proposal and its probe, the registration.
#include "config/template_locations.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "config/config_file.h"
#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testing_support;

const std::string kKey = "ConfigurationTemplatesLocation=";

class TemplateLocationsTest : public TempHomeTest {
 protected:
  TemplateLocationsTest() { for (const std::string& dir : {x, y, z}) fs::create_directories(dir); }
  ~TemplateLocationsTest() override { SetHomeDirectoryProvider(nullptr); }
  // Selects as the installer does; the list and flags are kept for Register.
  std::string Select() {
    list.clear();
    return N(SelectTemplateDirectory(&list, &alternateExists, &fromAlternate));
  }
  bool Register(const std::string& target) {
    return RegisterTemplateDirectory(&list, W(target), fromAlternate, alternateExists);
  }
  const std::string deflt = home_.string() + "/.ordx/Ordo/ordx/tmplts/";
  const std::string r = root_.string(), x = r + "/x", y = r + "/y", z = r + "/z";
  const fs::path mainFile = home_ / ".Ordo/ordolaunch/ordolaunch.cfg";
  const fs::path alternateFile = home_ / ".Ordo/ordolauncht/ordolaunch.cfg";
  LocationList list;
  bool alternateExists = true, fromAlternate = true;
};

// When the first write fails, the retry creates the file's own directory.
TEST_F(TemplateLocationsTest, NoStarterFileProposesTheDefaultAndCreatesTheMainFile) {
  EXPECT_EQ(Select(), deflt);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(alternateExists);
  EXPECT_FALSE(fromAlternate);
  int directoryCalls = 0, tempCalls = 0;
  SetFaultHook([&](FileOp op, const WideString&) -> ErrorCode {
    if (op == FileOp::kCreateDirectory) return ++directoryCalls == 1 ? 87 : 0;
    return op == FileOp::kGetTempFileName && ++tempCalls == 1 ? 87 : 0;
  });
  EXPECT_TRUE(Register(deflt));
  EXPECT_EQ(ReadBytes(mainFile), kKey + deflt.substr(0, deflt.size() - 1) + "\n");  // one "/" less
  EXPECT_EQ(directoryCalls, 2);
  EXPECT_EQ(ListTree(home_).size(), 3u);  // only the main file and its folders
}

TEST_F(TemplateLocationsTest, MainAndPlatformFilesMergeAndOtherKeysSurvive) {
  WriteBytes(mainFile, "Other=1\n" + kKey + x + "/\nTail=2\n");
  const std::string platform = kKey + x + "\nconfigurationtemplateslocation=" + y + "\n";
  WriteBytes(home_ / ".ordx/.Ordo/ordolaunch/ordolaunch.cfg", platform);
  EXPECT_EQ(Select(), x + "/");
  EXPECT_EQ(list, (LocationList{W(x + "/"), W(y)}));
  EXPECT_TRUE(fs::is_empty(x));  // the probe is gone
  EXPECT_TRUE(Register(y + "/"));  // to the head, without its old copy
  EXPECT_EQ(ReadBytes(mainFile), "Other=1\n" + kKey + y + "\n" + kKey + x + "/\nTail=2\n");
  EXPECT_EQ(ReadBytes(home_ / ".ordx/.Ordo/ordolaunch/ordolaunch.cfg"), platform);
}

// Under "C" and UTF-8 a registration changes only the locations: every
// other line keeps its bytes, in a file larger than one read chunk, and
// locations that differ only in non-ASCII bytes stay apart.
TEST_F(TemplateLocationsTest, ForeignLinesKeepTheirBytesInEveryLocale) {
  const std::string head = "InstalledLocation=/opt/Ord\xC3\xBC/J\xC3\xBCrgen caf\xC3\xA9\n"
                           "Latin=caf\xE9\nLatin=caf\xE8\nBad=\xFF\xC0\xAF\xED\xA0\x80\r\n" +
                           std::string("Zero=a\0b\n", 9);
  const std::string locations = kKey + "/srv/\xD1\x88\xD0\xB0\xD0\xB1/\n" + kKey +
                                "/srv/\xD0\xBE\xD0\xB1\xD1\x80/\n";
  std::string filler;
  // Appended piece by piece: GCC 12 reports a false -Wrestrict overlap for
  // "F" + std::to_string(i).
  for (int i = 0; i < 10000; ++i) {
    filler += 'F';
    filler += std::to_string(i);
    filler += "=\xD0\xB7\xD0\xBD\xD0\xB0\xD1\x87 \xE9 ";
    filler += std::to_string(i);
    filler += '\n';
  }
  ASSERT_GT(filler.size(), 3u << 16);
  const std::string tail = "Tail=\xF0\x9F\x98\x80\n";
  const std::string target = r + "/h\xC3\xB6me/t";
  for (const char* locale : {"C", "C.UTF-8"}) {
    const ScopedLocale scope(locale);
    ASSERT_TRUE(scope.ok()) << locale;
    WriteBytes(mainFile, head + locations + filler + tail);
    list.clear();
    Select();
    EXPECT_EQ(list.size(), 2u) << locale;
    EXPECT_TRUE(Register(target + "/")) << locale;
    EXPECT_TRUE(ReadBytes(mainFile) == head + kKey + target + "\n" + locations + filler + tail)
        << locale;
  }
}

TEST_F(TemplateLocationsTest, CaseSlashAndBackslashDuplicatesCollapse) {
  WriteBytes(mainFile, kKey + "/m/n\n" + kKey + "/M/N/\n" + kKey + "\\m\\N\n" + kKey + "\n" +
                           kKey + "C:\\t\\x\n");
  EXPECT_EQ(Select(), deflt);  // none of them exists
  EXPECT_EQ(list, (LocationList{u"/m/n", u"", u"C:/t/x"}));
}

TEST_F(TemplateLocationsTest, ProbesEachLocationAsItWouldBeUsed) {
  // Addresses (writable as folders here) are never proposed; "file://" and a CR LF
  // line end are cleaned away before the probe; a missing or failing one is passed over.
  for (const char* s : {"http:", "https:", "ftp:"}) fs::create_directories(root_ / s / "h");
  WriteBytes(mainFile, kKey + r + "/http://h\n" + kKey + r + "/https://h\n" + kKey + r +
                           "/ftp://h\n" + kKey + x + "/missing\n" + kKey + y + "\n" + kKey +
                           "file://" + z + "\r\n");
  SetFaultHook([this](FileOp op, const WideString& path) {
    return op == FileOp::kGetTempFileName && N(path) == y ? 87u : 0u;
  });
  EXPECT_EQ(Select(), z);
  setenv("HOME", (r + "/http://h").c_str(), 1);  // a home that cleaning empties
  EXPECT_EQ(Select(), "");
}

TEST_F(TemplateLocationsTest, AlternateFileAloneWithAndWithoutLocationsAndBothFiles) {
  const std::string zx = kKey + z + "\n" + kKey + x + "\n";
  const std::optional<std::string> none;
  const std::tuple<std::optional<std::string>, std::string, bool, decltype(none), std::string>
      cases[] = {{none, "A=1\n" + kKey + x + "\n", true, none, "A=1\n" + zx},
                 {none, "A=1\n", false, kKey + z + "\n", "A=1\n" + kKey + z + "\n"},
                 {kKey + x + "\n", kKey + y + "\n", false, zx, zx}};  // the main file wins
  for (const auto& [main, alternate, fromAlt, mainAfter, alternateAfter] : cases) {
    fs::remove_all(home_ / ".Ordo");
    if (main) WriteBytes(mainFile, *main);
    WriteBytes(alternateFile, alternate);
    Select();
    EXPECT_TRUE(alternateExists) << alternate;
    EXPECT_TRUE(fromAlternate == fromAlt) << alternate;
    EXPECT_TRUE(Register(z));
    EXPECT_EQ(ReadBytes(mainFile), mainAfter);
    EXPECT_EQ(ReadBytes(alternateFile), alternateAfter);
  }
}

// A write failing twice, a main file not read whole: nothing written, alternate untried.
TEST_F(TemplateLocationsTest, FailuresLeaveEveryFileAsItWas) {
  const std::string main = "M=1\n" + kKey + x + "\n";
  WriteBytes(mainFile, main);
  WriteBytes(alternateFile, "A=1\n");
  Select();
  const auto before = ListTree(root_);
  for (const FileOp failing : {FileOp::kWriteFile, FileOp::kCreateFile}) {
    SetFaultHook([&](FileOp op, const WideString& path) -> ErrorCode {
      return op == failing && (op == FileOp::kWriteFile || N(path) == mainFile.string()) ? 87 : 0;
    });
    EXPECT_FALSE(Register(z));
    EXPECT_TRUE(ReadBytes(mainFile) == main);
    EXPECT_TRUE(ReadBytes(alternateFile) == "A=1\n");
    EXPECT_EQ(ListTree(root_), before);
  }
}

TEST_F(TemplateLocationsTest, WritabilityProbeTestsTheLocationItself) {
  const timespec times[2] = {{1000, 5}, {2000, 123456789}};  // the probe leaves them
  ASSERT_EQ(utimensat(AT_FDCWD, x.c_str(), times, 0), 0);
  EXPECT_TRUE(IsDirectoryWritable(W(x)));
  EXPECT_TRUE(IsDirectoryWritable(W(x + "/")));
  EXPECT_TRUE(fs::is_empty(x));
  struct stat st {};
  ASSERT_EQ(stat(x.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mtim.tv_sec == 2000);
  EXPECT_TRUE(st.st_mtim.tv_nsec == 123456789);
  WriteBytes(root_ / "file", "");
  for (const std::string& dir : {x + "/missing", (root_ / "file").string(), std::string()})
    EXPECT_FALSE(IsDirectoryWritable(W(dir))) << dir;
  EXPECT_TRUE(fs::is_empty(tmp_));  // no fallback file left in TMPDIR
}

TEST_F(TemplateLocationsTest, NoHomeDirectoryProposesAndWritesNothing) {
  SetHomeDirectoryProvider([] { return WideString(); });
  const auto before = ListTree(root_);
  EXPECT_TRUE(Select().empty());
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(GetMainStarterFile().empty());
  alternateExists = true;
  EXPECT_FALSE(Register(z));
  EXPECT_EQ(ListTree(root_), before);
}

}  // namespace
}  // namespace ordx
