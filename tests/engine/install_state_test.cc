// The shared install state and its semaphore lock: job and progress
// semantics, and a wait interrupted by signals.
#include "engine/install_state.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "text/convert.h"

namespace ordx {
namespace {

TEST(InstallStateTest, JobAndOutcome) {
  InstallState state;
  KitReader* const someKit = reinterpret_cast<KitReader*>(0x1000);
  const char* const cases[][2] = {
      {"/srv/t", "/srv/t/"}, {"/srv/t/", "/srv/t/"}, {"C:\\t\\", "C:\\t\\"}, {"", ""}};
  for (const auto& c : cases) {
    state.SetJob(someKit, ToWide(NarrowString(c[0])));
    KitReader* kit = nullptr;
    WideString dir = u"junk";
    state.GetJob(&kit, &dir);
    EXPECT_EQ(kit, someKit);
    EXPECT_STREQ(ToNarrow(dir).c_str(), c[1]);
  }
  // Read returns exactly the last Post; SetJob clears all but the text.
  state.Post(0, u"first", 10);
  state.Post(2, u"Installation error", 40);
  state.SetCancel(true);
  for (const bool afterJob : {false, true}) {
    if (afterJob) state.SetJob(someKit, u"/t");
    ErrorCode result = 9;
    WideString text;
    std::uint32_t percent = 9;
    state.Read(&result, &text, &percent);
    EXPECT_EQ(result, afterJob ? 0u : 2u);
    EXPECT_EQ(percent, afterJob ? 0u : 40u);
    EXPECT_STREQ(ToNarrow(text).c_str(), "Installation error");
    EXPECT_EQ(state.IsCancelled(), !afterJob);
  }
}

std::atomic<int> g_signals{0};

// A signal interrupting a waiting Lock must not let the waiter in while the
// lock is held, nor leave the lock open twice afterwards.
TEST(SemaphoreMutexTest, InterruptedWaitKeepsWaiting) {
  struct sigaction action {}, previous {};
  action.sa_handler = [](int) { g_signals.fetch_add(1); };  // no SA_RESTART: sem_wait sees EINTR
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  SemaphoreMutex mutex;
  mutex.Lock();
  std::atomic<bool> entered{false};
  std::thread waiter([&] {
    mutex.Lock();
    entered.store(true);
    mutex.Unlock();
  });
  for (int i = 0; i < 200 && !entered.load(); ++i) {  // some land while it sleeps in sem_wait
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
