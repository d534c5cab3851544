// Tests of installation runs of a realistic kit into a real template
// directory (files to replace, files up to date, nested new directories, an
// existing tree, a link to a directory, a large file): what is written, skipped, backed up
// and rolled back, and the fault-injection sweep that fails every single
// file-layer operation of a run in turn and proves the template unchanged.
#include "engine/install_worker.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine_test_util.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only
using kittest::KitBuilder;

constexpr std::uint32_t kBigSize = 3 * 1048576 + 12345;  // four 1 MiB pieces
// Someone else's directory, file and link take the first backup names.
constexpr const char* kForeign = "qzstp0 qzstp1 qzstp2 ";

class InstallWorkerTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::string big(kBigSize, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : big) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5));
    PutDir(Path("outside"));
    PutFile(Path("outside/target"), "outside", 0644, kKitSeconds - 5);
    kit_ptr_ = OpenKit(KitBuilder()
                           .AddFile(u"keep\\old.txt", "kit old", KitTime())
                           .AddFile(u"keep\\newer.txt", "kit newer", KitTime())
                           .AddFile(u"same.txt", "kit same", KitTime())
                           .AddFile(u"fresh\\a\\b\\c.txt", "kit c", KitTime(-3))
                           // Whole seconds on disk still count as up to date later.
                           .AddFile(u"fresh\\a\\d.txt", "kit d", KitTime(-4) + 5000000)
                           .AddFile(u"keep\\sub\\added.txt", "kit added", KitTime())
                           .AddFile(u"big.bin", big, KitTime())
                           .AddFile(u"keep\\link.txt", "kit link", KitTime())
                           .AddFile(u"top_old.txt", "kit top", KitTime(7))
                           // Must not back up the run's own copy over the original.
                           .AddFile(u"keep\\old.txt", "kit old 2", KitTime(1))
                           // Names are looked up exactly, never as patterns ("keep").
                           .AddFile(u"kee*\\x.txt", "kit x", KitTime()));
    ASSERT_NE(kit_ptr_, nullptr);
    PutDir(Path("elsewhere"));
    Occupy();
    MakeTemplate();
  }

  void Occupy() {
    PutDir(tmp_ + "/qzstp0");
    PutFile(tmp_ + "/qzstp1", "file", 0644, 1000);
    ASSERT_EQ(symlink(Path("elsewhere").c_str(), (tmp_ + "/qzstp2").c_str()), 0);
  }

  void MakeTemplate() {
    std::filesystem::remove_all(Path("tpl"));
    PutDir(Path("tpl"));
    PutDir(Path("tpl/keep"), 0750);
    PutDir(Path("tpl/keep/sub"), 0700);
    PutFile(Path("tpl/keep/old.txt"), "user old", 0640, kKitSeconds - 100);
    PutFile(Path("tpl/keep/newer.txt"), "user newer", 0600, kKitSeconds + 100);
    PutFile(Path("tpl/same.txt"), "user same", 0644, kKitSeconds);
    PutFile(Path("tpl/keep/sub/user.dat"), "user data", 0604, 12345);
    PutFile(Path("tpl/big.bin"), std::string(kBigSize / 2, 'o'), 0664, kKitSeconds - 1);
    PutFile(Path("tpl/top_old.txt"), "user top, longer", 0644, kKitSeconds);
    ASSERT_EQ(symlink(Path("outside").c_str(), Path("tpl/keep/link.txt").c_str()), 0);
    SetTimes(Path("tpl/keep/link.txt"), 34567);
    for (const char* dir : {"tpl/keep/sub", "tpl/keep", "tpl"}) SetTimes(Path(dir), 40000);
  }

  KitReader* kit_ptr_ = nullptr;
};

