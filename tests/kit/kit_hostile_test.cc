// Hostile kits: each ends with its own clear result, in bounded time, and
// leaves nothing behind. Their time and peak memory are measured by
// bench/kit_bounds_bench, not here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "support/hostile_kits.h"
#include "kit/decompress.h"
#include "kit/kit_limits.h"
#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

class KitHostileTest : public KitTest {
 protected:
  // Opens the kit on another thread. A hang past the deadline fails the
  // test (the stuck thread is abandoned) instead of stopping the suite.
  ErrorCode OpenWithDeadline(const std::string& kit) {
    auto task = std::make_shared<std::packaged_task<ErrorCode()>>(
        [reader = reader_, path = W(kit)] { return reader->Open(path); });
    std::future<ErrorCode> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (result.wait_for(kDeadline) != std::future_status::ready) {
      ADD_FAILURE() << "no result within 60 s";
      abandoned_ = true;
      return kErrorSuccess;
    }
    return result.get();
  }

  std::shared_ptr<KitReader> reader_ = std::make_shared<KitReader>();
  bool abandoned_ = false;
};

TEST_F(KitHostileTest, EachEndsClearlyAndInTime) {
  struct Case {
    const char* what;
    std::function<void(const std::string& kit)> make;
    ErrorCode expected;
    std::size_t entries;  // when it opens
  };
  const Case cases[] = {
      {"a FIFO named like the kit", [](const std::string& kit) { mkfifo(kit.c_str(), 0600); },
       kErrorFileNotFound, 0},
      {"a directory named like the kit",
       [](const std::string& kit) { std::filesystem::create_directory(kit); },
       kErrorFileNotFound, 0},
      {"ten million entries in a small kit",
       [](const std::string& kit) { WriteManyEntriesKit(kit, 10000000); }, kErrorInvalidData, 0},
      {"one entry more than the most",
       [](const std::string& kit) { WriteManyEntriesKit(kit, kMaxKitEntries + 1); },
       kErrorInvalidData, 0},
      {"the most entries", [](const std::string& kit) { WriteManyEntriesKit(kit, kMaxKitEntries); },
       0, kMaxKitEntries},
      {"one record of 64 MiB, nearly all padding",
       [](const std::string& kit) { WriteHugeRecordKit(kit, 64u << 20); }, 0, 1},
      {"a name 2,100 levels deep",
       [](const std::string& kit) {
         WriteKit(kit, KitBuilder().AddFile(LevelledName(2100, 1), "x").Build());
       },
       kErrorInvalidData, 0},
      {"a name of 60,000 units",
       [](const std::string& kit) {
         WriteKit(kit, KitBuilder().AddFile(LevelledName(300, 199), "x").Build());
       },
       kErrorInvalidData, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string kit = Path("ordx.dkt");
    c.make(kit);
    EXPECT_EQ(OpenWithDeadline(kit), c.expected);
    if (abandoned_) return;
    EXPECT_EQ(reader_->entries().size(), c.entries);
    EXPECT_EQ(LeftInTmp(), 0);
    std::filesystem::remove_all(kit);
  }
}

TEST_F(KitHostileTest, KitTruncatedWhileUnpacking) {
  const std::string kit = Path("ordx.dkt");
  WriteKit(kit, KitBuilder().AddFile(u"noise", TestData(6 << 20, 9, 0)).Build(), 1);
  ASSERT_GT(std::filesystem::file_size(kit), 3u * kDecompressBlock);
  // Another thread cuts the kit to half a block while the second block is
  // about to be read; the unpacking waits until it has.
  std::mutex mutex;
  std::condition_variable changed;
  bool asked = false, done = false;
  std::thread cutter([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, kDeadline, [&] { return asked; })) return;
    done = truncate(kit.c_str(), kDecompressBlock / 2) == 0;
    changed.notify_all();
  });
  int reads = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    if (op != FileOp::kReadFile || ++reads != 2) return 0u;
    std::unique_lock<std::mutex> lock(mutex);
    asked = true;
    changed.notify_all();
    changed.wait_for(lock, kDeadline, [&] { return done; });
    return 0u;
  });
  EXPECT_EQ(OpenWithDeadline(kit), kErrorInvalidData);
  SetFaultHook(nullptr);
  cutter.join();
  EXPECT_TRUE(done) << "the kit was not cut while it was unpacked";
  EXPECT_EQ(LeftInTmp(), 0);
}

TEST_F(KitHostileTest, CancelFromAnotherThread) {
  const std::string kit = Path("ordx.dkt");
  WriteKit(kit, KitBuilder().AddFile(u"noise", TestData(4 << 20, 9, 0)).Build(), 1);
  // The canceller acts once the progress shows the first block read; the
  // unpacking waits for it before its second read.
  std::atomic<bool> cancel{false};
  std::atomic<std::uint64_t> progress{0};
  std::atomic<bool> cancelled{false};
  std::thread canceller([&] {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (progress.load() < kDecompressBlock && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    cancel = true;
    cancelled = true;
  });
  int reads = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    if (op == FileOp::kReadFile && ++reads == 2) {
      const auto until = std::chrono::steady_clock::now() + kDeadline;
      while (!cancelled && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0u;
  });
  EXPECT_EQ(reader_->Open(W(kit), &cancel, &progress), kErrorCancelled);
  SetFaultHook(nullptr);
  canceller.join();
  // Stopped within a block of the cancel: at most the block read meanwhile.
  EXPECT_GE(progress.load(), kDecompressBlock);
  EXPECT_LE(progress.load(), 2u * kDecompressBlock);
  EXPECT_EQ(reader_->file(), kInvalidHandle);
  EXPECT_EQ(LeftInTmp(), 0);
}

// Mounts a tmpfs of `megabytes` below the test folder; unmounted on exit.
class SmallTmpfs {
 public:
  SmallTmpfs(const std::string& path, int megabytes) : path_(path) {
    std::filesystem::create_directory(path);
    const std::string options = "size=" + std::to_string(megabytes) + "m,mode=0700";
    mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallTmpfs() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST_F(KitHostileTest, SmallKitOfZerosCannotFillTheTemporaryDirectory) {
  const SmallTmpfs small(Path("small"), 8);
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  setenv("TMPDIR", Path("small").c_str(), 1);
  const std::string kit = Path("ordx.dkt");
  WriteZerosKit(kit, 256u << 20);
  ASSERT_LT(std::filesystem::file_size(kit), 1u << 20);
  EXPECT_EQ(OpenWithDeadline(kit), kErrorDiskFull);
  EXPECT_TRUE(ListDirectory(Path("small")).empty());

  // Room that goes while unpacking runs: the write itself finds the disk
  // full (a filler file takes the room just before the first write).
  WriteZerosKit(kit, 4u << 20);
  const std::string filler = Path("small/filler");
  SetFaultHook([&](FileOp op, const WideString&) {
    if (op == FileOp::kWriteFile && !std::filesystem::exists(filler)) {
      const int fd = open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
      const std::string block(1 << 16, 'f');
      while (write(fd, block.data(), block.size()) > 0) {
      }
      close(fd);
    }
    return 0u;
  });
  EXPECT_EQ(OpenWithDeadline(kit), kErrorDiskFull);
  SetFaultHook(nullptr);
  EXPECT_TRUE(std::filesystem::exists(filler));
  std::filesystem::remove(filler);
  EXPECT_TRUE(ListDirectory(Path("small")).empty());
  setenv("TMPDIR", tmp_.c_str(), 1);
}

}  // namespace
}  // namespace ordx::kittest
