// Tests of one installation run against real kits and a real template
// directory: what is written, skipped, backed up and rolled back, and the
// fault-injection sweep that fails every single file-layer operation of a
// realistic run in turn and proves the template directory unchanged.
#include "engine/install_worker.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/tree_ops.h"
#include "engine_test_util.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only
using kittest::KitBuilder;

std::string Text(const char* key) { return U8(LoadString(key)); }

class InstallWorkerTest : public EngineTest {};

TEST_F(InstallWorkerTest, FreshInstallThenRerunWritesNothing) {
  KitReader* kit = OpenKit(KitBuilder()
                               .AddFile(u"a.txt", "alpha", KitTime())
                               .AddFile(u"Sub\\Dir\\file.dt", "nested", KitTime(-50))
                               .AddFile(u"Sub\\empty", "", KitTime())
                               .AddFile(u"n\u00e9w \"$`x", "odd name", KitTime())
                               .AddFile(u"fraction", "f", KitTime() + 5000000)
                               .AddFile(u"twice", "first and longer", KitTime(-1))
                               .AddFile(u"twice", "second", KitTime()));
  ASSERT_NE(kit, nullptr);
  const auto outcome = Install(kit, Path("tpl"));
  EXPECT_EQ(outcome.returned, kErrorSuccess);
  EXPECT_EQ(outcome.posted, kErrorSuccess);
  EXPECT_EQ(outcome.percent, 100u);
  EXPECT_EQ(outcome.text, Text("IDS_INSTALL_FINISH"));
  EXPECT_EQ(Slurp(Path("tpl/Sub/Dir/file.dt")), "nested");
  EXPECT_EQ(Slurp(Path("tpl/Sub/empty")), "");
  EXPECT_EQ(Slurp(Path("tpl/n\u00e9w \"$`x")), "odd name");
  EXPECT_EQ(MtimeOf(Path("tpl/a.txt")), kKitSeconds);
  EXPECT_EQ(MtimeOf(Path("tpl/Sub/Dir/file.dt")), kKitSeconds - 50);
  EXPECT_EQ(MtimeOf(Path("tpl/fraction")), kKitSeconds);
  EXPECT_EQ(Slurp(Path("tpl/twice")), "second");
  EXPECT_EQ(TempLeftovers(), "");

  // Whole-second copies of sub-second entry times count as up to date too.
  int writes = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    writes += op == FileOp::kWriteFile || op == FileOp::kMoveFile || op == FileOp::kSetFileTime;
    return kErrorSuccess;
  });
  EXPECT_EQ(Install(kit, Path("tpl")).returned, kErrorSuccess);
  EXPECT_EQ(writes, 0);
}

TEST_F(InstallWorkerTest, UpToDateFilesStayOlderOnesAreRewritten) {
  KitReader* kit = OpenKit(KitBuilder()
                               .AddFile(u"same", "kit same", KitTime())
                               .AddFile(u"newer", "kit newer", KitTime())
                               .AddFile(u"older", "kit older", KitTime())
                               .AddFile(u"longer", "short", KitTime()));
  ASSERT_NE(kit, nullptr);
  PutDir(Path("tpl"));
  PutFile(Path("tpl/same"), "user same", 0600, kKitSeconds);
  PutFile(Path("tpl/newer"), "user newer", 0600, kKitSeconds + 1);
  PutFile(Path("tpl/older"), "user older", 0600, kKitSeconds - 1);
  PutFile(Path("tpl/longer"), "a much longer old file", 0600, kKitSeconds - 100);
  EXPECT_EQ(Install(kit, Path("tpl")).returned, kErrorSuccess);
  EXPECT_EQ(Slurp(Path("tpl/same")), "user same");
  EXPECT_EQ(Slurp(Path("tpl/newer")), "user newer");
  EXPECT_EQ(Slurp(Path("tpl/older")), "kit older");
  EXPECT_EQ(MtimeOf(Path("tpl/older")), kKitSeconds);
  EXPECT_EQ(Slurp(Path("tpl/longer")), "short");
  EXPECT_EQ(TempLeftovers(), "");
}

