// ordx-kit end to end: the real binary packs trees, lists and verifies
// kits, and refuses what a kit cannot hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "kit/decompress.h"
#include "kit/kit_reader.h"
#include "kit_test_util.h"

extern char** environ;

namespace ordx::kittest {
namespace {

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

class OrdxKitTest : public KitTest {
 protected:
  ToolResult Tool(const std::vector<std::string>& args) {
    const std::string outPath = Path("tool.out");
    const std::string errPath = Path("tool.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> all{ORDX_KIT_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ToolResult result;
    const int rc = posix_spawn(&pid, ORDX_KIT_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << ORDX_KIT_BINARY;
      return result;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    return result;
  }

  // A file below the source tree with the given modification time.
  void MakeFile(const std::string& relative, const std::string& bytes, time_t seconds = 1355526400,
                long nanoseconds = 0) {
    const std::string path = src_ + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteBytes(path, bytes);
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  void SetUp() override {
    KitTest::SetUp();
    src_ = Path("src");
    ASSERT_EQ(mkdir(src_.c_str(), 0700), 0);
  }

  std::string src_;
};

TEST_F(OrdxKitTest, PackListVerify) {
  const std::string big = TestData(200000);
  MakeFile("b.txt", "bee", 1355526400, 123456789);
  MakeFile("a/x.xml", big, 1355526401);
  MakeFile("a/empty", "");
  MakeFile("данные/файл.txt", "utf");
  ASSERT_EQ(symlink("b.txt", (src_ + "/link").c_str()), 0);
  ASSERT_EQ(symlink("a", (src_ + "/dirlink").c_str()), 0);
  ASSERT_EQ(mkfifo((src_ + "/pipe").c_str(), 0600), 0);

  const ToolResult pack =
      Tool({"pack", src_, "-o", Path("kit.dkt"), "--lang", "en", "Product", "Vendor", "a/x.xml",
            "--lang", "ru", "Продукт", "Поставщик", "a\\x.xml"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_NE(pack.err.find("symbolic link " + src_ + "/link"), std::string::npos) << pack.err;
  EXPECT_NE(pack.err.find("symbolic link " + src_ + "/dirlink"), std::string::npos) << pack.err;
  EXPECT_NE(pack.err.find("pipe: not a regular file"), std::string::npos) << pack.err;
  EXPECT_EQ(pack.err.find("description path"), std::string::npos) << pack.err;

  const ToolResult list = Tool({"list", Path("kit.dkt")});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "0\t130000000000000000\ta\\empty\n"
            "200000\t130000000010000000\ta\\x.xml\n"
            "3\t130000000000000000\tb.txt\n"
            "3\t130000000000000000\tданные\\файл.txt\n");
  EXPECT_EQ(list.err, "");

  const ToolResult texts = Tool({"list", Path("kit.dkt"), "--texts"});
  ASSERT_EQ(texts.status, 0) << texts.err;
  EXPECT_EQ(texts.out, "en\tProduct\tVendor\ta/x.xml\nru\tПродукт\tПоставщик\ta\\x.xml\n");

  const ToolResult verify = Tool({"verify", Path("kit.dkt")});
  EXPECT_EQ(verify.status, 0) << verify.err;
  EXPECT_NE(verify.out.find("ok, 4 entries"), std::string::npos) << verify.out;

  // The installer's reader sees the files' bytes at their offsets.
  KitReader reader;
  ASSERT_EQ(reader.Open(W(Path("kit.dkt"))), 0u);
  const KitEntry& x = reader.entries()[1];
  std::string bytes(x.dataSize, '\0');
  ASSERT_EQ(pread(reader.file(), bytes.data(), bytes.size(), x.dataOffset), 200000);
  EXPECT_TRUE(bytes == big);
}

TEST_F(OrdxKitTest, PreciseTimesAndSingleLayout) {
  MakeFile("f", "x", 1355526400, 123456789);
  const ToolResult pack =
      Tool({"pack", src_, "-o", Path("kit"), "--precise-times", "--single", "P", "V", "doc"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_NE(pack.err.find("description path doc is not a file"), std::string::npos) << pack.err;
  EXPECT_EQ(Tool({"list", Path("kit")}).out, "1\t130000000001234567\tf\n");
  EXPECT_EQ(Tool({"list", "--texts", Path("kit")}).out, "en\tP\tV\tdoc\n");
  // The single-language layout starts with a zero flag.
  ASSERT_EQ(DecompressKit(W(Path("kit")), W(Path("unpacked"))), 0u);
  EXPECT_EQ(ReadBytes(Path("unpacked")).substr(0, 4), std::string(4, '\0'));
}

TEST_F(OrdxKitTest, OutputIsReproducible) {
  // Same files made in a different order in a second tree.
  MakeFile("one/a", TestData(5000, 1));
  MakeFile("two", "2");
  MakeFile("one/b", "b");
  const std::string first = src_;
  src_ = Path("src2");
  MakeFile("one/b", "b");
  MakeFile("two", "2");
  MakeFile("one/a", TestData(5000, 1));
  ASSERT_EQ(Tool({"pack", first, "-o", Path("k1"), "--lang", "en", "P", "V", ""}).status, 0);
  ASSERT_EQ(Tool({"pack", src_, "-o", Path("k2"), "--lang", "en", "P", "V", ""}).status, 0);
  ASSERT_EQ(Tool({"pack", first, "-o", Path("k3"), "--lang", "en", "P", "V", ""}).status, 0);
  EXPECT_TRUE(ReadBytes(Path("k1")) == ReadBytes(Path("k2")));
  EXPECT_TRUE(ReadBytes(Path("k1")) == ReadBytes(Path("k3")));

  // The level is honoured.
  ASSERT_EQ(Tool({"pack", first, "-o", Path("k0"), "--level", "0"}).status, 0);
  EXPECT_GT(ReadBytes(Path("k0")).size(), ReadBytes(Path("k1")).size() + 1000);
}

TEST_F(OrdxKitTest, KitNamedInUtf8OpensUnderTheCLocale) {
  MakeFile("f", "x");
  const std::string kit = Path("kit-\xC3\xBC.dkt");
  ASSERT_EQ(Tool({"pack", src_, "-o", kit}).status, 0);
  const char* const saved = std::getenv("LC_ALL");
  const std::string savedValue = saved != nullptr ? saved : "";
  setenv("LC_ALL", "C", 1);
  const ToolResult list = Tool({"list", kit});
  const ToolResult verify = Tool({"verify", kit});
  if (saved != nullptr) {
    setenv("LC_ALL", savedValue.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "1\t130000000000000000\tf\n");
  EXPECT_EQ(verify.status, 0) << verify.err;
}

TEST_F(OrdxKitTest, KitInsideTheSourceTreeIsNotPackedAgain) {
  MakeFile("f", "x");
  const std::string kit = src_ + "/out.dkt";
  ASSERT_EQ(Tool({"pack", src_, "-o", kit}).status, 0);
  const ToolResult again = Tool({"pack", src_, "-o", kit});
  ASSERT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("it is the output kit"), std::string::npos) << again.err;
  EXPECT_EQ(Tool({"list", kit}).out, "1\t130000000000000000\tf\n");
  EXPECT_EQ(ListDirectory(src_).size(), 2u);  // no temporary file left
}

TEST_F(OrdxKitTest, TreesAKitCannotHoldAreRefused) {
  const auto expectRefused = [&](const std::string& what) {
    const ToolResult r = Tool({"pack", src_, "-o", Path("kit")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_NE(access(Path("kit").c_str(), F_OK), 0) << "a refused kit was written";
    EXPECT_EQ(ListDirectory(dir_->path()).size(), 4u);  // tmp, src, tool.out, tool.err
  };
  MakeFile("back\\slash", "x");
  expectRefused("backslash");
  std::filesystem::remove_all(src_);
  MakeFile(std::string("bad\xff") + "name", "x");
  expectRefused("UTF-8");
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

TEST_F(OrdxKitTest, UsageAndMissingInput) {
  const ToolResult help = Tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage:", 0), 0u);
  EXPECT_EQ(Tool({}).status, 2);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"frobnicate"},
           {"pack", src_},
           {"pack", "-o", Path("kit")},
           {"pack", src_, "-o", Path("kit"), "--lang", "en", "P", "V"},
           {"pack", src_, "-o", Path("kit"), "--single", "P", "V", "D", "--lang", "en", "P", "V",
            "D"},
           {"pack", src_, "-o", Path("kit"), "--level", "10"},
           {"pack", src_, "-o", Path("kit"), "--bogus"},
           {"list"},
           {"verify"},
           {"verify", "a", "b"}}) {
    const ToolResult r = Tool(args);
    EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
    EXPECT_NE(r.err.find("ordx-kit: "), std::string::npos);
  }
  EXPECT_NE(access(Path("kit").c_str(), F_OK), 0);

  const ToolResult noSource = Tool({"pack", Path("nothing"), "-o", Path("kit")});
  EXPECT_EQ(noSource.status, 1);
  EXPECT_NE(noSource.err.find("nothing"), std::string::npos);
  const ToolResult noKit = Tool({"list", Path("nothing")});
  EXPECT_EQ(noKit.status, 1);
  EXPECT_NE(noKit.err.find("no such file"), std::string::npos);
}

TEST_F(OrdxKitTest, VerifyFindsWhatTheInstallerCannotCopy) {
  WriteKit(Path("short"), KitBuilder()
                              .AddFile(u"fine", "1234")
                              .AddEntry(u"dir\\beyond", 0, 2, 3)
                              .AddEntry(u"far", 0, 100, 0)
                              .Build());
  const ToolResult verify = Tool({"verify", Path("short")});
  EXPECT_EQ(verify.status, 1);
  EXPECT_NE(verify.err.find("entry dir\\beyond (offset 2, size 3)"), std::string::npos)
      << verify.err;
  EXPECT_NE(verify.err.find("entry far (offset 100, size 0)"), std::string::npos);
  EXPECT_EQ(verify.err.find("entry fine"), std::string::npos);
  EXPECT_NE(verify.err.find("2 of 3 entries"), std::string::npos);
  EXPECT_EQ(verify.out, "");
  // Listing only reads the table, so it works on such a kit.
  EXPECT_EQ(Tool({"list", Path("short")}).status, 0);

  WriteKit(Path("cut"), KitBuilder().AddFile(u"a", "1").BuildHeader().substr(0, 10));
  for (const char* command : {"list", "verify"}) {
    const ToolResult r = Tool({command, Path("cut")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("damaged kit"), std::string::npos) << r.err;
  }
  EXPECT_EQ(KpxFiles(), std::vector<std::string>());
}

}  // namespace
}  // namespace ordx::kittest
