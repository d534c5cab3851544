// The one record the window thread and the install worker share: the job,
// the progress and the outcome, guarded by a semaphore used as a mutex.
#pragma once

#include <semaphore.h>

#include <cstdint>

#include "fs/file_layer.h"

namespace ordx {

class InstallTarget;
class KitReader;

// A process-private semaphore of initial value 1 used as a mutex. A wait
// interrupted by a signal is repeated, so the locked section is never
// entered without the lock.
class SemaphoreMutex {
 public:
  SemaphoreMutex();
  ~SemaphoreMutex();
  SemaphoreMutex(const SemaphoreMutex&) = delete;
  SemaphoreMutex& operator=(const SemaphoreMutex&) = delete;

  void Lock();
  void Unlock();

 private:
  sem_t sem_;
};

class InstallState {
 public:
  InstallState();
  ~InstallState();
  InstallState(const InstallState&) = delete;
  InstallState& operator=(const InstallState&) = delete;

  // Window thread, once per installation: clears cancel, result and percent,
  // stores the job; a non-empty directory gets a trailing "/" unless it ends
  // with "/" or "\". The text stays as it was.
  void SetJob(KitReader* kit, const WideString& targetDir);
  void GetJob(KitReader** kit, WideString* targetDir);
  // The held target the worker runs under (taken by the window thread
  // before the copy); null lets the worker take one itself. Not owned.
  void SetTarget(InstallTarget* target);
  InstallTarget* GetTarget();
  void SetCancel(bool cancel);
  bool IsCancelled();
  // Worker: result, text and percent in one locked section.
  void Post(ErrorCode result, const WideString& text, std::uint32_t percent);
  // Window thread: the three fields of one Post, never a mix of two.
  void Read(ErrorCode* result, WideString* text, std::uint32_t* percent);

 private:
  SemaphoreMutex lock_;
  KitReader* kit_ = nullptr;
  InstallTarget* target_ = nullptr;
  WideString targetDir_;
  bool cancel_ = false;
  ErrorCode result_ = 0;
  WideString text_;
  std::uint32_t percent_ = 0;
};

}  // namespace ordx
