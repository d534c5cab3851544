// ordx-kit end to end: the real binary packs trees, lists and verifies
// kits, and refuses what a kit cannot hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

struct ToolResult { int status; std::string out, err; };

class OrdxKitTest : public KitTest {
 protected:
  // Runs the binary through the shell (`env` may set variables first).
  ToolResult Tool(const std::vector<std::string>& args, const std::string& env = "") {
    std::string command = env + " '" ORDX_KIT_BINARY "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " >'" + Path("out") + "' 2>'" + Path("err") + "'";
    const int status = RunCommand(command);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(Path("out")),
            ReadBytes(Path("err"))};
  }

  // A file below the source tree with the given modification time.
  void MakeFile(const std::string& relative, const std::string& bytes, long nanoseconds = 0,
                time_t seconds = 1355526400) {
    const std::string path = src_ + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteBytes(path, bytes);
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  std::string src_ = Path("src");
};

TEST_F(OrdxKitTest, PackListVerify) {
  MakeFile("b.txt", "bee", 123456789);  // rounded down to the second
  MakeFile("a/x.xml", TestData(200000), 0, 1355526401);
  MakeFile("a/empty", "");
  MakeFile("данные/файл.txt", "utf");
  ASSERT_EQ(symlink("a", (src_ + "/link").c_str()), 0);
  ASSERT_EQ(mkfifo((src_ + "/pipe").c_str(), 0600), 0);
  const std::string kit = Path("kit-\xC3\xBC.dkt");
  const ToolResult pack = Tool({"pack", src_, "-o", kit, "--lang", "en", "Product", "Vendor",
                                "a/x.xml", "--lang", "ru", "Продукт", "Поставщик", "a\\x.xml"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_NE(pack.err.find("symbolic link " + src_ + "/link"), std::string::npos) << pack.err;
  EXPECT_NE(pack.err.find("pipe: not a regular file"), std::string::npos) << pack.err;
  EXPECT_EQ(pack.err.find("description path"), std::string::npos) << pack.err;

  // Regression: a kit named in UTF-8 could not be opened under LC_ALL=C.
  const ToolResult list = Tool({"list", kit}, "LC_ALL=C");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "0\t130000000000000000\ta\\empty\n"
            "200000\t130000000010000000\ta\\x.xml\n"
            "3\t130000000000000000\tb.txt\n"
            "3\t130000000000000000\tданные\\файл.txt\n");
  EXPECT_EQ(Tool({"list", kit, "--texts"}).out,
            "en\tProduct\tVendor\ta/x.xml\nru\tПродукт\tПоставщик\ta\\x.xml\n");
  const ToolResult verify = Tool({"verify", kit}, "LC_ALL=C");
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_NE(verify.out.find("ok, 4 entries"), std::string::npos) << verify.out;
}

TEST_F(OrdxKitTest, SingleLayoutWithPreciseTimesIsTheExpectedContainer) {
  MakeFile("f", "x", 123456789);
  const ToolResult pack =
      Tool({"pack", src_, "-o", Path("kit"), "--precise-times", "--single", "P", "V", "doc"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_NE(pack.err.find("description path doc is not a file"), std::string::npos) << pack.err;
  EXPECT_EQ(Tool({"list", "--texts", Path("kit")}).out, "en\tP\tV\tdoc\n");
  // The test builder is an independent writer of the same layout.
  KitReader reader;
  ASSERT_EQ(reader.Open(W(Path("kit"))), 0u);
  std::string unpacked(reader.unpackedSize(), '\0');
  ASSERT_EQ(pread(reader.file(), unpacked.data(), unpacked.size(), 0),
            static_cast<ssize_t>(unpacked.size()));
  EXPECT_TRUE(unpacked ==
              KitBuilder().SetSingle(u"P", u"V", u"doc").AddFile(u"f", "x", 130000000001234567ull)
                  .Build());
}

TEST_F(OrdxKitTest, OutputIsReproducibleAndHonoursTheLevel) {
  // The same files made in the opposite order in a second tree.
  const std::pair<std::string, std::string> files[] = {
      {"one/a", TestData(5000)}, {"two", "2"}, {"one/b", "b"}};
  for (const auto& [name, bytes] : files) MakeFile(name, bytes);
  const std::string first = src_;
  src_ = Path("src2");
  for (int i = 2; i >= 0; --i) MakeFile(files[i].first, files[i].second);
  for (const auto& [tree, kit] : {std::pair{first, "k1"}, {src_, "k2"}})
    ASSERT_EQ(Tool({"pack", tree, "-o", Path(kit), "--lang", "en", "P", "V", ""}).status, 0);
  EXPECT_TRUE(ReadBytes(Path("k1")) == ReadBytes(Path("k2")));
  ASSERT_EQ(Tool({"pack", first, "-o", Path("k0"), "--level", "0"}).status, 0);
  EXPECT_GT(ReadBytes(Path("k0")).size(), ReadBytes(Path("k1")).size() + 1000);
}

TEST_F(OrdxKitTest, RefusedTreesLeaveNoKit) {
  // The output kit inside the source tree is skipped, not packed into itself.
  MakeFile("f", "x");
  for (int run = 0; run < 2; ++run)  // the second run finds the first one's kit
    ASSERT_EQ(Tool({"pack", src_, "-o", src_ + "/o.dkt"}).status, 0);
  EXPECT_EQ(Tool({"list", src_ + "/o.dkt"}).out, "1\t130000000000000000\tf\n");
  EXPECT_EQ(ListDirectory(src_).size(), 2u);  // no temporary file left

  const auto expectRefused = [&](const std::string& what) {
    const ToolResult r = Tool({"pack", src_, "-o", Path("kit")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_EQ(ListDirectory(root_).size(), 4u) << "a kit or temporary file was left";
  };
  // One level more than a kit may have, as the installer counts them.
  std::string deep = "d";
  for (int i = 1; i < 256; ++i) deep += "/d";
  for (const auto& [name, message] : {std::pair{std::string("back\\slash"), "backslash"},
                                      {"bad\xff" "name", "UTF-8"}, {deep, "kit limits"}}) {
    std::filesystem::remove_all(src_);
    MakeFile(name, "x");
    expectRefused(message);
  }
  std::filesystem::remove_all(src_);
  // Sparse files: nothing is read before the refusal.
  MakeFile("huge", "");
  ASSERT_EQ(truncate((src_ + "/huge").c_str(), 4294967296), 0);
  expectRefused("4 GiB");
  ASSERT_EQ(truncate((src_ + "/huge").c_str(), 2500000000), 0);
  MakeFile("huge2", "");
  ASSERT_EQ(truncate((src_ + "/huge2").c_str(), 2500000000), 0);
  expectRefused("cannot pass 4 GiB");
}

TEST_F(OrdxKitTest, UsageErrorsAndMissingInput) {
  const ToolResult help = Tool({"--help"});
  EXPECT_TRUE(help.status == 0) << help.out;
  EXPECT_TRUE(help.out.rfind("Usage:", 0) == 0) << help.out;
  const ToolResult version = Tool({"--version"});
  EXPECT_TRUE(version.status == 0) << version.out << version.err;
  EXPECT_TRUE(version.out == "ordx-kit " ORDX_EXPECTED_VERSION "\n") << version.out << version.err;
  EXPECT_TRUE(version.err.empty()) << version.out << version.err;
  EXPECT_EQ(Tool({}).status, 2);
  const std::string kit = Path("kit");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"frobnicate"}, {"pack", src_}, {"pack", "-o", kit},
           {"pack", src_, "-o", kit, "--lang", "en", "P", "V"},
           {"pack", src_, "-o", kit, "--single", "P", "V", "D", "--lang", "en", "P", "V", "D"},
           {"pack", src_, "-o", kit, "--level", "10"}, {"pack", src_, "-o", kit, "--bogus"},
           {"list"}, {"verify"}, {"verify", "a", "b"}, {"--version", "x"}}) {
    const ToolResult r = Tool(args);
    EXPECT_TRUE(r.status == 2) << testing::PrintToString(args) << r.err;
    EXPECT_TRUE(r.err.find("ordx-kit: ") != std::string::npos)
        << testing::PrintToString(args) << r.err;
  }
  EXPECT_NE(access(kit.c_str(), F_OK), 0);
  ToolResult r = Tool({"pack", Path("nothing"), "-o", kit});
  EXPECT_TRUE(r.status == 1) << r.err;
  EXPECT_TRUE(r.err.find("nothing") != std::string::npos) << r.err;
  r = Tool({"list", Path("nothing")});
  EXPECT_TRUE(r.status == 1) << r.err;
  EXPECT_TRUE(r.err.find("no such file") != std::string::npos) << r.err;
}

TEST_F(OrdxKitTest, VerifyFindsWhatTheInstallerCannotCopy) {
  WriteKit(Path("short"), KitBuilder().AddFile(u"fine", "1234").AddEntry(u"dir\\beyond", 0, 2, 3)
                              .AddEntry(u"far", 0, 100, 0).Build());
  const ToolResult verify = Tool({"verify", Path("short")});
  EXPECT_EQ(verify.status, 1);
  for (const char* part : {"entry dir\\beyond (offset 2, size 3)",
                           "entry far (offset 100, size 0)", "2 of 3 entries"})
    EXPECT_NE(verify.err.find(part), std::string::npos) << verify.err;
  EXPECT_EQ(verify.err.find("entry fine"), std::string::npos);
  EXPECT_EQ(verify.out, "");

  WriteKit(Path("cut"), KitBuilder().AddFile(u"a", "1").BuildHeader().substr(0, 10));
  for (const char* command : {"list", "verify"}) {
    const ToolResult r = Tool({command, Path("cut")});
    EXPECT_TRUE(r.status == 1) << r.err;
    EXPECT_TRUE(r.err.find("damaged kit") != std::string::npos) << r.err;
  }
  EXPECT_EQ(LeftInTmp(), 0);
}

}  // namespace
}  // namespace ordx::kittest
