// Switches the process to one named locale for a scope, after the first
// conversion has fixed the environment's, and back.
#pragma once

#include <clocale>
#include <string>

#include "text/convert.h"

namespace ordx {

class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name)
      : saved_((EnsureEnvironmentLocale(), std::setlocale(LC_ALL, nullptr))),
        ok_(std::setlocale(LC_ALL, name) != nullptr) {}
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  // False when the locale is not installed; the scope then changed nothing.
  bool ok() const { return ok_; }

 private:
  const std::string saved_;
  const bool ok_;
};

}  // namespace ordx