TEST_F(InstallWorkerTest, BackupDirectoryIsNewAndPrivateEvenForAnEmptyKit) {
  // Someone else's directory, a file and a link take the first names.
  PutDir(tmp_ + "/qzstp0");
  PutFile(tmp_ + "/qzstp0/theirs", "theirs", 0644, 1000);
  PutFile(tmp_ + "/qzstp1", "file", 0644, 1000);
  PutDir(Path("elsewhere"));
  ASSERT_EQ(symlink(Path("elsewhere").c_str(), (tmp_ + "/qzstp2").c_str()), 0);
  KitReader* kit = OpenKit(KitBuilder());
  ASSERT_NE(kit, nullptr);
  std::string made;
  struct stat backup {};
  SetFaultHook([&](FileOp op, const WideString& path) {
    if (op == FileOp::kDeleteTree) stat(U8(path).c_str(), &backup);  // the commit
    if (op == FileOp::kCreateDirectory) made += U8(path) + " ";
    return kErrorSuccess;
  });
  const auto outcome = Install(kit, Path("tpl"));
  EXPECT_EQ(outcome.returned, kErrorSuccess);
  EXPECT_EQ(outcome.percent, 100u);
  EXPECT_EQ(made, tmp_ + "/qzstp0 " + tmp_ + "/qzstp1 " + tmp_ + "/qzstp2 " + tmp_ + "/qzstp3 ");
  EXPECT_EQ(backup.st_mode & 07777, 0700u);
  EXPECT_EQ(TempLeftovers(), "qzstp0 qzstp1 qzstp2 ");
  EXPECT_EQ(Slurp(tmp_ + "/qzstp0/theirs"), "theirs");
  EXPECT_TRUE(Names(Path("elsewhere")).empty());
  EXPECT_FALSE(Exists(Path("tpl")));
}

// Each case fails one run; the template directory (and whatever links in it
// point to) must be exactly as before, with nothing left in TMPDIR.
struct FailureCase {
  const char* name;
  std::function<KitBuilder()> kit;
  std::function<void(InstallWorkerTest*)> prepare;  // also sets the fault hook
  ErrorCode code;
  std::uint32_t percent;
  const char* target = "tpl";
};

