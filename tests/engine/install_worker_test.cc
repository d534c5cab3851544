// Installation runs of a realistic kit into a real template: failed or killed at every operation, raced by a second
// process, on full file systems, against names the run did not make; trees compared to the byte and nanosecond.
#include "engine/install_worker.h"

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "engine/install_target.h"
#include "engine/journal.h"
#include "engine_test_util.h"
#include "kit/kit_limits.h"
#include "support/deadline.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only
using kittest::KitBuilder;

constexpr std::uint32_t kBigSize = 1048576 + 12345;
constexpr char kTransaction[] = "/.ordx-transaction";

std::string BigBytes() {
  std::string big(kBigSize, '\0');
  for (std::uint32_t x = 2463534242u; char& c : big) c = static_cast<char>((x ^= x << 13, x ^= x >> 17, x ^= x << 5));
  return big;
}

int WaitChild(pid_t pid, int status = 0) {  // its exit status; -1 when it was killed or hung
  return testsupport::WaitForChild(pid, &status) && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Undoes whatever a transaction directory in `dir` holds.
ErrorCode Recover(const std::string& dir, bool* recovered = nullptr) {
  InstallTarget target;
  const ErrorCode code = target.Acquire(W(dir));
  if (recovered != nullptr) *recovered = target.recovered();
  return code;
}

class InstallWorkerTest : public EngineTest {
 protected:
  void SetUp() override {
    Put(Path("outside"), nullptr, 0755, 1000);
    Put(Path("outside/target"), "outside", 0644, kKitSeconds - 5);
    // d.txt: whole seconds on disk count as up to date; old.txt twice: the run never saves its own copy over the user's;
    // "kee*": names are looked up exactly, never as patterns.
    const std::tuple<const char16_t*, std::string, FILETIME> files[] = {{u"keep\\old.txt", "kit old", KitTime()},
        {u"keep\\newer.txt", "kit newer", KitTime()}, {u"same.txt", "kit same", KitTime()}, {u"fresh\\a\\b\\c.txt", "kit c", KitTime(-3)},
        {u"fresh\\a\\d.txt", "kit d", KitTime(-4) + 5000000}, {u"keep\\sub\\added.txt", "kit added", KitTime()},
        {u"big.bin", BigBytes(), KitTime()}, {u"keep\\link.txt", "kit link", KitTime()}, {u"top_old.txt", "kit top", KitTime(7)},
        {u"keep\\old.txt", "kit old 2", KitTime(1)}, {u"kee*\\x.txt", "kit x", KitTime()}};
    KitBuilder builder;
    for (const auto& [name, bytes, time] : files) {
      std::string rel = U8(name);
      std::replace(rel.begin(), rel.end(), '\\', '/');
      kitBytes_["./" + rel].insert(bytes);
      builder.AddFile(name, bytes, time);
    }
    kit_ptr_ = OpenKit(builder);
    MakeTemplate();
    before_ = TakeSnapshot(Path("tpl"));
  }

  void MakeTemplate() {
    std::filesystem::remove_all(Path("tpl"));
    const std::string half(kBigSize / 2, 'o');
    const std::tuple<const char*, const char*, mode_t, time_t> nodes[] = {{"tpl", nullptr, 0755, 0},
        {"tpl/keep", nullptr, 0750, 0}, {"tpl/keep/sub", nullptr, 0700, 0}, {"tpl/keep/old.txt", "user old", 0640, kKitSeconds - 100},
        {"tpl/keep/newer.txt", "user newer", 0600, kKitSeconds + 100}, {"tpl/same.txt", "user same", 0644, kKitSeconds},
        {"tpl/keep/sub/user.dat", "user data", 0604, 12345}, {"tpl/big.bin", half.c_str(), 0664, kKitSeconds - 1},
        {"tpl/top_old.txt", "user top, longer", 0644, kKitSeconds}};
    for (const auto& [rel, bytes, mode, seconds] : nodes) Put(Path(rel), bytes, mode, seconds);
    ASSERT_EQ(symlink(Path("outside/target").c_str(), Path("tpl/keep/link.txt").c_str()), 0);
    SetTimes(Path("tpl/keep/link.txt"), 34567);
    // Directory times with nanoseconds: a rollback must bring them back exactly.
    for (const char* dir : {"tpl/keep/sub", "tpl/keep", "tpl"}) SetTimes(Path(dir), 40000, 123456789);
  }

  // Every kit path holds the user's node unchanged or a whole copy from the kit; TMPDIR keeps nothing of the run.
  void ExpectOldOrNew() {
    const Snapshot now = TakeSnapshot(Path("tpl"));
    for (const auto& [rel, versions] : kitBytes_) {
      const auto old = before_.find(rel);
      if (!now.contains(rel)) {
        EXPECT_EQ(old, before_.end()) << rel << " lost";
      } else if (old == before_.end() || old->second != now.at(rel)) {
        EXPECT_EQ(versions.count(ReadBytes(Path("tpl/" + rel))), 1u) << rel << " holds neither version";
      }
    }
    for (const auto& e : std::filesystem::directory_iterator(Path("tmp")))
      EXPECT_EQ(e.path().filename().string().rfind("kpx", 0), 0u) << e.path();  // the kit's own
  }

  KitReader* kit_ptr_ = nullptr;
  std::map<std::string, std::set<std::string>> kitBytes_;
  Snapshot before_;
};

// A clean run replaces what is older, keeps what is newer, replaces a link without following it; a rerun touches nothing.
// Then each operation fails in turn: cleanly, as a half write, and with every rollback move failing too ("no space"):
// that rollback says so, and recovery, itself failing first, then restores the old tree.
TEST_F(InstallWorkerTest, CleanRunRerunAndFaultSweep) {
  int operations = 0;
  SetFaultHook([&](FileOp, const WideString&) { return ++operations, 0u; });
  const auto first = Install(kit_ptr_, Path("tpl"));
  ASSERT_EQ(first.returned, kErrorSuccess);
  EXPECT_EQ(first.percent, 100u);
  EXPECT_EQ(U8(first.text), U8(LoadString("IDS_INSTALL_FINISH")));
  for (const auto& [file, bytes] : {std::pair{"keep/old.txt", "kit old 2"}, {"keep/newer.txt", "user newer"}, {"same.txt", "user same"},
           {"top_old.txt", "kit top"}, {"keep/link.txt", "kit link"}, {"kee*/x.txt", "kit x"}, {"../outside/target", "outside"}})
    EXPECT_EQ(ReadBytes(Path("tpl/") + file), bytes) << file;
  EXPECT_EQ(ReadBytes(Path("tpl/big.bin")), BigBytes());
  EXPECT_FALSE(std::filesystem::exists(Path("tpl") + kTransaction));
  const Snapshot clean = TakeSnapshot(Path("tpl"), false), installed = TakeSnapshot(Path("tpl"));
  int changes = 0;
  SetFaultHook([&](FileOp op, const WideString&) { return changes += op != FileOp::kLock, 0u; });
  EXPECT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(installed, TakeSnapshot(Path("tpl")));
  {  // the room check before a rerun asks for nothing, in any folder
    InstallTarget target;
    ASSERT_EQ(target.Acquire(W(Path("tpl"))), kErrorSuccess);
    std::uint64_t needed = 1;
    EXPECT_EQ(MeasureWrites(&target, *kit_ptr_, &needed), kErrorSuccess);
    EXPECT_EQ(needed, 0u);
  }

  enum Mode { kClean, kHalfWrite, kRollbackFails };
  for (const Mode mode : {kClean, kHalfWrite, kRollbackFails}) {
    int failed = 0, notRestored = 0;
    for (int k = 1; k <= operations; ++k) {
      SCOPED_TRACE("mode " + std::to_string(mode) + ", failing operation " + std::to_string(k));
      MakeTemplate();
      int seen = 0;
      FileOp failedOp = FileOp::kCreateFile;
      SetFaultHook([&](FileOp op, const WideString&) -> ErrorCode {
        if (++seen == k) failedOp = op;
        if (seen == k) return op == FileOp::kWriteFile && mode == kHalfWrite ? kFaultAfterHalf | 87 : 87;
        return seen > k && mode == kRollbackFails && op == FileOp::kMoveFile ? 112 : 0;
      });
      const auto outcome = Install(kit_ptr_, Path("tpl"));
      SetFaultHook({});
      ExpectOldOrNew();
      if (outcome.returned == kErrorSuccess) {
        // Only a time that cannot be set and a failed tidying after the commit (the next acquirer clears it) pass.
        EXPECT_TRUE((std::set{FileOp::kSetFileTime, FileOp::kDeleteTree}).contains(failedOp)) << int(failedOp);
        if (failedOp == FileOp::kDeleteTree) { EXPECT_EQ(Recover(Path("tpl")), kErrorSuccess); }
        if (failedOp != FileOp::kSetFileTime) { EXPECT_EQ(clean, TakeSnapshot(Path("tpl"), false)); }
      } else if (outcome.text.starts_with(LoadString("IDS_INSTALL_ERROR").view())) {
        ++failed;
        EXPECT_EQ(before_, TakeSnapshot(Path("tpl")));
      } else {
        ++notRestored;
        EXPECT_EQ(U8(outcome.text), U8(LoadString("IDS_ERROR_NOTRESTORED")) + "\n" + Path("tpl") + kTransaction);
        const Snapshot kept = TakeSnapshot(Path("tpl"));
        SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kMoveFile ? 112u : 0u; });
        EXPECT_EQ(Recover(Path("tpl")), kErrorNotRestored);  // the same full disk: stops, changes nothing
        SetFaultHook({});
        EXPECT_EQ(kept, TakeSnapshot(Path("tpl")));
        bool recovered = false;
        EXPECT_EQ(Recover(Path("tpl"), &recovered), kErrorSuccess);
        EXPECT_TRUE(recovered);
        EXPECT_EQ(before_, TakeSnapshot(Path("tpl")));
      }
      if (HasFailure()) return;
    }
    EXPECT_GT(failed + notRestored, operations / 2);
    EXPECT_EQ(notRestored > 0, mode == kRollbackFails);
  }
}

