// CWnd: the smallest window-like base. Message boxes ask their owner for a
// title through it, so the owner need not be a GTK object (a headless run
// has none).
#pragma once

#include "text/cow_string.h"

namespace ordx {

class CWnd {
 public:
  virtual ~CWnd() = default;
  // The title a message box owned by this window carries.
  virtual WideString GetTitle() const = 0;
};

}  // namespace ordx
