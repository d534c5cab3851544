// Template locations against a real temporary home directory: which starter
// files are read and written, the proposal and its probe, the registration.
#include "config/template_locations.h"

#include "config/config_file.h"
#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testing_support;

const std::string kKey = "ConfigurationTemplatesLocation=";

struct Selection {
  std::string proposal;
  std::vector<std::string> list;
  bool alternateExists = false;
  bool fromAlternate = false;
};

class TemplateLocationsTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    home = home_.string();
    mainFile = home_ / ".Ordo/ordolaunch/ordolaunch.cfg";
    platformFile = home_ / ".ordx/.Ordo/ordolaunch/ordolaunch.cfg";
    alternateFile = home_ / ".Ordo/ordolauncht/ordolaunch.cfg";
    for (const char* name : {"x", "y", "z"}) fs::create_directories(root_ / name);
    x = (root_ / "x").string();
    y = (root_ / "y").string();
    z = (root_ / "z").string();
  }
  void TearDown() override {
    SetHomeDirectoryProvider(nullptr);
    TempHomeTest::TearDown();
  }

  Selection Select() {
    Selection s;
    LocationList list;
    s.proposal = N(SelectTemplateDirectory(&list, &s.alternateExists, &s.fromAlternate));
    for (const WideString& location : list) s.list.push_back(N(location));
    list_ = list;
    return s;
  }
  void Register(const std::string& target, const Selection& s) {
    RegisterTemplateDirectory(&list_, W(target), s.fromAlternate, s.alternateExists);
  }

  std::string home, x, y, z;
  fs::path mainFile, platformFile, alternateFile;
  LocationList list_;
};

TEST_F(TemplateLocationsTest, PathsUnderTheHomeDirectory) {
  EXPECT_EQ(N(GetPlatformUserDirectory()), home + "/.ordx/");
  EXPECT_EQ(N(GetDefaultTemplateDirectory()), home + "/.ordx/Ordo/ordx/tmplts/");
  EXPECT_EQ(N(GetMainStarterFile()), home + "/.Ordo/ordolaunch/ordolaunch.cfg");
  EXPECT_EQ(N(GetPlatformStarterFile()), home + "/.ordx//.Ordo/ordolaunch/ordolaunch.cfg");
  EXPECT_EQ(N(GetAlternateStarterFile()), home + "/.Ordo/ordolauncht/ordolaunch.cfg");
}

TEST_F(TemplateLocationsTest, NoStarterFileProposesTheDefaultAndCreatesTheMainFile) {
  const Selection s = Select();
  EXPECT_EQ(s.proposal, home + "/.ordx/Ordo/ordx/tmplts/");
  EXPECT_TRUE(s.list.empty());
  EXPECT_FALSE(s.alternateExists || s.fromAlternate);
  Register(s.proposal, s);
  EXPECT_EQ(ReadBytes(mainFile), kKey + home + "/.ordx/Ordo/ordx/tmplts\n");
  const std::set<std::string> created = {".Ordo", ".Ordo/ordolaunch",
                                          ".Ordo/ordolaunch/ordolaunch.cfg"};
  EXPECT_EQ(ListTree(home_), created);
}

TEST_F(TemplateLocationsTest, MainAndPlatformFilesMergeAndOtherKeysSurvive) {
  WriteBytes(mainFile, "Other=1\n" + kKey + x + "/\nTail=2\n");
  const std::string platform = kKey + x + "\nconfigurationtemplateslocation=" + y + "\n";
  WriteBytes(platformFile, platform);
  const Selection s = Select();
  EXPECT_EQ(s.list, (std::vector<std::string>{x + "/", y}));
  EXPECT_EQ(s.proposal, x + "/");
  EXPECT_TRUE(fs::is_empty(x));  // the probe is gone
  Register(z + "/", s);
  EXPECT_EQ(ReadBytes(mainFile),
            "Other=1\n" + kKey + z + "\n" + kKey + x + "/\n" + kKey + y + "\nTail=2\n");
  EXPECT_EQ(ReadBytes(platformFile), platform);
}

TEST_F(TemplateLocationsTest, CaseSlashAndBackslashDuplicatesCollapse) {
  const std::string r = root_.string();
  std::string back = r + "/m/N";
  for (char& c : back)
    if (c == '/') c = '\\';
  WriteBytes(mainFile, kKey + r + "/m/n\n" + kKey + r + "/M/N/\n" + kKey + back + "\n" + kKey +
                           "\n" + kKey + "C:\\t\\x\n");
  const Selection s = Select();
  EXPECT_EQ(s.list, (std::vector<std::string>{r + "/m/n", "", "C:/t/x"}));
  EXPECT_EQ(s.proposal, home + "/.ordx/Ordo/ordx/tmplts/");  // none of them exists
}

TEST_F(TemplateLocationsTest, ProbesEachLocationAsItWouldBeUsed) {
  // Addresses are never proposed; "file://" and a CR LF line end are cleaned
  // away before the probe; a missing or failing location is passed over.
  WriteBytes(mainFile, kKey + "http://srv/t\n" + kKey + "https://s\n" + kKey + "ftp://f\n" +
                           kKey + x + "/missing\n" + kKey + y + "\n" + kKey + "file://" + z +
                           "\r\n");
  SetFaultHook([this](FileOp op, const WideString& path) {
    return op == FileOp::kGetTempFileName && N(path) == y ? 87u : 0u;
  });
  EXPECT_EQ(Select().proposal, z);
  SetFaultHook(FaultHook());

  WriteBytes(mainFile, kKey + "http://srv/t\n");
  EXPECT_EQ(Select().proposal, home + "/.ordx/Ordo/ordx/tmplts/");
  EXPECT_EQ(N(CleanTemplateDirectory(u"file://\\\\srv\\a\n\r")), "//srv/a");
}

