// Tests of the worker thread: one run per start, Stop before the first pass
// and during a run, the closing pause cut short by Stop, Join, and a thread
// that cannot be created. Meant to run clean under ThreadSanitizer.
#include "engine/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "engine_test_util.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only

// A gate the test opens once; waiters block until then.
class Gate {
 public:
  void Open() {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Thread creation that holds the new thread back until the gate opens.
Gate* g_startGate = nullptr;
void* (*g_body)(void*) = nullptr;
void* g_argument = nullptr;

void* HeldBody(void*) {
  g_startGate->Wait();
  return g_body(g_argument);
}

int HeldCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*),
               void* argument) {
  g_body = body;
  g_argument = argument;
  return pthread_create(thread, attributes, HeldBody, nullptr);
}

int FailingCreate(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; }

class WorkerThreadTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    KitReader* kit = OpenKit(kittest::KitBuilder()
                                 .AddFile(u"a.txt", "alpha", KitTime())
                                 .AddFile(u"dir\\b.txt", "beta", KitTime()));
    ASSERT_NE(kit, nullptr);
    PutDir(Path("tpl"));
    state_.Post(0, u"prepare", 0);
    state_.SetJob(kit, W(Path("tpl")));
  }
  void TearDown() override {
    WorkerThread::SetCreateFunctionForTesting(nullptr);
    EngineTest::TearDown();
  }

  // Counts runs (each makes one backup directory), fails `failPath`, and
  // holds the run at `holdPath` until `resume_` opens. A second run stops
  // the thread, so a test fails instead of hanging.
  void Watch(const std::string& failPath, const std::string& holdPath = "") {
    SetFaultHook([this, fail = W(failPath), hold = W(holdPath)](FileOp op, const WideString& p) {
      if (op == FileOp::kCreateDirectory && U8(p).find("/qzstp") != std::string::npos &&
          runs_.fetch_add(1) == 1) {
        thread_->Stop();
      }
      if (op == FileOp::kCreateFile && p == hold && !held_.exchange(true)) {
        inRun_.Open();
        resume_.Wait();
      }
      return op == FileOp::kCreateFile && p == fail ? 87u : 0u;
    });
  }

  void ExpectState(ErrorCode result, const std::string& text, std::uint32_t percent) {
    ErrorCode gotResult = 0;
    WideString gotText;
    std::uint32_t gotPercent = 0;
    state_.Read(&gotResult, &gotText, &gotPercent);
    EXPECT_EQ(gotResult, result);
    EXPECT_EQ(U8(gotText), text);
    EXPECT_EQ(gotPercent, percent);
  }

  InstallState state_;
  WorkerThread owned_;
  WorkerThread* thread_ = &owned_;
  std::atomic<int> runs_{0};
  std::atomic<bool> held_{false};
  Gate inRun_;
  Gate resume_;
};

TEST_F(WorkerThreadTest, OneRunPerStartWhetherItSucceedsOrFails) {
  Watch("");
  thread_->SetFinishPause(0);
  ASSERT_EQ(thread_->Start(&state_), 0);
  thread_->Join();
  EXPECT_EQ(thread_->creationResult(), 0);
  EXPECT_EQ(runs_.load(), 1);
  ExpectState(0, U8(LoadString("IDS_INSTALL_FINISH")), 100);
  EXPECT_EQ(Slurp(Path("tpl/dir/b.txt")), "beta");

  // A failed run loops at once if nothing ends the thread.
  std::filesystem::remove_all(Path("tpl"));
  Watch(Path("tpl/dir/b.txt"));
  runs_ = 0;
  ASSERT_EQ(thread_->Start(&state_), 0);
  thread_->Join();
  EXPECT_EQ(runs_.load(), 1);
  ExpectState(87, U8(LoadString("IDS_INSTALL_ERROR")), 50);
  EXPECT_FALSE(Exists(Path("tpl")));  // rolled back before it was posted
}

TEST_F(WorkerThreadTest, StopBeforeTheFirstPassRunsNothing) {
  Watch("");
  Gate gate;
  g_startGate = &gate;
  WorkerThread::SetCreateFunctionForTesting(&HeldCreate);
  ASSERT_EQ(thread_->Start(&state_), 0);
  thread_->Stop();
  gate.Open();
  thread_->Join();
  EXPECT_EQ(runs_.load(), 0);
  ExpectState(0, "prepare", 0);
}

TEST_F(WorkerThreadTest, StopDuringARunLetsItFinish) {
  Watch("", Path("tpl/a.txt"));
  thread_->SetFinishPause(0);
  ASSERT_EQ(thread_->Start(&state_), 0);
  inRun_.Wait();
  thread_->Stop();
  resume_.Open();
  thread_->Join();
  EXPECT_EQ(runs_.load(), 1);
  ExpectState(0, U8(LoadString("IDS_INSTALL_FINISH")), 100);
  EXPECT_EQ(Slurp(Path("tpl/a.txt")), "alpha");
}

// With an hour-long closing pause, Join only returns because Stop cuts the
// pause short.
TEST_F(WorkerThreadTest, StopEndsTheClosingPause) {
  thread_->SetFinishPause(3600 * 1000);
  ASSERT_EQ(thread_->Start(&state_), 0);
  std::uint32_t percent = 0;
  while (percent < 100) state_.Read(nullptr, nullptr, &percent);
  thread_->Stop();
  thread_->Join();
  EXPECT_EQ(Slurp(Path("tpl/a.txt")), "alpha");
}

TEST_F(WorkerThreadTest, FailedStartPostsAFailure) {
  WorkerThread::SetCreateFunctionForTesting(&FailingCreate);
  EXPECT_EQ(thread_->Start(&state_), EAGAIN);
  EXPECT_EQ(thread_->creationResult(), EAGAIN);
  thread_->Join();  // nothing to wait for
  ExpectState(kErrorInvalidParameter, U8(LoadString("IDS_INSTALL_ERROR")), 0);
}

TEST_F(WorkerThreadTest, DestructorWaitsForTheRun) {
  WorkerThread().Join();  // never started: nothing to wait for
  {
    WorkerThread local;
    thread_ = &local;
    Watch("");
    local.SetFinishPause(0);
    ASSERT_EQ(local.Start(&state_), 0);
  }
  SetFaultHook({});
  EXPECT_EQ(runs_.load(), 1);
  EXPECT_EQ(Slurp(Path("tpl/a.txt")), "alpha");
}

}  // namespace
}  // namespace ordx
