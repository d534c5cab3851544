// Window tests: the driver of tools/, and a skip where no display is.
#pragma once

#include <gtest/gtest.h>

#include "window_driver.h"

#define ORDX_REQUIRE_DISPLAY() \
  if (!::ordx::guitest::DisplayAvailable()) GTEST_SKIP() << "needs an X display (Xvfb)"
