// Shared pieces of the engine tests: a fixture with its own root and TMPDIR,
// files with exact modes and times, tree snapshots, kits opened for real.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "support/kit_builder.h"
#include "engine/install_state.h"
#include "engine/install_worker.h"
#include "kit/kit_reader.h"
#include "text/convert.h"

namespace ordx::enginetest {

// Unix seconds of 2013-01-01 00:00 UTC, the entry time the tests build on.
inline constexpr std::int64_t kKitSeconds = 1356998400;
inline FILETIME KitTime(std::int64_t offset = 0) { return FileTimeFromUnix(kKitSeconds + offset); }

inline WideString W(const std::string& utf8) { return ToWide(NarrowString(utf8.c_str())); }
inline std::string U8(const WideString& wide) { return ToNarrow(wide).c_str(); }
inline std::string Slurp(const std::string& path) { return kittest::ReadBytes(path); }

inline std::int64_t MtimeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

inline void SetTimes(const std::string& path, std::int64_t seconds) {
  const timespec t[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << path;
}

inline void PutFile(const std::string& path, const std::string& bytes, mode_t mode,
                    std::int64_t seconds) {
  kittest::WriteBytes(path, bytes);
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
  SetTimes(path, seconds);
}

inline void PutDir(const std::string& path, mode_t mode = 0755) {
  ASSERT_EQ(mkdir(path.c_str(), mode), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// Path -> "mode mtime" plus a digest of the bytes, or the link target, of
// every node as lstat sees it. Directory times change with every entry added
// or removed, so comparisons with another run leave them out.
using Snapshot = std::map<std::string, std::string>;
inline void SnapshotInto(const std::string& path, const std::string& rel, bool dirTimes,
                         Snapshot* out) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;
  std::string& node = (*out)[rel] = std::to_string(st.st_mode) + " ";
  if (!S_ISDIR(st.st_mode) || dirTimes) {
    node += std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  // A digest keeps a failure message readable even for the large file.
  if (S_ISREG(st.st_mode)) node += " " + std::to_string(std::hash<std::string>{}(Slurp(path)));
  if (S_ISLNK(st.st_mode)) node += " -> " + std::filesystem::read_symlink(path).string();
  if (!S_ISDIR(st.st_mode)) return;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    const std::string name = entry.path().filename().string();
    SnapshotInto(path + "/" + name, rel + "/" + name, dirTimes, out);
  }
}
inline Snapshot TakeSnapshot(const std::string& root, bool dirTimes = true) {
  Snapshot snap;
  SnapshotInto(root, ".", dirTimes, &snap);
  return snap;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/engine.XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    tmp_ = root_ + "/tmp";
    PutDir(tmp_, 0700);
    setenv("TMPDIR", tmp_.c_str(), 1);
  }

  void TearDown() override {
    SetFaultHook({});
    kit_.reset();
    setenv("TMPDIR", root_.substr(0, root_.rfind('/')).c_str(), 1);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

 public:
  std::string Path(const std::string& rel) const { return root_ + "/" + rel; }

 protected:
  // Writes the builder's kit beside TMPDIR and opens it with the reader.
  KitReader* OpenKit(const kittest::KitBuilder& builder) {
    kittest::WriteKit(Path("kit.dkt"), builder.Build(), 1);
    kit_ = std::make_unique<KitReader>();
    const ErrorCode code = kit_->Open(W(Path("kit.dkt")));
    EXPECT_EQ(code, kErrorSuccess);
    return code == kErrorSuccess ? kit_.get() : nullptr;
  }

  // Sorted names in TMPDIR other than the reader's own unpacked kit.
  std::string TempLeftovers() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp_)) {
      names.insert(e.path().filename().string());
    }
    std::string out;
    for (const std::string& name : names) out += name.rfind("kpx", 0) != 0 ? name + " " : "";
    return out;
  }

  struct Outcome {
    ErrorCode returned = 0, posted = 0;
    WideString text;
    std::uint32_t percent = 0;
  };
  // One installation run of `kit` into `dir` on this thread.
  static Outcome Install(KitReader* kit, const std::string& dir) {
    InstallState state;
    state.SetJob(kit, W(dir));
    InstallWorker worker;
    worker.set_finish_pause_ms(0);
    Outcome out;
    out.returned = worker.Run(&state);
    state.Read(&out.posted, &out.text, &out.percent);
    return out;
  }

  // Fails the file-layer operation `op` on exactly `path`.
  static void FailOn(FileOp op, const std::string& path, ErrorCode code = 87) {
    SetFaultHook([op, path = W(path), code](FileOp o, const WideString& p) {
      return o == op && p == path ? code : kErrorSuccess;
    });
  }

  std::string root_;
  std::string tmp_;
  std::unique_ptr<KitReader> kit_;
};

}  // namespace ordx::enginetest
