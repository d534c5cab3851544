// Shared piece of the starter-file tests: a private HOME and TMPDIR in a UTF-8 locale.
#pragma once

#include "fs/file_layer.h"
#include "support/deadline.h"
#include "support/scoped_locale.h"
#include "support/temp_tree.h"

namespace ordx::testsupport {

class TempHomeTest : public TempTreeTest {
 protected:
  TempHomeTest() : TempTreeTest({.privateHome = true}) {}
  ~TempHomeTest() override { SetFaultHook(FaultHook()); }
  WideString Path(const std::string& name) const { return W((home_ / name).string()); }
  const ScopedLocale utf8_{"C.UTF-8"};
};

}  // namespace ordx::testsupport