TEST_F(InstallWorkerTest, FailuresLeaveTheTemplateDirectoryAsItWas) {
  auto five = [] {
    KitBuilder b;
    for (const char16_t* name : {u"d1\\a", u"d2\\b", u"c", u"d", u"e"}) {
      b.AddFile(name, "kit", KitTime());
    }
    return b;
  };
  auto twoThenFail = [](const char16_t* first, const char16_t* second) {
    return [=] {
      return KitBuilder()
          .AddFile(first, "kit 1", KitTime(-10))
          .AddFile(second, "kit 2", KitTime())
          .AddFile(u"fails", "x", KitTime());
    };
  };
  const FailureCase cases[] = {
      {"third of five", five,
       [](InstallWorkerTest* t) {
         PutDir(t->Path("tpl/d1"));
         PutFile(t->Path("tpl/d1/a"), "old a", 0640, 1000);
         PutFile(t->Path("tpl/c"), "old c", 0600, 1000);
         FailOn(FileOp::kCreateFile, t->Path("tpl/c"));
       },
       87, 40},
      {"missing levels above the target", twoThenFail(u"top", u"x\\y"),
       [](InstallWorkerTest* t) { FailOn(FileOp::kCreateFile, t->Path("tpl/one/two/fails")); },
       87, 66, "tpl/one/two"},
      {"directory in the way", twoThenFail(u"first", u"folder"),
       [](InstallWorkerTest* t) {
         PutDir(t->Path("tpl/folder"));
         PutFile(t->Path("tpl/folder/precious"), "user data", 0644, 1000);
       },
       kErrorAlreadyExists, 33},
      {"links replaced as links", twoThenFail(u"linked", u"dangling"),
       [](InstallWorkerTest* t) {
         PutFile(t->Path("outside/real"), "outside", 0644, kKitSeconds - 100);
         ASSERT_EQ(symlink(t->Path("outside/real").c_str(), t->Path("tpl/linked").c_str()), 0);
         ASSERT_EQ(symlink(t->Path("outside/ghost").c_str(), t->Path("tpl/dangling").c_str()), 0);
         FailOn(FileOp::kCreateFile, t->Path("tpl/fails"));
       },
       87, 66},
      {"full backup file system", twoThenFail(u"new", u"sub\\old"),
       [](InstallWorkerTest* t) {
         PutDir(t->Path("tpl/sub"), 0750);
         PutFile(t->Path("tpl/sub/old"), "irreplaceable", 0640, 1000);
         SetFaultHook([t](FileOp op, const WideString& path) {
           // Moving an existing file out of the template finds no room.
           const std::string p = U8(path);
           const bool inTemplate = p.rfind(t->Path("tpl/"), 0) == 0;
           return op == FileOp::kMoveFile && inTemplate && Exists(p) ? 87u : 0u;
         });
       },
       87, 33},
      {"kit ends inside an entry",
       [] {
         return KitBuilder().AddFile(u"ok", "fine", KitTime()).AddEntry(u"cut", KitTime(), 0, 1000);
       },
       [](InstallWorkerTest*) {}, kErrorHandleEof, 50},
      {"entry named twice", twoThenFail(u"dup", u"dup"),
       [](InstallWorkerTest* t) {
         PutFile(t->Path("tpl/dup"), "original", 0600, 1000);
         FailOn(FileOp::kCreateFile, t->Path("tpl/fails"));
       },
       87, 66},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Path("tpl"));
    std::filesystem::remove_all(Path("outside"));
    PutDir(Path("tpl"));
    PutDir(Path("outside"));
    KitReader* kit = OpenKit(c.kit());
    ASSERT_NE(kit, nullptr);
    c.prepare(this);
    for (const char* dir : {"tpl", "tpl/d1", "tpl/sub", "tpl/folder", "outside"}) {
      if (Exists(Path(dir))) SetTimes(Path(dir), 5000);
    }
    const Snapshot before = TakeSnapshot(root_ + "/tpl");
    const Snapshot outside = TakeSnapshot(root_ + "/outside");
    const auto outcome = Install(kit, Path(c.target));
    SetFaultHook({});
    EXPECT_EQ(outcome.returned, c.code);
    EXPECT_EQ(outcome.posted, c.code);
    EXPECT_EQ(outcome.percent, c.percent);
    EXPECT_EQ(outcome.text, Text("IDS_INSTALL_ERROR"));
    EXPECT_EQ(Diff(before, TakeSnapshot(root_ + "/tpl")), "");
    EXPECT_EQ(Diff(outside, TakeSnapshot(root_ + "/outside")), "");
    EXPECT_EQ(TempLeftovers(), "");
  }
}

TEST_F(InstallWorkerTest, ErrorIsPostedAfterTheRollbackWhichKeepsWhatItCannotPutBack) {
  KitReader* kit = OpenKit(KitBuilder()
                               .AddFile(u"new", "new", KitTime())
                               .AddFile(u"sub\\old", "kit", KitTime())
                               .AddFile(u"fails", "x", KitTime()));
  ASSERT_NE(kit, nullptr);
  PutDir(Path("tpl"));
  PutDir(Path("tpl/sub"));
  PutFile(Path("tpl/sub/old"), "only copy", 0644, 1000);
  InstallState state;
  state.SetJob(kit, W(Path("tpl")));
  ErrorCode seenDuringRollback = 1;
  SetFaultHook([&](FileOp op, const WideString& path) {
    if (op == FileOp::kCreateFile && path == W(Path("tpl/fails"))) return 87u;
    if (op == FileOp::kDeleteFile && path == W(Path("tpl/new"))) {
      state.Read(&seenDuringRollback, nullptr, nullptr);
    }
    // Moving the saved file back fails.
    return op == FileOp::kMoveFile && U8(path).rfind(tmp_ + "/qzstp", 0) == 0 ? 87u : 0u;
  });
  InstallWorker worker;
  EXPECT_EQ(worker.Run(&state), 87u);
  EXPECT_EQ(seenDuringRollback, 0u);
  ErrorCode result = 0;
  state.Read(&result, nullptr, nullptr);
  EXPECT_EQ(result, 87u);
  EXPECT_EQ(Slurp(tmp_ + "/qzstp0/sub/old"), "only copy");
  EXPECT_FALSE(Exists(Path("tpl/new")));
}

