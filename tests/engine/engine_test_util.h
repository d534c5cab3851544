// Shared pieces of the engine tests: a fixture with its own root and TMPDIR, exact files, tree snapshots, kit runs.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "engine/install_state.h"
#include "engine/install_worker.h"
#include "kit/kit_reader.h"
#include "kit_forge.h"
#include "support/temp_tree.h"

namespace ordx::enginetest {

using namespace testsupport;  // NOLINT: test helpers only

inline constexpr std::int64_t kKitSeconds = 1356998400;  // 2013-01-01 00:00 UTC
inline FILETIME KitTime(std::int64_t offset = 0) { return FileTimeFromUnix(kKitSeconds + offset); }

inline void SetTimes(const std::string& path, time_t seconds, long nanoseconds = 0) {
  const timespec t[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
}
// A file with `bytes` (a directory for nullptr), its mode and its time.
inline void Put(const std::string& path, const char* bytes, mode_t mode, time_t seconds) {
  if (bytes != nullptr) WriteBytes(path, bytes);
  else ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
  SetTimes(path, seconds);
}

// Relative path -> mode, time to the nanosecond, digest of the bytes or link target, as lstat sees it. Directory times
// change with every entry added or removed: comparisons with another run leave them out.
using Snapshot = Tree;
inline Snapshot TakeSnapshot(const std::string& root, bool dirTimes = true) {
  return ListTree(root, [dirTimes](const fs::path& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return std::string();
    std::string node = std::to_string(st.st_mode);
    // Appended piece by piece: GCC 12's -Wrestrict misfires on "literal" + std::string temporaries in Release.
    if (!S_ISDIR(st.st_mode) || dirTimes) {
      node.append(" ").append(std::to_string(st.st_mtim.tv_sec)).append(".").append(std::to_string(st.st_mtim.tv_nsec));
    }
    if (S_ISREG(st.st_mode)) node.append(" ").append(std::to_string(std::hash<std::string>{}(ReadBytes(path))));
    if (S_ISLNK(st.st_mode)) node.append(" -> ").append(fs::read_symlink(path).string());
    return node;
  });
}

class EngineTest : public TempTreeTest {
 protected:
  void TearDown() override {
    SetFaultHook({});
    kit_.reset();
  }

  KitReader* OpenKit(const kittest::KitBuilder& builder) {
    kittest::WriteKit(Path("kit.dkt"), builder.Build(), 1);
    kit_ = std::make_unique<KitReader>();
    EXPECT_EQ(kit_->Open(W(Path("kit.dkt"))), kErrorSuccess);
    return kit_.get();
  }

  struct Outcome { ErrorCode returned; WideString text; std::uint32_t percent = 0; };
  // One installation run of `kit` into `dir` on this thread.
  static Outcome Install(KitReader* kit, const std::string& dir) {
    InstallState state;
    state.SetJob(kit, W(dir));
    InstallWorker worker;
    worker.set_finish_pause_ms(0);
    Outcome out{worker.Run(&state), {}};
    state.Read(nullptr, &out.text, &out.percent);
    return out;
  }

  std::unique_ptr<KitReader> kit_;
};

}  // namespace ordx::enginetest
