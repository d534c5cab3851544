// Tests of the shared install state and its semaphore lock: job and progress
// semantics, one Post never seen half by Read, and waits interrupted by
// signals.
#include "engine/install_state.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "text/convert.h"

namespace ordx {
namespace {

KitReader* const kSomeKit = reinterpret_cast<KitReader*>(0x1000);

TEST(InstallStateTest, JobAndOutcome) {
  InstallState state;
  const char16_t* const cases[][2] = {{u"/srv/templates", u"/srv/templates/"},
                                      {u"/srv/t/", u"/srv/t/"},
                                      {u"C:\\t\\", u"C:\\t\\"},
                                      {u"", u""}};
  for (const auto& c : cases) {
    state.SetJob(kSomeKit, c[0]);
    KitReader* kit = nullptr;
    WideString dir = u"junk";
    state.GetJob(&kit, &dir);
    EXPECT_EQ(kit, kSomeKit);
    EXPECT_TRUE(dir == c[1]) << ToNarrow(dir).c_str();
  }

  // Read returns exactly the last Post; SetJob clears all but the text.
  state.Post(0, u"first", 10);
  state.Post(2, u"Installation error", 40);
  state.SetCancel(true);
  ErrorCode result = 0;
  WideString text;
  std::uint32_t percent = 0;
  state.Read(&result, &text, &percent);
  EXPECT_EQ(result, 2u);
  EXPECT_TRUE(text == u"Installation error");
  EXPECT_EQ(percent, 40u);
  EXPECT_TRUE(state.IsCancelled());
  state.SetJob(kSomeKit, u"/t");
  state.Read(&result, &text, &percent);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(percent, 0u);
  EXPECT_TRUE(text == u"Installation error");
  EXPECT_FALSE(state.IsCancelled());
}

TEST(InstallStateTest, ReadNeverMixesTwoPosts) {
  InstallState state;
  state.Post(0, u"0", 0);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 1; i <= 20000; ++i) {
      // Long enough to live on the heap and be shared across the lock.
      state.Post(0, IntToWide(i % 100, 10) + u"/a/long/path/that/does/not/fit/inline",
                 static_cast<std::uint32_t>(i % 100));
    }
    done.store(true);
  });
  int mixed = 0;
  while (!done.load()) {
    WideString text;
    std::uint32_t percent = 0;
    state.Read(nullptr, &text, &percent);
    const WideString number = text.substr(0, text.find(u'/'));
    mixed += !(number == IntToWide(static_cast<std::int32_t>(percent), 10));
  }
  worker.join();
  EXPECT_EQ(mixed, 0);
}

std::atomic<int> g_signals{0};
void CountSignal(int) { g_signals.fetch_add(1); }

// A signal interrupting a waiting Lock must not let the waiter in while the
// lock is held (entering anyway would also leave the count at 2).
TEST(SemaphoreMutexTest, InterruptedWaitKeepsWaiting) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);  // no SA_RESTART: sem_wait returns EINTR
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

  SemaphoreMutex mutex;
  mutex.Lock();
  EXPECT_EQ(mutex.Value(), 0);
  std::atomic<bool> started{false};
  std::atomic<bool> entered{false};
  std::thread waiter([&] {
    started.store(true);
    mutex.Lock();
    entered.store(true);
    mutex.Unlock();
  });
  while (!started.load()) std::this_thread::yield();
  // Some of these land while the waiter sleeps in sem_wait.
  for (int i = 0; i < 200 && !entered.load(); ++i) {
    pthread_kill(waiter.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const bool enteredWhileHeld = entered.load();
  mutex.Unlock();
  waiter.join();
  sigaction(SIGUSR1, &previous, nullptr);

  EXPECT_GT(g_signals.load(), 0);
  EXPECT_FALSE(enteredWhileHeld);
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(mutex.Value(), 1);
}

}  // namespace
}  // namespace ordx