TEST_F(InstallWorkerTest, CancelAfterACopiedFileRollsBackAndPostsNothing) {
  KitReader* kit =
      OpenKit(KitBuilder().AddFile(u"a", "a", KitTime()).AddFile(u"b", "b", KitTime()));
  ASSERT_NE(kit, nullptr);
  PutDir(Path("tpl"));
  InstallState state;
  state.SetJob(kit, W(Path("tpl")));
  state.SetCancel(true);
  InstallWorker worker;
  EXPECT_EQ(worker.Run(&state), kErrorCancelled);
  ErrorCode result = 1;
  WideString text;
  state.Read(&result, &text, nullptr);
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(text == W(Path("tpl/a")));
  EXPECT_TRUE(Names(Path("tpl")).empty());
  EXPECT_EQ(TempLeftovers(), "");

  // A job without a kit is a failure too, posted like any other.
  state.SetJob(nullptr, W(Path("tpl")));
  EXPECT_EQ(InstallWorker().Run(&state), kErrorInvalidParameter);
  state.Read(&result, nullptr, nullptr);
  EXPECT_EQ(result, kErrorInvalidParameter);
}

// --- The fault-injection sweep, with the backup directory on the template's
// file system (moves are renames) and, where /dev/shm is another one,
// across file systems (moves copy; modes and times must survive both ways).

constexpr std::uint32_t kBigSize = 3 * 1048576 + 12345;  // four 1 MiB pieces

class FaultSweepTest : public EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    struct stat shm {};
    struct stat here {};
    if (GetParam()) {
      if (stat("/dev/shm", &shm) != 0 || stat(root_.c_str(), &here) != 0 ||
          shm.st_dev == here.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
      }
      char pattern[] = "/dev/shm/engine.XXXXXX";
      ASSERT_NE(mkdtemp(pattern), nullptr);
      shm_ = tmp_ = pattern;
      setenv("TMPDIR", tmp_.c_str(), 1);
    }
    PutDir(Path("outside"));
    PutFile(Path("outside/target"), "outside", 0644, kKitSeconds - 5);
    kit_ptr_ = OpenKit(KitBuilder()
                           .AddFile(u"keep\\old.txt", "kit old", KitTime())
                           .AddFile(u"keep\\newer.txt", "kit newer", KitTime())
                           .AddFile(u"same.txt", "kit same", KitTime())
                           .AddFile(u"fresh\\a\\b\\c.txt", "kit c", KitTime(-3))
                           .AddFile(u"fresh\\a\\d.txt", "kit d", KitTime(-4))
                           .AddFile(u"keep\\sub\\added.txt", "kit added", KitTime())
                           .AddFile(u"big.bin", RandomBig(), KitTime())
                           .AddFile(u"keep\\link.txt", "kit link", KitTime())
                           .AddFile(u"top_old.txt", "kit top", KitTime(7)));
  }
  void TearDown() override {
    EngineTest::TearDown();
    if (!shm_.empty()) std::filesystem::remove_all(shm_);
  }

  static std::string RandomBig() {
    std::string bytes(kBigSize, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5));
    return bytes;
  }

  // Files to replace, up-to-date files, an unrelated existing tree, a link.
  void MakeTemplate() {
    std::filesystem::remove_all(Path("tpl"));
    PutDir(Path("tpl"));
    PutDir(Path("tpl/keep"), 0750);
    PutDir(Path("tpl/keep/sub"), 0700);
    PutDir(Path("tpl/keep/unrelated"));
    PutFile(Path("tpl/keep/old.txt"), "user old", 0640, kKitSeconds - 100);
    PutFile(Path("tpl/keep/newer.txt"), "user newer", 0600, kKitSeconds + 100);
    PutFile(Path("tpl/same.txt"), "user same", 0644, kKitSeconds);
    PutFile(Path("tpl/keep/sub/user.dat"), "user data", 0604, 12345);
    PutFile(Path("tpl/keep/unrelated/u.txt"), "u", 0644, 23456);
    PutFile(Path("tpl/big.bin"), std::string(kBigSize / 2, 'o'), 0664, kKitSeconds - 1);
    PutFile(Path("tpl/top_old.txt"), "user top", 0644, kKitSeconds);
    ASSERT_EQ(symlink(Path("outside/target").c_str(), Path("tpl/keep/link.txt").c_str()), 0);
    SetTimes(Path("tpl/keep/link.txt"), 34567);
    for (const char* dir : {"tpl/keep/unrelated", "tpl/keep/sub", "tpl/keep", "tpl"}) {
      SetTimes(Path(dir), 40000);
    }
  }

  KitReader* kit_ptr_ = nullptr;
  std::string shm_;
};

