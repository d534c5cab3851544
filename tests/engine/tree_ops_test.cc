// Tests of the directory tree operations on a real temporary directory:
// which levels are recorded, deleting and restoring without ever going
// through a symbolic link, and exact look-ups of names with "*".
#include "engine/tree_ops.h"

#include <gtest/gtest.h>

#include "engine_test_util.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only

class TreeOpsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    PutDir(Path("tpl"));
    ASSERT_EQ(worker_.BeginRun(W(Path("tpl/"))), kErrorSuccess);
  }
  std::vector<std::string> Created() {
    std::vector<std::string> out;
    for (const WideString& dir : worker_.record()->createdDirectories) out.push_back(U8(dir));
    return out;
  }
  InstallWorker worker_;
};

TEST_F(TreeOpsTest, CreateRecordsEveryLevelItMadeTopFirst) {
  PutFile(Path("tpl/file"), "x", 0644, 1000);
  PutDir(Path("tpl/abc"));  // what "a*" would match as a pattern
  int operations = 0;
  SetFaultHook([&](FileOp, const WideString&) {
    ++operations;
    return kErrorSuccess;
  });
  EXPECT_EQ(CreateDirectoryTree(&worker_, u"/"), kErrorSuccess);
  EXPECT_EQ(CreateDirectoryTree(&worker_, u""), kErrorSuccess);
  EXPECT_EQ(operations, 0);
  SetFaultHook({});

  ASSERT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/a/b/c"))), kErrorSuccess);
  EXPECT_TRUE(std::filesystem::is_directory(Path("tpl/a/b/c")));
  // Existing levels are never recorded, however spelled.
  ASSERT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/a/b/"))), kErrorSuccess);
  ASSERT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/a//b/d"))), kErrorSuccess);
  ASSERT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/a*/[x]?"))), kErrorSuccess);
  ASSERT_EQ(CreateDirectoryTreeQuiet(W(Path("tpl/q/r"))), kErrorSuccess);
  EXPECT_TRUE(Exists(Path("tpl/q/r")) && Exists(Path("tpl/a*/[x]?")));
  EXPECT_EQ(Created(), (std::vector<std::string>{Path("tpl/a"), Path("tpl/a/b"),
                                                 Path("tpl/a/b/c"), Path("tpl/a//b/d"),
                                                 Path("tpl/a*"), Path("tpl/a*/[x]?")}));

  // At or below a regular file; a failing level keeps the ones made before.
  EXPECT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/file/sub"))), kErrorFileNotFound);
  EXPECT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/file"))), kErrorFileNotFound);
  FailOn(FileOp::kCreateDirectory, Path("tpl/m/n/o"));
  EXPECT_EQ(CreateDirectoryTree(&worker_, W(Path("tpl/m/n/o"))), 87u);
  EXPECT_EQ(Created().size(), 8u);
  EXPECT_EQ(Created().back(), Path("tpl/m/n"));
  EXPECT_EQ(Slurp(Path("tpl/file")), "x");
}

TEST_F(TreeOpsTest, ExaminePathTellsKinds) {
  PutFile(Path("f*"), "x", 0644, 1000);
  ASSERT_EQ(symlink(Path("tpl").c_str(), Path("link").c_str()), 0);
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
  ASSERT_EQ(symlink(Path("nowhere").c_str(), Path("dang*").c_str()), 0);

  const PathInfo dir = ExaminePath(W(Path("tpl/")));
  EXPECT_TRUE(dir.present && dir.resolved && !dir.isLink && S_ISDIR(dir.mode));
  const PathInfo star = ExaminePath(W(Path("f*")));
  EXPECT_TRUE(star.present && star.resolved && !star.isLink && S_ISREG(star.mode));
  EXPECT_EQ(star.lastWrite, FileTimeFromUnix(1000));
  const PathInfo link = ExaminePath(W(Path("link")));
  EXPECT_TRUE(link.present && link.resolved && link.isLink && S_ISDIR(link.mode));
  for (const char* name : {"dangling", "dang*"}) {
    const PathInfo dangling = ExaminePath(W(Path(name)));
    EXPECT_TRUE(dangling.present && dangling.isLink && !dangling.resolved) << name;
  }
  for (const char* name : {"missing", "t*", "f?"}) EXPECT_FALSE(ExaminePath(W(Path(name))).present);
}

TEST_F(TreeOpsTest, DeleteRemovesTreesButNothingThroughLinks) {
  PutDir(Path("outside"));
  PutFile(Path("outside/keep"), "keep", 0644, 1000);
  std::filesystem::create_directories(Path("t/a/b"));
  PutFile(Path("t/a/b/f"), "f", 0400, 1000);
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("t/a/out").c_str()), 0);
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("lnk").c_str()), 0);
  // The first removal fails: the second try still removes the tree.
  int deletes = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    return op == FileOp::kDeleteTree && ++deletes == 1 ? 87u : 0u;
  });
  EXPECT_EQ(DeleteDirectoryTree(&worker_, W(Path("t"))), kErrorSuccess);
  SetFaultHook({});
  EXPECT_EQ(deletes, 2);
  EXPECT_EQ(DeleteDirectoryTree(&worker_, W(Path("lnk/"))), kErrorSuccess);
  EXPECT_EQ(DeleteDirectoryTree(&worker_, u""), kErrorSuccess);
  EXPECT_FALSE(Exists(Path("t")) || Exists(Path("lnk")));
  EXPECT_EQ(Slurp(Path("outside/keep")), "keep");
}

TEST_F(TreeOpsTest, RestoreMovesFilesAndLinksBackAsThemselves) {
  PutDir(Path("tpl/a"));
  PutFile(Path("tpl/a/b"), "new b", 0644, 2000);
  PutFile(Path("tpl/c"), "new c", 0644, 2000);
  PutDir(Path("outside"));
  PutFile(Path("outside/o"), "outside", 0644, 1000);
  PutDir(Path("bk"), 0700);
  PutDir(Path("bk/a"), 0700);
  PutFile(Path("bk/a/b"), "old b", 0600, 1000);
  PutFile(Path("bk/c"), "old c", 0640, 1000);
  PutFile(Path("bk/x"), "stuck", 0640, 1000);
  ASSERT_EQ(symlink(Path("outside").c_str(), Path("bk/l").c_str()), 0);

  FailOn(FileOp::kMoveFile, Path("bk/x"));
  EXPECT_EQ(RestoreTree(&worker_, W(Path("tpl/")), W(Path("bk/"))), 87u);
  EXPECT_EQ(Slurp(Path("tpl/a/b")), "old b");
  EXPECT_EQ(Slurp(Path("tpl/c")), "old c");
  EXPECT_EQ(Slurp(Path("bk/x")), "stuck");  // reported, still in the backup
  EXPECT_TRUE(std::filesystem::is_symlink(Path("tpl/l")));
  EXPECT_EQ(Names(Path("outside")), std::vector<std::string>{"o"});
  struct stat st {};
  ASSERT_EQ(lstat(Path("tpl/c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000);
  EXPECT_EQ(RestoreTree(&worker_, W(Path("tpl/")), W(Path("missing/"))), kErrorPathNotFound);
}

}  // namespace
}  // namespace ordx
