// End-to-end runs of the real ordx-install under the X display, driven by
// xdotool key presses the way a user drives it. These tests move the X
// keyboard focus, so ctest runs them one at a time.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/installer_process.h"
#include "ui/installer_harness.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;

// --- With a display, driven by key presses.

class InstallerKeysTest : public InstallerProcessTest {
 protected:
  void SetUp() override {
    const char* display = getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
      GTEST_SKIP() << "needs an X display: DISPLAY is unset (CI runs this under Xvfb)";
    }
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "needs xdotool";
    }
    InstallerProcessTest::SetUp();
  }

  // Waits for a visible window of the installer titled `title` (other
  // tests' windows may carry the same title), focuses the newest one and
  // presses `keys` (xdotool names) through the X test extension. The keys
  // may close the window, so only finding it counts.
  bool PressKeys(const std::string& title, const std::string& keys) const {
    const std::string search = "timeout 60 xdotool search --sync --onlyvisible --pid " +
                               std::to_string(child_) + " --name '^" + title + "$' 2>/dev/null";
    std::string id;
    if (FILE* pipe = popen(search.c_str(), "r")) {
      char line[64];
      while (std::fgets(line, sizeof(line), pipe) != nullptr) id = line;
      pclose(pipe);
    }
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    if (id.empty()) return false;
    std::system(("xdotool windowfocus --sync " + id + " >/dev/null 2>&1").c_str());
    std::system(("xdotool key --delay 100 " + keys + " >/dev/null 2>&1").c_str());
    return true;
  }

  int CountWindows(const std::string& title) const {
    const std::string search = "xdotool search --onlyvisible --pid " + std::to_string(child_) +
                               " --name '^" + title + "$' 2>/dev/null";
    int count = 0;
    if (FILE* pipe = popen(search.c_str(), "r")) {
      char line[64];
      while (std::fgets(line, sizeof(line), pipe) != nullptr) ++count;
      pclose(pipe);
    }
    return count;
  }

  // Waits up to `tenths` tenths of a second for `path` to appear.
  static bool WaitForFile(const std::string& path, int tenths = 600) {
    for (int i = 0; i < tenths; ++i) {
      if (guitest::PathExists(path)) return true;
      usleep(100 * 1000);
    }
    return false;
  }
};

TEST_F(InstallerKeysTest, WizardInstallsWithEnterAndOpensTheDescription) {
  // A stand-in xdg-open records what it was asked to open.
  const std::string bin = sandbox_->root() + "/bin";
  const std::string log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + "'\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  path_ = bin + ":" + path_;

  Start({}, true);
  // Welcome -> directory page.
  ASSERT_TRUE(PressKeys("Installing configuration", "Return"));
  // Next on the directory page installs into the proposed directory. A key
  // that arrives while the previous press is still being shown on the
  // button is dropped by GTK, so press again until the copy has happened.
  bool installed = false;
  for (int attempt = 0; attempt < 10 && !installed; ++attempt) {
    ASSERT_TRUE(PressKeys("Installing configuration", "Return"));
    installed = WaitForFile(sandbox_->mainStarterFile(), 30);
  }
  ASSERT_TRUE(installed);
  // Finish, with the description box ticked.
  bool ended = false;
  for (int attempt = 0; attempt < 10 && !ended; ++attempt) {
    if (!PressKeys("Installing configuration", "Return")) break;
    ended = WaitForFile(log, 30);
  }
  const Outcome outcome = Wait();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->defaultTarget() + "TradeLite/2.1.4/manifest.ini"),
            guitest::StandardKitFiles()[0].bytes);
  EXPECT_EQ(guitest::ReadFileBytes(log),
            sandbox_->defaultTarget() + "TradeLite/2.1.4/docs/readme_en.html\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerKeysTest, EscapeAndYesLeaveEverythingAsItWas) {
  Start({}, true);
  // Escape asks the cancel question in a second window of the same title.
  bool asked = false;
  for (int attempt = 0; attempt < 10 && !asked; ++attempt) {
    ASSERT_TRUE(PressKeys("Installing configuration", "Escape"));
    for (int i = 0; i < 30 && !asked; ++i) {
      asked = CountWindows("Installing configuration") >= 2;
      if (!asked) usleep(100 * 1000);
    }
  }
  ASSERT_TRUE(asked);
  // Alt+Y answers Yes, which closes both windows.
  bool closed = false;
  for (int attempt = 0; attempt < 10 && !closed; ++attempt) {
    if (!PressKeys("Installing configuration", "alt+y")) break;
    for (int i = 0; i < 30 && !closed; ++i) {
      closed = CountWindows("Installing configuration") == 0;
      if (!closed) usleep(100 * 1000);
    }
  }
  const Outcome outcome = Wait();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerKeysTest, MissingKitShowsOneMessageAndNoWizard) {
  fs::remove(sandbox_->kitPath());
  Start({}, true);
  // The message box is the only window; OK ends the program.
  ASSERT_TRUE(PressKeys("Installing configuration", "Return"));
  const Outcome outcome = Wait();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
}

}  // namespace
}  // namespace ordx
