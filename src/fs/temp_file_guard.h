// The one owner of a temporary file that is written before it is renamed
// into place: removed on every way out unless the rename went through.
#pragma once

#include <unistd.h>

#include <string>
#include <utility>

namespace ordx {

class TempFileGuard {
 public:
  // `path` as the system takes it (bytes, not text): the kit tool's output
  // path need not be valid in any encoding.
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;

  // The file now lives under its final name: it stays.
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace ordx
