// Template locations against a real home: the starter files read and written, the proposal, its probe, registration.
#include "config/template_locations.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "config_test_support.h"

namespace ordx {
namespace {

using namespace testsupport;

const std::string kKey = "ConfigurationTemplatesLocation=";

class TemplateLocations : public TempHomeTest {
 protected:
  TemplateLocations() { for (const std::string& dir : {x, y, z}) fs::create_directories(dir); }
  ~TemplateLocations() override { SetHomeDirectoryProvider(nullptr); }
  // Selects as the installer does; the list and flags are kept for Register.
  std::string Select() {
    list.clear();
    return U8(SelectTemplateDirectory(&list, &alternateExists, &fromAlternate));
  }
  bool Register(const std::string& dir) { return RegisterTemplateDirectory(&list, W(dir), fromAlternate, alternateExists); }
  const std::string r = root_.string(), x = r + "/x", y = r + "/y", z = r + "/z";
  const fs::path mainFile = home_ / ".Ordo/ordolaunch/ordolaunch.cfg", alternateFile = home_ / ".Ordo/ordolauncht/ordolaunch.cfg";
  LocationList list;
  bool alternateExists = true, fromAlternate = true;
};

// The file read, the proposal, the files registering z writes: the main file wins, an existing alternate is written.
TEST_F(TemplateLocations, StarterFilesReadAndWritten) {
  const std::string deflt = home_.string() + "/.ordx/Ordo/ordx/tmplts/";
  const std::string zx = kKey + z + "\n" + kKey + x + "\n";
  using File = std::optional<std::string>;
  const std::tuple<File, File, std::string, bool, File, File> cases[] = {
      // main file, alternate file, proposal, list from the alternate, both files after
      {{}, {}, deflt, false, kKey + z + "\n", {}},
      {{}, "A=1\n" + kKey + x + "\n", x, true, {}, "A=1\n" + zx},
      {{}, "A=1\n", deflt, false, kKey + z + "\n", "A=1\n" + kKey + z + "\n"},
      {kKey + x + "\n", kKey + y + "\n", x, false, zx, zx}};
  for (const auto& [main, alternate, proposal, fromAlt, mainAfter, alternateAfter] : cases) {
    fs::remove_all(home_ / ".Ordo");
    if (main) WriteBytes(mainFile, *main);
    if (alternate) WriteBytes(alternateFile, *alternate);
    EXPECT_EQ(Select(), proposal) << alternate.value_or("-");
    EXPECT_EQ(alternateExists, alternate.has_value());
    EXPECT_EQ(fromAlternate, fromAlt);
    EXPECT_TRUE(Register(z + "/"));  // one trailing separator goes
    EXPECT_EQ(ReadIfAny(mainFile), mainAfter);
    EXPECT_EQ(ReadIfAny(alternateFile), alternateAfter);
  }
}

// Under "C" and UTF-8 a registration changes only the locations: every other line keeps its bytes, in a file of several
// read blocks written through a link that keeps its mode; locations that differ only in undecodable bytes stay apart.
// The platform file adds its locations and stays as it was.
TEST_F(TemplateLocations, RegistrationKeepsEveryOtherByteInEveryLocale) {
  const std::string head = "InstalledLocation=/opt/Ord\xC3\xBC\nLatin=caf\xE9\nLatin=caf\xE8\n"
                           "Bad=\xFF\xC0\xAF\xED\xA0\x80\r\n" + std::string("Zero=a\0b\n", 9);
  const std::string locations = kKey + x + "/\n" + kKey + "/srv/\xE9/\n" + kKey + "/srv/\xE8/\n";
  std::string filler;
  for (int i = 0; i < 10000; ++i) filler.append("F").append(std::to_string(i)).append("=\xD0\xB7\xD0\xBD\xD0\xB0 \xE9 \xC3\n");
  ASSERT_GT(filler.size(), 2u << 16);
  const fs::path platformFile = home_ / ".ordx/.Ordo/ordolaunch/ordolaunch.cfg";
  const std::string platform = kKey + x + "\nconfigurationtemplateslocation=" + y + "\n";
  fs::create_directories(mainFile.parent_path());
  fs::create_symlink(r + "/real.cfg", mainFile);
  for (const char* locale : {"C", "C.UTF-8"}) {
    const ScopedLocale scope(locale);
    WriteBytes(r + "/real.cfg", head + locations + filler + "Tail=\xF0\x9F\x98\x80");
    fs::permissions(r + "/real.cfg", fs::perms(0604));
    WriteBytes(platformFile, platform);
    EXPECT_EQ(Select(), x + "/") << locale;
    EXPECT_EQ(list, (LocationList{W(x + "/"), W("/srv/\xE9/"), W("/srv/\xE8/"), W(y)})) << locale;
    EXPECT_TRUE(Register(y + "/")) << locale;
    EXPECT_EQ(ReadIfAny(mainFile), head + kKey + y + "\n" + locations + filler + "Tail=\xF0\x9F\x98\x80\n") << locale;
    EXPECT_TRUE(fs::is_symlink(mainFile));
    EXPECT_EQ(fs::status(mainFile).permissions(), fs::perms(0604));
    EXPECT_EQ(ReadIfAny(platformFile), platform);
  }
}

// Addresses are never proposed; "file://", backslashes and a CR LF line end are cleaned away before the probe; a
// missing or failing one is passed over. The probe makes and removes a file in the location itself, never in TMPDIR,
// and puts the folder's time back.
TEST_F(TemplateLocations, ProbesEachLocationAsItWouldBeUsed) {
  for (const char* s : {"http:", "https:", "ftp:"}) fs::create_directories(root_ / s / "h");
  WriteBytes(root_ / "file", "");
  std::string lines;
  for (const std::string& l : {r + "/http://h", r + "/https://h", r + "/ftp://h", r + "/file", std::string("/m/n"),
                               std::string("\\M\\N\\"), std::string(), x + "/missing", y, "file://" + z + "\r"}) lines += kKey + l + "\n";
  WriteBytes(mainFile, lines);
  const timespec times[2] = {{1000, 5}, {2000, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, z.c_str(), times, 0), 0);
  SetFaultHook([this](FileOp op, const WideString& path) { return op == FileOp::kGetTempFileName && U8(path) == y ? 87u : 0u; });
  EXPECT_EQ(Select(), z);
  EXPECT_EQ(list.size(), 9u);  // "\M\N\" is "/m/n" again
  struct stat st {};
  ASSERT_EQ(stat(z.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_TRUE(fs::is_empty(z));
  EXPECT_TRUE(fs::is_empty(tmp_));
  setenv("HOME", (r + "/http://h").c_str(), 1);  // a home that cleaning empties
  EXPECT_EQ(Select(), "");
}

// A write failing twice, a main file not read whole, no home: nothing is written, the alternate file is not tried.
TEST_F(TemplateLocations, FailuresLeaveEveryFileAsItWas) {
  WriteBytes(mainFile, "M=1\n");
  WriteBytes(alternateFile, "A=1\n");
  Select();
  const auto before = ListTree(root_);
  for (const FileOp failing : {FileOp::kWriteFile, FileOp::kReadFile}) {
    SetFaultHook([&](FileOp op, const WideString&) { return op == failing ? 87u : 0u; });
    EXPECT_FALSE(Register(z));
    EXPECT_EQ(ReadIfAny(mainFile), "M=1\n");
    EXPECT_EQ(ReadIfAny(alternateFile), "A=1\n");
    EXPECT_EQ(ListTree(root_), before);
  }
  SetFaultHook(FaultHook());
  SetHomeDirectoryProvider([] { return WideString(); });
  EXPECT_TRUE(Select().empty());
  EXPECT_TRUE(GetMainStarterFile().empty());
  EXPECT_FALSE(Register(z));
  EXPECT_EQ(ListTree(root_), before);
}

}  // namespace
}  // namespace ordx