TEST_F(TemplateLocationsTest, HomeThatLooksLikeAnAddressEmptiesTheProposal) {
  fs::create_directories(root_ / "http:" / "h");
  setenv("HOME", (root_.string() + "/http://h").c_str(), 1);
  EXPECT_EQ(Select().proposal, "");
}

TEST_F(TemplateLocationsTest, AlternateFileAloneWithLocations) {
  WriteBytes(alternateFile, "A=1\n" + kKey + x + "\n");
  const Selection s = Select();
  EXPECT_TRUE(s.alternateExists && s.fromAlternate);
  EXPECT_EQ(s.list, std::vector<std::string>{x});
  Register(z, s);
  EXPECT_FALSE(fs::exists(mainFile));
  EXPECT_EQ(ReadBytes(alternateFile), "A=1\n" + kKey + z + "\n" + kKey + x + "\n");
}

TEST_F(TemplateLocationsTest, AlternateFileAloneWithoutLocations) {
  WriteBytes(alternateFile, "A=1\n");
  const Selection s = Select();
  EXPECT_TRUE(s.alternateExists);
  EXPECT_FALSE(s.fromAlternate);
  Register(z, s);
  EXPECT_EQ(ReadBytes(mainFile), kKey + z + "\n");
  EXPECT_EQ(ReadBytes(alternateFile), "A=1\n" + kKey + z + "\n");
}

TEST_F(TemplateLocationsTest, BothFilesAreWrittenWithTheSameList) {
  WriteBytes(mainFile, kKey + x + "\n");
  WriteBytes(alternateFile, kKey + y + "\n");
  const Selection s = Select();
  EXPECT_EQ(s.list, std::vector<std::string>{x});  // the main file wins
  EXPECT_TRUE(s.alternateExists);
  EXPECT_FALSE(s.fromAlternate);
  Register(z, s);
  EXPECT_EQ(ReadBytes(mainFile), kKey + z + "\n" + kKey + x + "\n");
  EXPECT_EQ(ReadBytes(alternateFile), kKey + z + "\n" + kKey + x + "\n");
}

TEST_F(TemplateLocationsTest, RetryCreatesTheFilesOwnDirectory) {
  int directoryCalls = 0, tempCalls = 0;
  SetFaultHook([&](FileOp op, const WideString&) -> ErrorCode {
    if (op == FileOp::kCreateDirectory) return ++directoryCalls == 1 ? 87 : 0;
    if (op == FileOp::kGetTempFileName) return ++tempCalls == 1 ? 87 : 0;
    return 0;
  });
  Register(z, Select());
  EXPECT_EQ(ReadBytes(mainFile), kKey + z + "\n");
  EXPECT_EQ(directoryCalls, 2);
  EXPECT_FALSE(fs::exists(home_ / ".ordx"));
}

TEST_F(TemplateLocationsTest, FailuresLeaveEveryFileAsItWas) {
  const std::string main = "M=1\n" + kKey + x + "\n";
  const std::string alternate = "A=1\n";
  WriteBytes(mainFile, main);
  WriteBytes(alternateFile, alternate);
  const Selection s = Select();
  const auto before = ListTree(root_);
  const WideString mainPath = W(mainFile.string());
  // A write that fails twice, and a main file that cannot be read whole: in
  // both cases nothing is written, and the alternate file is not tried.
  for (const FileOp failing : {FileOp::kWriteFile, FileOp::kCreateFile}) {
    SetFaultHook([&](FileOp op, const WideString& path) -> ErrorCode {
      if (op != failing) return 0;
      return op == FileOp::kWriteFile || path == mainPath ? 87 : 0;
    });
    Register(z, s);
    EXPECT_EQ(ReadBytes(mainFile), main);
    EXPECT_EQ(ReadBytes(alternateFile), alternate);
    EXPECT_EQ(ListTree(root_), before);
  }
}

TEST_F(TemplateLocationsTest, WritabilityProbeTestsTheLocationItself) {
  EXPECT_TRUE(IsDirectoryWritable(W(x)));
  EXPECT_TRUE(IsDirectoryWritable(W(x + "/")));
  EXPECT_TRUE(fs::is_empty(x));
  WriteBytes(root_ / "file", "");
  for (const std::string& dir : {x + "/missing", (root_ / "file").string(), std::string()})
    EXPECT_FALSE(IsDirectoryWritable(W(dir))) << dir;
  EXPECT_TRUE(fs::is_empty(tmp_));  // no fallback file left in TMPDIR
}

TEST_F(TemplateLocationsTest, NoHomeDirectoryProposesAndWritesNothing) {
  SetHomeDirectoryProvider([] { return WideString(); });
  const auto before = ListTree(root_);
  const Selection s = Select();
  EXPECT_EQ(s.proposal, "");
  EXPECT_TRUE(s.list.empty());
  EXPECT_TRUE(GetMainStarterFile().empty() && GetDefaultTemplateDirectory().empty());
  Register(z, Selection{"", {}, true, false});
  EXPECT_NO_THROW(WriteTemplateLocations({W(z)}, false));
  EXPECT_EQ(ListTree(root_), before);
}

TEST_F(TemplateLocationsTest, RegistrationTrimsOneSeparatorAndDropsTheOldCopy) {
  LocationList list = {W(x), W(y)};
  RegisterTemplateDirectory(&list, W(y + "/"), false, false);
  EXPECT_EQ(ReadBytes(mainFile), kKey + y + "\n" + kKey + x + "\n");
  RegisterTemplateDirectory(&list, u"/", false, false);
  EXPECT_EQ(ReadBytes(mainFile), kKey + "/\n" + kKey + y + "\n" + kKey + x + "\n");
}

}  // namespace
}  // namespace ordx
