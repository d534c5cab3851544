// Template locations against a real temporary home directory: which starter
// files are read and written, the proposal and its probe, the registration.
#include "config/template_locations.h"

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
  void Register(const std::string& target) {
    RegisterTemplateDirectory(&list, W(target), fromAlternate, alternateExists);
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
  EXPECT_TRUE(list.empty() && !alternateExists && !fromAlternate);
  int directoryCalls = 0, tempCalls = 0;
  SetFaultHook([&](FileOp op, const WideString&) -> ErrorCode {
    if (op == FileOp::kCreateDirectory) return ++directoryCalls == 1 ? 87 : 0;
    return op == FileOp::kGetTempFileName && ++tempCalls == 1 ? 87 : 0;
  });
  Register(deflt);
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
  Register(y + "/");  // to the head, without its old copy
  EXPECT_EQ(ReadBytes(mainFile), "Other=1\n" + kKey + y + "\n" + kKey + x + "/\nTail=2\n");
  EXPECT_EQ(ReadBytes(home_ / ".ordx/.Ordo/ordolaunch/ordolaunch.cfg"), platform);
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
    EXPECT_TRUE(alternateExists && fromAlternate == fromAlt) << alternate;
    Register(z);
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
    Register(z);
    EXPECT_TRUE(ReadBytes(mainFile) == main && ReadBytes(alternateFile) == "A=1\n");
    EXPECT_EQ(ListTree(root_), before);
  }
}

TEST_F(TemplateLocationsTest, WritabilityProbeTestsTheLocationItself) {
  EXPECT_TRUE(IsDirectoryWritable(W(x)) && IsDirectoryWritable(W(x + "/")) && fs::is_empty(x));
  WriteBytes(root_ / "file", "");
  for (const std::string& dir : {x + "/missing", (root_ / "file").string(), std::string()})
    EXPECT_FALSE(IsDirectoryWritable(W(dir))) << dir;
  EXPECT_TRUE(fs::is_empty(tmp_));  // no fallback file left in TMPDIR
}

TEST_F(TemplateLocationsTest, NoHomeDirectoryProposesAndWritesNothing) {
  SetHomeDirectoryProvider([] { return WideString(); });
  const auto before = ListTree(root_);
  EXPECT_TRUE(Select().empty() && list.empty() && GetMainStarterFile().empty());
  alternateExists = true;
  Register(z);
  EXPECT_EQ(ListTree(root_), before);
}

}  // namespace
}  // namespace ordx
