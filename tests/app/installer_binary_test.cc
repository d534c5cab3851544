// The real ordx-install in a sandbox (copied beside the standard kit, HOME
// and TMPDIR private, its output captured): headless, the silent run's
// statuses and messages, signals and a killed run; under the display, the
// wizard driven by xdotool key presses (ctest runs this suite alone).
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/failure_cases.h"
#include "support/deadline.h"
#include "support/installer_harness.h"
#include "support/kit_builder.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::ReadFileBytes, guitest::PathExists;

class InstallerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = std::make_unique<guitest::Sandbox>();
    fs::copy_file(ORDX_INSTALL_BINARY, sandbox_->kitDir() + "/ordx-install");
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  // Starts the program in the kit folder with `args` and a clean environment
  // (HOME as now set; `display`: the X server's name and authority).
  pid_t Start(const std::string& args, bool display = false) {
    std::string env = "HOME='" + std::string(getenv("HOME")) + "' TMPDIR='" + sandbox_->tmp() +
        "' LC_ALL=" + locale_ + " PATH='" + path_ + "' LSAN_OPTIONS=suppressions=" ORDX_SUPPRESSIONS_DIR "/lsan.supp";
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      if (display && getenv(name) != nullptr) env += std::string(" ") + name + "='" + getenv(name) + "'";
    }
    const std::string command = "exec env -i " + env + " ./ordx-install " + args + " </dev/null >../stdout 2>../stderr";
    const pid_t pid = fork();
    if (pid == 0) execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr)), _exit(127);
    return pid;
  }
  // The exit status, or -signal; a hang is killed after two minutes.
  static int Wait(pid_t pid) {
    int status = 0;
    if (!testsupport::WaitForChild(pid, &status, 120)) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  int Run(const std::string& args) { return Wait(Start(args)); }
  std::string Out() const { return ReadFileBytes(sandbox_->root() + "/stdout"); }
  std::string Err() const { return ReadFileBytes(sandbox_->root() + "/stderr"); }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::string path_ = "/usr/local/bin:/usr/bin:/bin";
  std::string locale_ = "C.UTF-8";
};