TEST_F(InstallWorkerTest, EverySingleFailedOperationLeavesTemplateUnchanged) {
  const Snapshot before = TakeSnapshot(Path("tpl"));
  const Snapshot outside = TakeSnapshot(Path("outside"));
  // A clean run: count its operations and keep its result.
  int total = 0;
  int writes = 0;
  std::string made;
  struct stat backup {};
  SetFaultHook([&](FileOp op, const WideString& path) {
    ++total;
    writes += op == FileOp::kWriteFile;
    const std::string p = U8(path);
    if (op == FileOp::kCreateDirectory && p.find("qzstp") != p.npos) made += p.substr(tmp_.size());
    if (op == FileOp::kDeleteTree) stat(p.c_str(), &backup);  // the commit
    return kErrorSuccess;
  });
  const auto first = Install(kit_ptr_, Path("tpl"));
  const int operations = total;
  ASSERT_EQ(first.returned, kErrorSuccess);
  EXPECT_EQ(first.percent, 100u);
  EXPECT_TRUE(first.text == LoadString("IDS_INSTALL_FINISH"));
  EXPECT_EQ(made, "/qzstp0/qzstp1/qzstp2/qzstp3/qzstp3/keep");  // others' never entered
  EXPECT_EQ(backup.st_mode & 07777, 0700u);
  ASSERT_EQ(writes, 4 + 8);  // the big file alone takes four
  for (const auto& [file, bytes] : {std::pair{"keep/old.txt", "kit old 2"},
                                    {"keep/newer.txt", "user newer"}, {"same.txt", "user same"},
                                    {"top_old.txt", "kit top"}}) {  // the longer old file cut
    EXPECT_EQ(Slurp(Path("tpl/") + file), bytes);
  }
  EXPECT_EQ(MtimeOf(Path("tpl/keep/old.txt")), kKitSeconds + 1);
  EXPECT_EQ(Slurp(Path("tpl/big.bin")).size(), kBigSize);
  const Snapshot clean = TakeSnapshot(Path("tpl"), /*dirTimes=*/false);
  writes = 0;
  EXPECT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  EXPECT_EQ(writes, 0);  // a rerun over the result writes nothing

  int failed = 0;
  for (int k = 1; k <= operations; ++k) {
    SCOPED_TRACE("failing operation " + std::to_string(k) + " of " + std::to_string(operations));
    MakeTemplate();
    int seen = 0;
    SetFaultHook([&](FileOp, const WideString&) { return ++seen == k ? 87u : 0u; });
    const auto outcome = Install(kit_ptr_, Path("tpl"));
    SetFaultHook({});
    ASSERT_GE(seen, k);
    if (outcome.returned != kErrorSuccess) {
      ++failed;
      EXPECT_EQ(outcome.posted, outcome.returned);
      EXPECT_TRUE(outcome.text == LoadString("IDS_INSTALL_ERROR"));
      EXPECT_EQ(before, TakeSnapshot(Path("tpl")));
    } else {  // a fault the flow tolerates: the same result as a clean run
      EXPECT_EQ(outcome.percent, 100u);
      EXPECT_EQ(clean, TakeSnapshot(Path("tpl"), false));
    }
    EXPECT_EQ(outside, TakeSnapshot(Path("outside")));
    EXPECT_EQ(TempLeftovers(), kForeign);
    if (HasFailure()) break;
  }
  EXPECT_GT(failed, 0);
  EXPECT_LT(failed, operations);
}