// Killed at each operation: old or new files only; recovery gives the old tree before the commit, the kit after it.
TEST_F(InstallWorkerTest, CrashSweepThenRecoveryOrRerun) {
  int operations = 0, firstRecord = 0, commitPoint = 0;
  SetFaultHook([&](FileOp op, const WideString& path) {
    ++operations;
    if (op == FileOp::kWriteFile && firstRecord == 0) firstRecord = operations;
    if (op == FileOp::kDeleteFile && path.ends_with(std::u16string_view(u"/journal"))) commitPoint = operations;
    return kErrorSuccess;
  });
  ASSERT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  SetFaultHook({});
  ASSERT_GT(commitPoint, firstRecord);  // removing the journal commits the run
  const Snapshot clean = TakeSnapshot(Path("tpl"), false);
  for (int k = 1; k <= operations; ++k) {
    SCOPED_TRACE("killed at operation " + std::to_string(k) + " of " + std::to_string(operations));
    MakeTemplate();
    const int code = testsupport::ExitCodeInChild([&, seen = 0]() mutable {
      SetFaultHook([&](FileOp, const WideString&) { return ++seen == k ? (_exit(0), 0u) : 0u; });
      return Install(kit_ptr_, Path("tpl")), 1;
    });
    ASSERT_EQ(code, 0) << "the run ended before k";
    ExpectOldOrNew();
    if (k > commitPoint || k % 2 == 0) {
      EXPECT_EQ(Recover(Path("tpl")), kErrorSuccess);
      Snapshot after = TakeSnapshot(Path("tpl"), k <= commitPoint), expected = k > commitPoint ? clean : before_;
      if (k <= firstRecord) after.erase("."), expected.erase(".");  // killed before the first record: the root's time is lost
      EXPECT_EQ(expected, after);
    } else {
      EXPECT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
      EXPECT_EQ(clean, TakeSnapshot(Path("tpl"), false));
    }
    if (HasFailure()) return;
  }
}

