// The cancel signals: a handler that sets one flag, read by the window
// thread's loops.
#include "app/cancel_signals.h"

#include <signal.h>

#include <atomic>

namespace ordx {
namespace {

// Lock-free, so the handler may set it.
std::atomic<bool> g_cancelRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void RequestCancel(int) { g_cancelRequested.store(true, std::memory_order_relaxed); }

}  // namespace

void InstallCancelSignals() {
  struct sigaction action {};
  action.sa_handler = RequestCancel;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool CancelRequested() { return g_cancelRequested.load(std::memory_order_relaxed); }

const std::atomic<bool>* CancelRequestFlag() { return &g_cancelRequested; }

}  // namespace ordx
