// The driver's failures become failures of the running test.
#include "support/gui_test_support.h"

namespace {
[[maybe_unused]] const bool reporting = [] {
  ordx::guitest::SetFailureReporter([](const std::string& what) { ADD_FAILURE() << what; });
  return true;
}();
}  // namespace
