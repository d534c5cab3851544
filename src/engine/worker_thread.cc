// The worker thread: one installation run per Start. The thread ends after
// that run, so a run that posted its final result is never followed by
// another one over the same job.
#include "engine/worker_thread.h"

#include "engine/install_state.h"
#include "engine/install_worker.h"
#include "text/string_table.h"

namespace ordx {

namespace {

std::atomic<WorkerThread::CreateFunction> g_create{&::pthread_create};

}  // namespace

void WorkerThread::SetCreateFunctionForTesting(CreateFunction create) {
  g_create.store(create != nullptr ? create : &::pthread_create);
}

WorkerThread::~WorkerThread() { Join(); }

int WorkerThread::Start(InstallState* state) {
  // Two runs must never work on the same directory at once.
  Join();
  stop_.store(false, std::memory_order_release);
  state_ = state;
  creationResult_ = -1;
  joined_ = false;

  pthread_attr_t attributes;
  int result = ::pthread_attr_init(&attributes);
  if (result == 0) {
    result = g_create.load()(&thread_, &attributes, &WorkerThread::Body, this);
    ::pthread_attr_destroy(&attributes);
  }
  creationResult_ = result;
  if (result != 0 && state != nullptr) {
    // Without a thread nobody would ever post a result for the window to
    // wait for.
    state->Post(kErrorInvalidParameter, LoadString("IDS_INSTALL_ERROR"), 0);
  }
  return result;
}

void WorkerThread::Stop() { stop_.store(true, std::memory_order_release); }

void WorkerThread::Join() {
  if (creationResult_ != 0 || joined_) return;
  ::pthread_join(thread_, nullptr);
  joined_ = true;
}

void* WorkerThread::Body(void* self) {
  WorkerThread* const thread = static_cast<WorkerThread*>(self);
  if (thread->stop_.load(std::memory_order_acquire)) return nullptr;
  InstallWorker worker;
  worker.set_finish_pause_ms(thread->finishPauseMs_);
  // Whatever the outcome, it has been posted (or the run was cancelled):
  // the thread ends here instead of starting another run.
  worker.Run(thread->state_, &thread->stop_);
  return nullptr;
}

}  // namespace ordx
