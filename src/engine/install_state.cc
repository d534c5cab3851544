// The state shared by the window thread and the install worker. Every access
// copies fields inside one short locked section; nothing else is locked
// meanwhile, so there is no lock order to keep.
#include "engine/install_state.h"

#include <cerrno>
#include <cstdlib>

#include "fs/path.h"

namespace ordx {

SemaphoreMutex::SemaphoreMutex() {
  // Fails only for values above SEM_VALUE_MAX.
  ::sem_init(&sem_, /*pshared=*/0, 1);
}

SemaphoreMutex::~SemaphoreMutex() { ::sem_destroy(&sem_); }

void SemaphoreMutex::Lock() {
  while (::sem_wait(&sem_) != 0) {
    // Entering without the lock would let two threads tear the strings.
    if (errno != EINTR) std::abort();
  }
}

void SemaphoreMutex::Unlock() { ::sem_post(&sem_); }

InstallState::InstallState() = default;

InstallState::~InstallState() = default;

void InstallState::SetJob(KitReader* kit, const WideString& targetDir) {
  WideString dir = targetDir;
  if (!dir.empty() && !EndsWithSeparator(dir, Separators::kSlashOrBackslash)) dir += u"/";
  lock_.Lock();
  cancel_ = false;
  result_ = kErrorSuccess;
  percent_ = 0;
  kit_ = kit;
  targetDir_ = dir;
  lock_.Unlock();
}

void InstallState::GetJob(KitReader** kit, WideString* targetDir) {
  lock_.Lock();
  if (kit != nullptr) *kit = kit_;
  if (targetDir != nullptr) *targetDir = targetDir_;
  lock_.Unlock();
}

void InstallState::SetTarget(InstallTarget* target) {
  lock_.Lock();
  target_ = target;
  lock_.Unlock();
}

InstallTarget* InstallState::GetTarget() {
  lock_.Lock();
  InstallTarget* const target = target_;
  lock_.Unlock();
  return target;
}

void InstallState::SetCancel(bool cancel) {
  lock_.Lock();
  cancel_ = cancel;
  lock_.Unlock();
}

bool InstallState::IsCancelled() {
  lock_.Lock();
  const bool cancel = cancel_;
  lock_.Unlock();
  return cancel;
}

void InstallState::Post(ErrorCode result, const WideString& text, std::uint32_t percent) {
  lock_.Lock();
  result_ = result;
  text_ = text;
  percent_ = percent;
  lock_.Unlock();
}

void InstallState::Read(ErrorCode* result, WideString* text, std::uint32_t* percent) {
  lock_.Lock();
  if (result != nullptr) *result = result_;
  if (text != nullptr) *text = text_;
  if (percent != nullptr) *percent = percent_;
  lock_.Unlock();
}

}  // namespace ordx