// Each case fails one run, with the backup on the template's file system and,
// where /dev/shm is another one, across file systems (moves then copy; modes
// and times must survive both ways).
TEST_F(InstallWorkerTest, FailuresLeaveTheTemplateDirectoryAsItWas) {
  KitReader eof;  // a kit that ends inside its second entry
  kittest::WriteKit(Path("eof.dkt"),
                    KitBuilder().AddFile(u"a", "x").AddEntry(u"b", 1, 0, 9).Build());
  ASSERT_EQ(eof.Open(W(Path("eof.dkt"))), kErrorSuccess);
  KitReader* kit = nullptr;
  bool inBig = false;
  int bigWrites = 0;
  const struct {
    const char* name;
    std::function<void()> prepare;
    ErrorCode code;
    std::uint32_t percent;
  } cases[] = {
      {"write fails inside the large file",
       [&] {
         bigWrites = 0;
         SetFaultHook([&](FileOp op, const WideString& path) {
           if (op == FileOp::kCreateFile) inBig = path == W(Path("tpl/big.bin"));
           return op == FileOp::kWriteFile && inBig && ++bigWrites == 2 ? 87u : 0u;
         });
       },
       87, 54},
      // Moving a directory into the backup would let a commit delete it.
      {"directory in the way",
       [&] {
         std::filesystem::remove(Path("tpl/same.txt"));
         PutDir(Path("tpl/same.txt"));
         PutFile(Path("tpl/same.txt/precious"), "user data", 0644, 1000);
       },
       kErrorAlreadyExists, 18},
      // Could not back up is not "nothing to back up": no overwrite.
      {"full backup file system", [&] { FailOn(FileOp::kMoveFile, Path("tpl/big.bin")); }, 87,
       54},
      {"full backup, subdirectory", [&] { FailOn(FileOp::kMoveFile, Path("tpl/keep/old.txt")); },
       87, 0},
      {"kit ends inside an entry", [&] { kit = &eof; }, kErrorHandleEof, 50},
  };
  struct stat shm {}, here {};
  char pattern[] = "/dev/shm/engine.XXXXXX";
  std::vector<std::string> temps = {tmp_};
  if (stat("/dev/shm", &shm) == 0 && stat(root_.c_str(), &here) == 0 &&
      shm.st_dev != here.st_dev && mkdtemp(pattern) != nullptr) {
    temps.push_back(pattern);
  }
  for (const std::string& temp : temps) {
    if (temp != tmp_) {
      tmp_ = temp;
      setenv("TMPDIR", temp.c_str(), 1);
      Occupy();
    }
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", backup in " + temp);
      MakeTemplate();
      kit = kit_ptr_;
      c.prepare();
      SetTimes(Path("tpl"), 40000);
      const Snapshot before = TakeSnapshot(root_ + "/tpl");
      const auto outcome = Install(kit, Path("tpl"));
      SetFaultHook({});
      EXPECT_EQ(outcome.returned, c.code);
      EXPECT_EQ(outcome.posted, c.code);
      EXPECT_EQ(outcome.percent, c.percent);
      EXPECT_EQ(before, TakeSnapshot(root_ + "/tpl"));
      EXPECT_EQ(TempLeftovers(), kForeign);
    }
  }
  if (temps.size() > 1) std::filesystem::remove_all(pattern);
  if (temps.size() == 1) GTEST_SKIP() << "no second file system at /dev/shm";
}

// A rollback that cannot put every saved file back keeps the backup tree
// instead of deleting the only copy; the error is posted only afterwards.
TEST_F(InstallWorkerTest, RollbackKeepsBackupsItCouldNotPutBack) {
  const std::string backup = tmp_ + "/qzstp3/";
  // Moving back fails, or the listing of the backup tree ends early.
  for (const FileOp failing : {FileOp::kMoveFile, FileOp::kFindNextFile}) {
    MakeTemplate();
    std::filesystem::remove_all(backup);
    const Snapshot before = TakeSnapshot(Path("tpl"));
    InstallState state;
    state.SetJob(kit_ptr_, W(Path("tpl")));
    ErrorCode seenDuringRollback = 1;
    SetFaultHook([&](FileOp op, const WideString& path) {
      if (op == FileOp::kCreateFile && path == W(Path("tpl/top_old.txt"))) return 87u;
      if (op == FileOp::kDeleteFile) state.Read(&seenDuringRollback, nullptr, nullptr);
      return op == failing && U8(path).rfind(backup, 0) == 0 ? 87u : 0u;
    });
    EXPECT_EQ(InstallWorker().Run(&state), 87u);
    SetFaultHook({});
    EXPECT_EQ(seenDuringRollback, 0u);
    ErrorCode result = 0;
    state.Read(&result, nullptr, nullptr);
    EXPECT_EQ(result, 87u);
    Snapshot after = TakeSnapshot(Path("tpl"));
    Snapshot saved = TakeSnapshot(backup);
    for (const auto& [rel, node] : before) {
      EXPECT_TRUE(after[rel] == node || saved[rel] == node || S_ISDIR(std::stoul(node))) << rel;
    }
  }
}

}  // namespace
}  // namespace ordx