// Two installer processes start together, round after round: each installs or finds the target busy; the kit is there.
TEST_F(InstallWorkerTest, TwoProcessesAtOnce) {
  ASSERT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  const Snapshot clean = TakeSnapshot(Path("tpl"), false);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    MakeTemplate();
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t children[2];
    for (pid_t& child : children) {
      ASSERT_GE(child = fork(), 0);
      if (child != 0) continue;
      char go;
      close(gate[1]);
      if (read(gate[0], &go, 1) != 0) _exit(9);
      SetFaultHook([](FileOp op, const WideString&) { return usleep(op == FileOp::kWriteFile ? 2000 : 0), 0u; });
      const auto outcome = Install(kit_ptr_, Path("tpl"));  // slow writes keep both runs in the air
      const bool busy = outcome.returned == kErrorBusy && outcome.text == LoadString("IDS_ERROR_BUSY");
      _exit(outcome.returned == kErrorSuccess ? 0 : busy ? 1 : 2);
    }
    close(gate[0]), close(gate[1]);  // both start now
    const int first = WaitChild(children[0]), second = WaitChild(children[1]);
    EXPECT_EQ(std::min(first, second), 0);
    EXPECT_LE(std::max(first, second), 1);
    EXPECT_EQ(clean, TakeSnapshot(Path("tpl"), false));
  }
}

