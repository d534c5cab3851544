// The threaded parts, clean under TSan: the worker thread (one run per start, Stop, a failed start) and the state it
// shares with the window, whose lock survives signals.
#include "engine/worker_thread.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "engine_test_util.h"
#include "support/deadline.h"
#include "text/string_table.h"

namespace ordx {
namespace {

using namespace enginetest;  // NOLINT: test helpers only

std::string Posted(InstallState& state, ErrorCode result = 0, WideString text = {}, std::uint32_t percent = 0) {
  state.Read(&result, &text, &percent);  // "result text percent"
  return std::to_string(result) + " " + U8(text) + " " + std::to_string(percent);
}

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
    KitReader* kit = OpenKit(kittest::KitBuilder().AddFile(u"a.txt", "alpha", KitTime()).AddFile(u"dir\\b.txt", "beta", KitTime()));
    Put(Path("tpl"), nullptr, 0755, 1000);
    state_.Post(0, u"prepare", 0);
    state_.SetJob(kit, W(Path("tpl")));
    thread_.SetFinishPause(0);
  }
  void TearDown() override {
    WorkerThread::SetCreateFunctionForTesting(nullptr);
    EngineTest::TearDown();
  }
  // Counts runs (each locks the target once), failing the copy to "dir/" when asked; a second run stops the thread.
  void Watch(WorkerThread* thread, bool fail) {
    SetFaultHook([=, this, dir = W(Path("tpl/dir/"))](FileOp op, const WideString& p) {
      if (op == FileOp::kLock && runs_.fetch_add(1) == 1) thread->Stop();
      return fail && op == FileOp::kCreateFile && p.starts_with(dir.view()) ? 87u : 0u;
    });
  }
  const std::string finish_ = U8(LoadString("IDS_INSTALL_FINISH")), error_ = U8(LoadString("IDS_INSTALL_ERROR"));
  InstallState state_;
  WorkerThread thread_;
  std::atomic<int> runs_{0};
};

// One run per start, whether it succeeds or fails; with an hour-long closing pause, the destructor's join returns only
// because Stop cuts the pause short.
TEST_F(WorkerThreadTest, OneRunPerStartAndStopEndsTheClosingPause) {
  {
    WorkerThread local;
    Watch(&local, false);
    local.SetFinishPause(3600 * 1000);
    ASSERT_EQ(local.Start(&state_), 0);
    std::uint32_t percent = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] { return state_.Read(nullptr, nullptr, &percent), percent >= 100; }, "100 percent"));
    local.Stop();
  }
  EXPECT_EQ(runs_.exchange(0), 1);
  EXPECT_EQ(Posted(state_), "0 " + finish_ + " 100");
  EXPECT_EQ(ReadBytes(Path("tpl/dir/b.txt")), "beta");
  std::filesystem::remove_all(Path("tpl"));
  Watch(&thread_, true);
  ASSERT_EQ(thread_.Start(&state_), 0);
  thread_.Join();
  EXPECT_EQ(runs_.load(), 1);
  EXPECT_EQ(Posted(state_), "87 " + error_ + "\ndir/b.txt 50");  // injected: a place, no reason
  EXPECT_FALSE(std::filesystem::exists(Path("tpl")));  // rolled back before it was posted
}

// Stopped before its first pass, the thread runs nothing; a thread that cannot be created posts a failure.
TEST_F(WorkerThreadTest, StopBeforeTheFirstPassAndAFailedStart) {
  Watch(&thread_, false);
  WorkerThread::SetCreateFunctionForTesting(&HeldCreate);
  ASSERT_EQ(thread_.Start(&state_), 0);
  thread_.Stop();
  g_gateOpen.store(true);
  thread_.Join();
  EXPECT_EQ(runs_.load(), 0);
  EXPECT_EQ(Posted(state_), "0 prepare 0");
  WorkerThread failing;
  WorkerThread::SetCreateFunctionForTesting([](pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) { return EAGAIN; });
  EXPECT_EQ(failing.Start(&state_), EAGAIN);
  EXPECT_EQ(failing.creationResult(), EAGAIN);
  failing.Join();
  EXPECT_EQ(Posted(state_), "87 " + error_ + " 0");
}

// The target gets one trailing separator; Read returns exactly the last Post; SetJob clears all but the text.
TEST(InstallStateTest, JobAndOutcome) {
  InstallState state;
  KitReader* const someKit = reinterpret_cast<KitReader*>(0x1000);
  for (const auto& [given, kept] : {std::pair{"/srv/t", "/srv/t/"}, {"/srv/t/", "/srv/t/"}, {"C:\\t\\", "C:\\t\\"}, {"", ""}}) {
    KitReader* kit = nullptr;
    WideString dir = u"junk";
    state.SetJob(someKit, W(given));
    state.GetJob(&kit, &dir);
    EXPECT_EQ(kit, someKit);
    EXPECT_EQ(U8(dir), kept);
  }
  state.Post(0, u"first", 10);
  state.Post(2, u"Installation error", 40);
  state.SetCancel(true);
  EXPECT_EQ(Posted(state), "2 Installation error 40");
  EXPECT_TRUE(state.IsCancelled());
  state.SetJob(someKit, u"/t");
  EXPECT_EQ(Posted(state), "0 Installation error 0");
  EXPECT_FALSE(state.IsCancelled());
}

// A signal interrupting a waiting Lock neither lets the waiter in while the lock is held nor opens it twice.
std::atomic<int> g_signals{0};
TEST(SemaphoreMutexTest, InterruptedWaitKeepsWaiting) {
  struct sigaction action {}, previous {};
  action.sa_handler = [](int) { g_signals.fetch_add(1); };  // no SA_RESTART: sem_wait sees EINTR
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  SemaphoreMutex mutex;
  mutex.Lock();
  std::atomic<bool> entered{false};
  std::thread waiter([&] { mutex.Lock(), entered.store(true), mutex.Unlock(); });
  for (int i = 0; i < 200 && !entered.load(); ++i)  // some land while it sleeps in sem_wait
    pthread_kill(waiter.native_handle(), SIGUSR1), std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const bool enteredWhileHeld = entered.load();
  mutex.Unlock();
  waiter.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GT(g_signals.load(), 0);
  EXPECT_FALSE(enteredWhileHeld);
  EXPECT_TRUE(entered.load());
}

}  // namespace
}  // namespace ordx
