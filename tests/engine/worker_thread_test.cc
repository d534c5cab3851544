// The worker thread: one run per start, whether it succeeds or fails; Stop
// before the first pass and during the closing pause; a thread that cannot
// be created. Meant to run clean under ThreadSanitizer.
#include "engine/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

#include "engine_test_util.h"
#include "support/deadline.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only

// Thread creation that holds the new thread back until the gate opens.
std::atomic<bool> g_gateOpen{false};
void* (*g_body)(void*) = nullptr;
void* g_argument = nullptr;
int HeldCreate(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*), void* argument) {
  g_body = body;
  g_argument = argument;
  return pthread_create(thread, attributes, [](void*) {
    testsupport::WaitUntil([] { return g_gateOpen.load(); }, "the test to open the start gate");
    return g_body(g_argument);
  }, nullptr);
}

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
    thread_.SetFinishPause(0);
  }
  void TearDown() override {
    WorkerThread::SetCreateFunctionForTesting(nullptr);
    EngineTest::TearDown();
  }

  // Counts runs (each locks the target once) and fails the copy to `failPath`.
  // A second run stops the thread, so a looping thread fails the test.
  void Watch(WorkerThread* thread, const std::string& failPath) {
    SetFaultHook([=, this, fail = W(failPath)](FileOp op, const WideString& p) {
      if (op == FileOp::kLock && runs_.fetch_add(1) == 1) thread->Stop();
      return op == FileOp::kCreateFile && !failPath.empty() && p.starts_with(fail.view()) ? 87u : 0u;
    });
  }

  std::string Posted() {  // "result text percent"
    ErrorCode result = 0;
    WideString text;
    std::uint32_t percent = 0;
    state_.Read(&result, &text, &percent);
    return std::to_string(result) + " " + U8(text) + " " + std::to_string(percent);
  }

  const std::string finish_ = U8(LoadString("IDS_INSTALL_FINISH"));
  const std::string error_ = U8(LoadString("IDS_INSTALL_ERROR"));
  InstallState state_;
  WorkerThread thread_;
  std::atomic<int> runs_{0};
};

TEST_F(WorkerThreadTest, OneRunPerStartWhetherItSucceedsOrFails) {
  {
    WorkerThread local;  // its destructor waits for the run
    Watch(&local, "");
    local.SetFinishPause(0);
    ASSERT_EQ(local.Start(&state_), 0);
  }
  EXPECT_EQ(runs_.exchange(0), 1);
  EXPECT_EQ(Posted(), "0 " + finish_ + " 100");
  EXPECT_EQ(Slurp(Path("tpl/dir/b.txt")), "beta");

  std::filesystem::remove_all(Path("tpl"));
  Watch(&thread_, Path("tpl/dir/"));
  ASSERT_EQ(thread_.Start(&state_), 0);
  thread_.Join();
  EXPECT_EQ(runs_.load(), 1);
  EXPECT_EQ(Posted(), "87 " + error_ + "\ndir/b.txt 50");  // injected: a place, no reason
  EXPECT_FALSE(std::filesystem::exists(Path("tpl")));  // rolled back before it was posted
}

TEST_F(WorkerThreadTest, StopBeforeTheFirstPassRunsNothing) {
  Watch(&thread_, "");
  WorkerThread::SetCreateFunctionForTesting(&HeldCreate);
  ASSERT_EQ(thread_.Start(&state_), 0);
  thread_.Stop();
  g_gateOpen.store(true);
  thread_.Join();
  EXPECT_EQ(runs_.load(), 0);
  EXPECT_EQ(Posted(), "0 prepare 0");
}

// With an hour-long closing pause, Join returns only because Stop, given
// once the window has read the result, cuts the pause short.
TEST_F(WorkerThreadTest, StopEndsTheClosingPause) {
  thread_.SetFinishPause(3600 * 1000);
  ASSERT_EQ(thread_.Start(&state_), 0);
  std::uint32_t percent = 0;
  ASSERT_TRUE(testsupport::WaitUntil([&] { return state_.Read(nullptr, nullptr, &percent), percent >= 100; },
                                     "the worker to post 100 percent"));
  thread_.Stop();
  thread_.Join();
  EXPECT_EQ(Posted(), "0 " + finish_ + " 100");
}

TEST_F(WorkerThreadTest, FailedStartPostsAFailure) {
  WorkerThread::SetCreateFunctionForTesting(
      [](pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; });
  EXPECT_EQ(thread_.Start(&state_), EAGAIN);
  EXPECT_EQ(thread_.creationResult(), EAGAIN);
  thread_.Join();  // nothing to wait for
  EXPECT_EQ(Posted(), "87 " + error_ + " 0");
}

}  // namespace
}  // namespace ordx
