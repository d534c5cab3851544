// ordx-kit end to end: the real binary packs a tree into the container the
// reader expects, lists and verifies kits, and refuses what a kit cannot hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class OrdxKitTest : public KitTest {
 protected:
  // The exit status; out_ and err_ get what it printed. `env` may set variables first.
  int Tool(const std::vector<std::string>& args, const std::string& env = "") {
    std::string command = env + " '" ORDX_KIT_BINARY "'";
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " >" + Path("out") + " 2>" + Path("err")).c_str());
    out_ = ReadBytes(Path("out"));
    err_ = ReadBytes(Path("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // A file below the source tree, modified at FILETIME 130000000000000000 + `ns` / 100.
  void MakeFile(const std::string& name, long ns = 0) {
    std::filesystem::create_directories(std::filesystem::path(src_ + "/" + name).parent_path());
    WriteBytes(src_ + "/" + name, "bytes of " + name);
    const timespec times[2] = {{1355526400, ns}, {1355526400, ns}};
    ASSERT_EQ(utimensat(AT_FDCWD, (src_ + "/" + name).c_str(), times, 0), 0);
  }
  const std::string src_ = Path("src"), kit_ = Path("kit-\xC3\xBC.dkt");
  std::string out_, err_;
};

TEST_F(OrdxKitTest, PackListVerify) {
  MakeFile("b", 123456789);
  MakeFile("данные/файл");
  ASSERT_EQ(symlink("b", (src_ + "/link").c_str()), 0);
  ASSERT_EQ(mkfifo((src_ + "/pipe").c_str(), 0600), 0);
  ASSERT_EQ(Tool({"pack", src_, "-o", kit_, "--lang", "en", "P", "V", "b", "--lang", "ru", "П",
                  "В", "", "--precise-times"}), 0) << err_;
  EXPECT_NE(err_.find("symbolic link " + src_ + "/link"), std::string::npos) << err_;
  EXPECT_NE(err_.find("pipe: not a regular file"), std::string::npos) << err_;
  KitReader reader;  // the builder is an independent writer of the same container
  ASSERT_EQ(reader.Open(W(kit_)), 0u);
  std::string unpacked(reader.unpackedSize(), '\0');
  ASSERT_EQ(pread(reader.file(), unpacked.data(), unpacked.size(), 0), std::ssize(unpacked));
  EXPECT_TRUE(unpacked == KitBuilder().AddDescription(u"en", u"P", u"V", u"b")
                              .AddDescription(u"ru", u"П", u"В", u"")
                              .AddFile(u"b", "bytes of b", 130000000001234567ull)
                              .AddFile(u"данные\\файл", "bytes of данные/файл", 130000000000000000ull).Build());
  // A kit named in UTF-8 opens under LC_ALL=C too.
  EXPECT_EQ(Tool({"list", kit_}, "LC_ALL=C"), 0) << err_;
  EXPECT_EQ(out_, "10\t130000000001234567\tb\n30\t130000000000000000\tданные\\файл\n");
  EXPECT_EQ(Tool({"verify", kit_}, "LC_ALL=C"), 0) << err_;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"frobnicate"}, {"pack", src_}, {"pack", src_, "-o", kit_, "--level", "10"}, {"list"}}) {
    EXPECT_EQ(Tool(args), 2) << testing::PrintToString(args);
    EXPECT_NE(err_.find("ordx-kit: "), std::string::npos) << err_;
  }
}

TEST_F(OrdxKitTest, RefusalsLeaveNoKitAndVerifyFindsGaps) {
  std::string deep = "d";  // one level more than a kit may have
  for (int i = 1; i < 256; ++i) deep += "/d";
  for (const auto& [name, message] : {std::pair{std::string("back\\slash"), "backslash"},
                                      {"bad\xff" "name", "UTF-8"}, {deep, "kit limits"}}) {
    std::filesystem::remove_all(src_);
    MakeFile(name);
    EXPECT_EQ(Tool({"pack", src_, "-o", kit_}), 1);
    EXPECT_NE(err_.find(message), std::string::npos) << err_;
    EXPECT_EQ(CountEntries(root_), 4u) << "a kit or temporary file was left";
  }
  std::filesystem::resize_file(src_ + "/" + deep, 4294967296);  // sparse: nothing is read
  EXPECT_EQ(Tool({"pack", src_ + "/d", "-o", kit_}), 1);
  EXPECT_NE(err_.find("4 GiB"), std::string::npos) << err_;
  WriteKit(kit_, KitBuilder().AddFile(u"fine", "1234").AddEntry(u"dir\\beyond", 0, 2, 3).Build());
  EXPECT_EQ(Tool({"verify", kit_}), 1);
  EXPECT_NE(err_.find("entry dir\\beyond (offset 2, size 3)"), std::string::npos) << err_;
  EXPECT_EQ(err_.find("entry fine"), std::string::npos) << err_;
  WriteKit(kit_, KitBuilder().AddFile(u"a", "1").BuildHeader().substr(0, 10));
  EXPECT_EQ(Tool({"list", kit_}), 1);
  EXPECT_NE(err_.find("damaged kit"), std::string::npos) << err_;
}

}  // namespace
}  // namespace ordx::kittest