// Small tmpfs mounts: the target fills up in the large file; a TMPDIR too small for anything costs nothing.
TEST_F(InstallWorkerTest, RealFullFileSystems) {
  const std::string small = Path("small"), tiny = Path("tiny");
  for (const std::string& dir : {small, tiny}) Put(dir, nullptr, 0755, 1000);
  const bool mounted = mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4m") == 0 && mount("tmpfs", tiny.c_str(), "tmpfs", 0, "size=8k") == 0;
  if (!mounted) umount(small.c_str());
  if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
  ASSERT_EQ(std::system(("cp -a '" + Path("tpl") + "' '" + small + "/tpl'").c_str()), 0);
  Put(small + "/tpl/filler", std::string(3 * 1024 * 1024, 'f').c_str(), 0644, 1000);
  const Snapshot full = TakeSnapshot(small + "/tpl");
  const auto outcome = Install(kit_ptr_, small + "/tpl");
  EXPECT_NE(outcome.returned, kErrorSuccess);
  EXPECT_TRUE(outcome.text.ends_with((u"\n" + LoadString("IDS_REASON_NOSPACE")).view())) << U8(outcome.text);
  EXPECT_EQ(full, TakeSnapshot(small + "/tpl"));
  setenv("TMPDIR", tiny.c_str(), 1);
  EXPECT_EQ(Install(kit_ptr_, Path("tpl")).returned, kErrorSuccess);
  EXPECT_TRUE(std::filesystem::is_empty(tiny));
  umount(small.c_str());
  umount(tiny.c_str());
}

// Names the run did not make are never its own: a node under the temporary name, a level reached by ".." behind a link,
// a file met again under a second spelling. A failing run ("zz" is a directory) leaves target and neighbours alone.
TEST_F(EngineTest, RollbackTouchesOnlyWhatTheRunMade) {
  const struct {
    std::vector<const char16_t*> entries;
    std::vector<std::pair<const char*, const char*>> made;  // name -> link target, "" a directory, "=" a file
    bool succeeds;
  } rows[] = {{{u"a.txt", u"zz"}, {{".ordx-new.a.txt", "="}}, false}, {{u"a.txt", u"zz"}, {{".ordx-new.a.txt", "missing"}}, false},
      {{u"a.txt"}, {{".ordx-new.a.txt", "="}}, true}, {{u"a\\f1", u"l\\x\\f2", u"zz"}, {{"l", "."}}, false},
      {{u"a\\f1", u"l\\x\\f2", u"zz"}, {{"d1", ""}, {"d1/d2", ""}, {"d1/a", ""}, {"l", "d1/d2"}}, false},
      {{u"x", u"\\x", u"zz"}, {}, false}, {{u"out\\victim.txt"}, {{"out", "../b"}}, false}};  // a link out is not written through
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.made) + " " + std::to_string(row.entries.size()));
    for (const char* dir : {"tpl", "a", "b"}) std::filesystem::remove_all(Path(dir));
    for (const char* dir : {"tpl", "a", "b", "tpl/zz"}) Put(Path(dir), nullptr, 0755, 1000);
    Put(Path("tpl/a.txt"), "user a", 0644, kKitSeconds - 100);
    Put(Path("b/victim.txt"), "someone else's", 0644, 1000);
    for (const auto& [name, target] : row.made) {
      if (*target == '\0' || *target == '=') Put(Path("tpl/") + name, *target ? "user's own" : nullptr, 0755, 1000);
      if (*target != '\0' && *target != '=') { ASSERT_EQ(symlink(target, (Path("tpl/") + name).c_str()), 0); }
    }
    KitBuilder builder;
    for (std::size_t i = 0; i < row.entries.size(); ++i) builder.AddFile(row.entries[i], "kit", KitTime(5 * i));
    Snapshot before = TakeSnapshot(Path("tpl"));
    EXPECT_EQ(Install(OpenKit(builder), Path("tpl")).returned == kErrorSuccess, row.succeeds);
    Snapshot after = TakeSnapshot(Path("tpl"));
    if (row.succeeds) {
      EXPECT_EQ(ReadBytes(Path("tpl/a.txt")), "kit");
      for (Snapshot* s : {&before, &after}) s->erase("./a.txt"), s->erase(".");
    }
    EXPECT_EQ(before, after);
    EXPECT_TRUE(std::filesystem::is_directory(Path("a")));
    EXPECT_EQ(ReadBytes(Path("b/victim.txt")), "someone else's");
  }
}

