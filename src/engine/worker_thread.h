// The worker thread that runs installations for the window thread. It runs
// one installation per wizard: once a run has posted its final result the
// thread ends, and Join lets the window wait for it before the process ends.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "fs/file_layer.h"

namespace ordx {

class InstallState;

class WorkerThread {
 public:
  WorkerThread() = default;
  // Joins a thread that is still running.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the thread on `state`. Returns 0 or the POSIX error; on an error
  // a failure result is posted to `state`, so a waiting window sees it.
  int Start(InstallState* state);
  // Asks the thread to end after the run in progress (a single atomic store).
  void Stop();
  // Waits for the thread to end; no-op when it never started.
  void Join();
  int creationResult() const { return creationResult_; }
  // How long a successful run keeps 100 percent on screen (default one
  // second); Stop ends that pause early. Set before Start.
  void SetFinishPause(std::uint32_t ms) { finishPauseMs_ = ms; }

  // Test seam: the function that creates the thread (pthread_create unless
  // replaced; null restores it).
  using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static void SetCreateFunctionForTesting(CreateFunction create);

 private:
  static void* Body(void* self);

  InstallState* state_ = nullptr;
  std::atomic<bool> stop_{false};
  pthread_t thread_{};
  int creationResult_ = -1;
  bool joined_ = false;
  std::uint32_t finishPauseMs_ = 1000;
};

}  // namespace ordx