INSTANTIATE_TEST_SUITE_P(Backup, FaultSweepTest, ::testing::Values(false, true),
                         [](const auto& param) {
                           return std::string(param.param ? "OtherFileSystem" : "SameFileSystem");
                         });

TEST_P(FaultSweepTest, EverySingleFailedOperationLeavesTemplateUnchanged) {
  ASSERT_NE(kit_ptr_, nullptr);
  MakeTemplate();
  const Snapshot before = TakeSnapshot(Path("tpl"));
  const Snapshot outside = TakeSnapshot(Path("outside"));
  // A clean run: count its operations and keep its result.
  int total = 0;
  int writes = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    ++total;
    writes += op == FileOp::kWriteFile;
    return kErrorSuccess;
  });
  ASSERT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  const Snapshot clean = TakeSnapshot(Path("tpl"), /*dirTimes=*/false);
  ASSERT_EQ(Slurp(Path("tpl/big.bin")).size(), kBigSize);
  ASSERT_EQ(writes, 4 + 6);  // the big file alone takes four

  int failed = 0;
  for (int k = 1; k <= total; ++k) {
    SCOPED_TRACE("failing operation " + std::to_string(k) + " of " + std::to_string(total));
    MakeTemplate();
    int seen = 0;
    SetFaultHook([&](FileOp, const WideString&) { return ++seen == k ? 87u : 0u; });
    const auto outcome = Install(kit_ptr_, Path("tpl"));
    SetFaultHook({});
    ASSERT_GE(seen, k);
    if (outcome.returned != kErrorSuccess) {
      ++failed;
      EXPECT_EQ(outcome.posted, outcome.returned);
      EXPECT_EQ(Diff(before, TakeSnapshot(Path("tpl"))), "");
    } else {  // a fault the flow tolerates: the same result as a clean run
      EXPECT_EQ(outcome.percent, 100u);
      EXPECT_EQ(Diff(clean, TakeSnapshot(Path("tpl"), false)), "");
    }
    EXPECT_EQ(Diff(outside, TakeSnapshot(Path("outside"))), "");
    EXPECT_EQ(TempLeftovers(), "");
    if (HasFailure()) break;
  }
  EXPECT_GT(failed, 0);
  EXPECT_LT(failed, total);
  RecordProperty("operations", total);
  RecordProperty("failed_runs", failed);
}

TEST_P(FaultSweepTest, WriteFailingInsideTheLargeFileRestoresIt) {
  ASSERT_NE(kit_ptr_, nullptr);
  MakeTemplate();
  const Snapshot before = TakeSnapshot(Path("tpl"));
  bool inBig = false;
  int bigWrites = 0;
  SetFaultHook([&](FileOp op, const WideString& path) {
    if (op == FileOp::kCreateFile) inBig = path == W(Path("tpl/big.bin"));
    return op == FileOp::kWriteFile && inBig && ++bigWrites == 2 ? 87u : 0u;
  });
  EXPECT_EQ(Install(kit_ptr_, Path("tpl")).returned, 87u);
  EXPECT_EQ(bigWrites, 2);
  EXPECT_EQ(Diff(before, TakeSnapshot(Path("tpl"))), "");
  EXPECT_EQ(TempLeftovers(), "");
}

}  // namespace
}  // namespace ordx