// A transaction directory or journal others could write is never obeyed, nor a level beside the target; an unnamed
// backup is kept.
TEST_F(EngineTest, RecoveryObeysOnlyAPrivateJournal) {
  const struct { mode_t directoryMode, journalMode; bool obeyed, unnamedBackup; } rows[] = {
      {0755, 0600, false, false}, {0700, 0644, false, false}, {0700, 0600, true, false}, {0700, 0600, true, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.directoryMode) + " " + std::to_string(row.journalMode) + " " + std::to_string(row.unnamedBackup));
    for (const char* dir : {"tpl", "victim"}) std::filesystem::remove_all(Path(dir)), Put(Path(dir), nullptr, 0755, 1000);
    Put(Path("tpl/u.txt"), "user's", 0644, 1000);
    struct stat st {};
    ASSERT_EQ(lstat(Path("tpl/u.txt").c_str(), &st), 0);
    {
      ScopedHandle root;
      ASSERT_EQ(OpenDirectory(W(Path("tpl")), &root), kErrorSuccess);
      Journal planted;
      ASSERT_EQ(planted.Create(root.get()), kErrorSuccess);
      ASSERT_EQ(planted.Append({JournalRecord::kNewFile, st.st_ino, 0, u"u.txt"}), kErrorSuccess);
      ASSERT_EQ(planted.Append({JournalRecord::kLevel, 0, 0, W(Path("victim"))}), kErrorSuccess);
    }
    if (row.unnamedBackup) Put(Path("tpl") + kTransaction + "/b0", "user's only", 0644, 1000);
    ASSERT_EQ(chmod((Path("tpl") + kTransaction).c_str(), row.directoryMode), 0);
    ASSERT_EQ(chmod((Path("tpl") + kTransaction + "/journal").c_str(), row.journalMode), 0);
    EXPECT_EQ(Recover(Path("tpl")), row.obeyed && !row.unnamedBackup ? kErrorSuccess : kErrorNotRestored);
    EXPECT_EQ(std::filesystem::exists(Path("tpl") + kTransaction + "/b0"), row.unnamedBackup);
    EXPECT_EQ(std::filesystem::exists(Path("tpl/u.txt")), !row.obeyed);
    EXPECT_TRUE(std::filesystem::is_directory(Path("victim")));
  }
}