// Under the C locale a home named in UTF-8 is installed into and registered
// with its own bytes; a starter file that is a FIFO is left alone without
// blocking, and the run says so with status 4.
TEST_F(InstallerProcessTest, SilentRunUnderCLocaleKeepsBytesAndReportsFailedRegistration) {
  locale_ = "C";
  const std::string home = sandbox_->root() + "/h\xC3\xB6me";
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(Run("/S"), 0);
  EXPECT_EQ(Err(), "");
  const std::string target = home + "/.ordx/Ordo/ordx/tmplts";
  guitest::ExpectStandardFilesIn(target + "/");
  const std::string starter = home + "/.Ordo/ordolaunch/ordolaunch.cfg";
  EXPECT_EQ(ReadFileBytes(starter), "ConfigurationTemplatesLocation=" + target + "\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  fs::remove(starter);
  ASSERT_EQ(mkfifo(starter.c_str(), 0600), 0);
  EXPECT_EQ(Run("-s"), 4);
  EXPECT_EQ(Err(), "The templates were installed, but the starter configuration could not be updated.\n");
  EXPECT_TRUE(fs::is_fifo(starter));
}

// Every failure says on one line of standard error what failed, where and
// why; the copy is rolled back, or nothing was touched at all.
TEST_F(InstallerProcessTest, FailuresSayWhatFailedWhereAndWhy) {
  for (std::size_t i = 0; i < failtest::FailureCases(*sandbox_).size(); ++i) {
    sandbox_.reset();
    SetUp();
    const failtest::FailureCase c = failtest::FailureCases(*sandbox_)[i];
    SCOPED_TRACE(c.name);
    failtest::Held held;
    if (const std::string skip = c.spoil(*sandbox_, &held); !skip.empty()) {
      std::printf("[  SKIPPED ] %s: %s\n", c.name, skip.c_str());
      continue;
    }
    const auto before = guitest::Snapshot(sandbox_->home());
    EXPECT_EQ(Run("usecwd /Silent"), c.stage == failtest::Stage::kCopy ? 2 : 1);
    EXPECT_EQ(Err(), failtest::ConsoleText(c));
    EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
    EXPECT_FALSE(PathExists(sandbox_->kitDir() + "/TradeLite"));
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

// "--version" alone prints the version; beside other arguments it is
// ignored. Without a display an interactive run refuses on one line.
TEST_F(InstallerProcessTest, VersionAloneAndNoDisplayRefusal) {
  for (const auto& [args, status, installs] : {std::tuple{"--version", 0, false}, {"--version /S", 0, true},
           {"/S --version", 0, true}, {"usecwd --version", 1, false}, {"--version --version", 1, false}, {"", 1, false}}) {
    SCOPED_TRACE(args);
    fs::remove_all(sandbox_->home() + "/.Ordo");
    EXPECT_EQ(Run(args), status);
    EXPECT_EQ(Out(), std::string(args) == "--version" ? "ordx-install " ORDX_EXPECTED_VERSION "\n" : "");
    EXPECT_EQ(PathExists(sandbox_->mainStarterFile()), installs);
    EXPECT_EQ(Err().find('\n'), status != 0 ? Err().size() - 1 : std::string::npos) << Err();
    EXPECT_EQ(Err().find("/S") != std::string::npos, status != 0) << Err();
  }
}

// Signals mid-copy roll back (exit 3, the tree as before, TMPDIR empty); a
// kill leaves the transaction, which the next run undoes and installs over.
TEST_F(InstallerProcessTest, SignalsMidCopyRollBackAndAKillIsRecovered) {
  kittest::KitBuilder kit;  // many small files: a copy long enough to be hit
  kit.SetSingle(u"Many", u"Vendor", u"");
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "many\\d" + std::string(1, char('a' + i % 26)) + "\\f" + std::to_string(i);
    kit.AddFile(std::u16string(name.begin(), name.end()), std::string(2048, char('a' + i % 26)));
  }
  kittest::WriteKit(sandbox_->kitPath(), kit.Build(), 1);
  const std::string target = sandbox_->defaultTarget(), mine = target + "many/dh/f7";
  guitest::WriteFileBytes(mine, "the user's older copy");
  const struct timespec old[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, mine.c_str(), old, 0), 0);
  guitest::WriteFileBytes(target + "mine.txt", "the user's own file");
  const auto before = guitest::Snapshot(target);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    const pid_t pid = Start("/S");
    int status = 0;
    ASSERT_TRUE(testsupport::WaitUntil([&] {
      return PathExists(target + ".ordx-transaction") || waitpid(pid, &status, WNOHANG) == pid;
    }, "the copy to begin"));
    kill(pid, signal);
    EXPECT_EQ(Wait(pid), signal == SIGKILL ? -SIGKILL : 3) << Err();
    if (signal == SIGKILL) break;
    EXPECT_EQ(Err(), "Installation canceled. Template directory has not been changed.\n");
    EXPECT_EQ(guitest::Snapshot(target), before);
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
    EXPECT_FALSE(PathExists(sandbox_->mainStarterFile()));
  }
  for (const auto& entry : fs::directory_iterator(sandbox_->tmp())) fs::remove(entry.path());
  EXPECT_EQ(Run("/S"), 0);
  EXPECT_EQ(Err(), "An interrupted installation into this directory was undone.\n");
  EXPECT_EQ(ReadFileBytes(mine), std::string(2048, 'h'));
  EXPECT_EQ(ReadFileBytes(target + "mine.txt"), "the user's own file");
  EXPECT_FALSE(PathExists(target + ".ordx-transaction"));
}

// Enter through the wizard installs into the proposed directory and Finish,
// the box ticked, opens the description with xdg-open.
TEST_F(InstallerProcessTest, WizardInstallsWithEnterAndOpensTheDescription) {
  if (getenv("DISPLAY") == nullptr || std::system("command -v xdotool >/dev/null") != 0) {
    GTEST_SKIP() << "needs an X display (Xvfb) and xdotool";
  }
  const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + "'\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  path_ = bin + ":" + path_;
  const pid_t pid = Start("", true);
  // Presses Enter in the wizard until `path` exists: GTK drops a key that
  // arrives while a button still shows the previous press.
  const auto enterUntil = [](const std::string& path) {
    return testsupport::WaitUntil([&] {
      std::system("xdotool search --onlyvisible --name '^Installing configuration$' "
                  "windowfocus --sync key Return >/dev/null 2>&1");
      usleep(300 * 1000);
      return PathExists(path);
    }, "Enter to reach " + path);
  };
  ASSERT_TRUE(enterUntil(sandbox_->mainStarterFile()));  // welcome, directory page
  EXPECT_TRUE(enterUntil(log));                          // Finish
  EXPECT_EQ(Wait(pid), 0);
  guitest::ExpectStandardFilesIn(sandbox_->defaultTarget());
  EXPECT_EQ(ReadFileBytes(log), sandbox_->defaultTarget() + "TradeLite/2.1.4/docs/readme_en.html\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

}  // namespace
}  // namespace ordx