// ".." in a typed target leaves nothing behind; a second acquirer finds it busy; the deepest entry a kit may hold installs.
TEST_F(EngineTest, DotDotBusyAndDepth) {
  std::u16string deep;
  std::string levels;
  for (std::uint32_t i = 1; i < kMaxNameLevels; ++i) deep += u"d\\", levels += "d/";
  KitReader* kit = OpenKit(KitBuilder().AddFile(u"sub\\top.txt", "kit", KitTime()).AddFile(deep + u"leaf.txt", "deep", KitTime()));
  Put(Path("tpl"), nullptr, 0755, 1000);
  const std::string typed = Path("tpl/new1/../new2");  // both new levels go on rollback
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kSync ? 87u : 0u; });
  const Snapshot before = TakeSnapshot(Path("tpl"));
  EXPECT_EQ(Install(kit, typed).returned, 87u);
  SetFaultHook({});
  EXPECT_EQ(before, TakeSnapshot(Path("tpl")));
  InstallTarget first, second;
  ASSERT_EQ(first.Acquire(W(typed)), kErrorSuccess);
  EXPECT_EQ(second.Acquire(W(typed)), kErrorBusy);
  first.Release();  // never installed into: the levels it made go again
  EXPECT_EQ(before, TakeSnapshot(Path("tpl")));
  ASSERT_EQ(Install(kit, typed).returned, kErrorSuccess);
  EXPECT_EQ(ReadBytes(Path("tpl/new2/sub/top.txt")), "kit");
  EXPECT_TRUE(std::filesystem::is_directory(Path("tpl/new1")));
  EXPECT_EQ(ReadBytes(Path("tpl/new2/" + levels + "leaf.txt")), "deep");
}

// A path in a failure text stays on one line, in stored order: control and direction characters are escaped, no others.
TEST(EscapeForLineTest, ControlAndDirectionCharactersAreEscaped) {
  const WideString raw(u"\\\"\n\r\t\x1F ~\x7F\x9F\xA0\x2027\x2028\x2029\x202A\x202E\x202F\x2065\x2066\x2069\x206A");
  const std::u16string shown = u"\\\\\\\"\\n\\r\\t\\x1F ~\\x7F\\x9F\xA0\x2027\\u2028\\u2029\\u202A\\u202E\x202F\x2065\\u2066\\u2069\x206A";
  EXPECT_EQ(std::u16string(EscapeForLine(raw).view()), shown);
}

// Journal records: any byte in a name; a torn or damaged record ends the journal; a number has at most 20 digits.
TEST(JournalTest, RecordsRoundTripAndTornTailsAreDropped) {
  const std::vector<JournalRecord> records = {
      {JournalRecord::kLevel, 0, 0, u"/srv/new"}, {JournalRecord::kTime, 1700000000, 999999999, u""},
      {JournalRecord::kDirectory, 0, 0, u"a b/new\nline"}, {JournalRecord::kTemporary, 0, 0, u"a b/.ordx-new.x 12 3:"},
      {JournalRecord::kNewFile, 18446744073709551615ull, 0, u"Grüße/Ω"}, {JournalRecord::kSaved, 7, 0, u"keep/old.txt"}};
  std::string bytes;
  for (const JournalRecord& r : records) bytes += EncodeRecord(r);
  EXPECT_EQ(DecodeJournal(bytes), records);
  for (std::size_t cut = bytes.size() - EncodeRecord(records.back()).size(); cut < bytes.size(); ++cut)
    EXPECT_EQ(DecodeJournal(bytes.substr(0, cut)), std::vector(records.begin(), records.end() - 1)) << cut;
  bytes[EncodeRecord(records[0]).size()] = 'Z';
  EXPECT_EQ(DecodeJournal(bytes).size(), 1u);
  for (const auto& [raw, count] : {std::pair{"S 00000000000000000007 0 1 x\n", 1u}, {"S 000000000000000000007 0 1 x\n", 0u},
                                   {"S 1 0 99999999999999999999999 x\n", 0u}})
    EXPECT_EQ(DecodeJournal(raw).size(), count) << raw;
  for (const auto& [name, inside] : {std::pair{u".ordx-transaction", true}, {u".ordx-transaction\\journal", true},
           {u"\\.ordx-transaction/b0", true}, {u"sub\\.ordx-transaction\\x", false}, {u".ordx-transaction2\\x", false},
           {u".ordx-transactio", false}})
    EXPECT_EQ(IsTransactionEntry(name), inside) << U8(name);
}

}  // namespace
}  // namespace ordx
