// The real ordx-install binary in a sandbox (the program copied beside the
// standard kit, HOME and TMPDIR private, standard error captured): without a
// display, the silent run's exit statuses and messages and the interactive
// run's refusal; under the display, the wizard driven by xdotool key
// presses. The key tests move the X keyboard focus, so ctest runs them alone.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/failure_cases.h"
#include "support/deadline.h"
#include "support/installer_harness.h"
#include "support/kit_builder.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;

class InstallerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = std::make_unique<guitest::Sandbox>();
    fs::copy_file(ORDX_INSTALL_BINARY, sandbox_->kitDir() + "/ordx-install");  // beside the kit
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  void TearDown() override {
    if (runner_.joinable()) runner_.join();
    sandbox_.reset();
  }

  // Starts the program with `args` on a thread of its own, in a clean
  // environment; a run that hangs is killed after a generous limit (a safety
  // net, not a speed check).
  void Start(const std::string& args, bool withDisplay) {
    // The X server's name and, where it asks for one, its authority file:
    // without XAUTHORITY a server started by xvfb-run -a refuses the window.
    std::string xenv;
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
      const char* value = getenv(name);
      if (withDisplay && value != nullptr) xenv += std::string(" ") + name + "='" + value + "'";
    }
    const std::string command =
        "cd '" + sandbox_->kitDir() + "' && exec timeout -s KILL 120 env -i HOME='" +
        (home_.empty() ? sandbox_->home() : home_) + "' TMPDIR='" + sandbox_->tmp() +
        "' LC_ALL=" + locale_ + " PATH='" + path_ +
        "' LSAN_OPTIONS=suppressions=" ORDX_SUPPRESSIONS_DIR "/lsan.supp" + xenv +
        " ./ordx-install " + args + " </dev/null >'" + sandbox_->root() + "/stdout' 2>'" +
        sandbox_->root() + "/stderr'";
    runner_ = std::thread([this, command] { status_ = std::system(command.c_str()); });
  }
  // The exit status of the program started last.
  int Wait() {
    runner_.join();
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  std::string Out() const { return guitest::ReadFileBytes(sandbox_->root() + "/stdout"); }
  std::string Err() const { return guitest::ReadFileBytes(sandbox_->root() + "/stderr"); }
  // A headless run with `args`: the exit status.
  int Run(const std::string& args) {
    Start(args, false);
    return Wait();
  }
  void ExpectNothingLeft() {
    EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
    EXPECT_FALSE(guitest::PathExists(sandbox_->kitDir() + "/TradeLite"));  // nor in the cwd
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));  // unpacked kit and backups gone
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::string path_ = "/usr/local/bin:/usr/bin:/bin";
  std::string home_;  // HOME of the child when not the sandbox's
  std::string locale_ = "C.UTF-8";
  std::thread runner_;
  int status_ = -1;
};

TEST_F(InstallerProcessTest, HeadlessSilentRunInstallsAndRegisters) {
  EXPECT_EQ(Run("/S"), 0);
  EXPECT_EQ(Err(), "");
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    std::string name(file.name.begin(), file.name.end());  // ASCII names
    std::replace(name.begin(), name.end(), '\\', '/');
    EXPECT_EQ(guitest::ReadFileBytes(sandbox_->defaultTarget() + name), file.bytes) << name;
  }
  const std::string target = sandbox_->defaultTarget();
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->mainStarterFile()),
            "ConfigurationTemplatesLocation=" + target.substr(0, target.size() - 1) + "\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerProcessTest, HeadlessPreparationFailuresEndWithStatusOne) {
  fs::remove(sandbox_->kitPath());
  EXPECT_EQ(Run("-s"), 1);
  EXPECT_EQ(Err(), "Distribution kit file ordx.dkt not found.\n");
  ExpectNothingLeft();
  guitest::WriteFileBytes(sandbox_->kitPath(), "not a kit");
  EXPECT_EQ(Run("/S"), 1);
  EXPECT_EQ(Err(), "Distribution kit file ordx.dkt corrupted or not designed for this "
                   "installation program.\n");
  ExpectNothingLeft();
  // A home directory that reads as an address leaves no directory to propose.
  guitest::WriteStandardKit(sandbox_->kitPath());
  home_ = sandbox_->root() + "/ftp://h";
  fs::create_directories(home_);
  EXPECT_EQ(Run("/Silent"), 1);
  EXPECT_EQ(Err(), "Installation of templates to the current directory is not supported.\n");
  ExpectNothingLeft();
  EXPECT_TRUE(fs::is_empty(home_));
}

// Every failure a user can meet says on one line of standard error what
// failed, where (quoted) and why; the copy is rolled back, or nothing was
// touched at all. The window's error box is checked on the same table.
TEST_F(InstallerProcessTest, HeadlessFailuresSayWhatFailedWhereAndWhy) {
  for (const failtest::FailureCase& c : failtest::FailureCases()) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    failtest::Mounts mounts;
    const std::string skip = c.spoil(*sandbox_, &mounts);
    if (!skip.empty()) {
      std::printf("[  SKIPPED ] %s: %s\n", c.name, skip.c_str());
      continue;
    }
    const auto before = guitest::Snapshot(sandbox_->home());
    EXPECT_EQ(Run("usecwd /S"), c.stage == failtest::Stage::kCopy ? 2 : 1);
    EXPECT_EQ(Err(), failtest::ConsoleText(c, *sandbox_));
    EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

TEST_F(InstallerProcessTest, VersionOnlyAsTheSoleArgument) {
  // Anywhere but alone, "--version" is an ignored argument: the run is what
  // the other arguments make it.
  struct Case {
    const char* args;
    int status;
    bool printsVersion;
    bool installs;
  };
  for (const Case& c : {Case{"--version", 0, true, false}, Case{"--version /S", 0, false, true},
                        Case{"/S --version", 0, false, true}, Case{"usecwd --version", 1, false, false},
                        Case{"--version --version", 1, false, false}}) {
    SCOPED_TRACE(c.args);
    fs::remove_all(sandbox_->home() + "/.ordx");
    fs::remove_all(sandbox_->home() + "/.Ordo");
    EXPECT_EQ(Run(c.args), c.status);
    EXPECT_EQ(Out(), c.printsVersion ? "ordx-install " ORDX_EXPECTED_VERSION "\n" : "");
    EXPECT_EQ(guitest::PathExists(sandbox_->mainStarterFile()), c.installs);
    EXPECT_EQ(Err().empty(), c.status == 0) << Err();  // only the no-display refusal speaks
  }
}

// Under the C locale a home folder named in UTF-8 is installed into and
// registered with its own bytes. A starter file that is a FIFO is left alone
// without blocking; the run says so and ends with status 4.
TEST_F(InstallerProcessTest, HeadlessRunUnderCLocaleKeepsBytesAndReportsFailedRegistration) {
  locale_ = "C";
  home_ = sandbox_->root() + "/h\xC3\xB6me";
  fs::create_directories(home_);
  EXPECT_EQ(Run("/S"), 0);
  EXPECT_EQ(Err(), "");
  const std::string target = home_ + "/.ordx/Ordo/ordx/tmplts";
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    std::string name(file.name.begin(), file.name.end());  // ASCII names
    std::replace(name.begin(), name.end(), '\\', '/');
    EXPECT_EQ(guitest::ReadFileBytes(target + "/" + name), file.bytes) << name;
  }
  const std::string starter = home_ + "/.Ordo/ordolaunch/ordolaunch.cfg";
  EXPECT_EQ(guitest::ReadFileBytes(starter), "ConfigurationTemplatesLocation=" + target + "\n");
  for (const auto& entry : fs::directory_iterator(sandbox_->root()))  // no "h??me" beside it
    EXPECT_EQ(entry.path().filename().string().find('?'), std::string::npos) << entry.path();

  fs::remove(starter);
  ASSERT_EQ(mkfifo(starter.c_str(), 0600), 0);
  EXPECT_EQ(Run("/S"), 4);
  EXPECT_EQ(Err(),
            "The templates were installed, but the starter configuration could not be updated.\n");
  EXPECT_TRUE(fs::is_fifo(starter));
}

TEST_F(InstallerProcessTest, InteractiveRunWithoutDisplaySaysSoOnOneLine) {
  EXPECT_NE(Run(""), 0);
  const std::string err = Err();
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_NE(err.find("/S"), std::string::npos);
  ExpectNothingLeft();
}

// A kit of many small files, so that a copy lasts long enough to be hit.
constexpr int kManyFiles = 3000;
std::string ManyName(int i) { return "many/d" + std::to_string(i % 30) + "/f" + std::to_string(i); }
void WriteManyKit(const std::string& path) {
  kittest::KitBuilder builder;
  builder.SetSingle(u"Many", u"Vendor", u"");
  for (int i = 0; i < kManyFiles; ++i) {
    std::string name = ManyName(i);
    std::replace(name.begin(), name.end(), '/', '\\');
    builder.AddFile(std::u16string(name.begin(), name.end()), std::string(2048, char('a' + i % 26)));
  }
  kittest::WriteKit(path, builder.Build(), 1);
}

// Starts the real program silently without a display (its pid is ours to
// signal) and returns the pid.
pid_t Spawn(const guitest::Sandbox& sandbox) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(sandbox.kitDir().c_str()) != 0) _exit(126);
    const int err = open((sandbox.root() + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err, 2);
    const std::string home = "HOME=" + sandbox.home(), tmp = "TMPDIR=" + sandbox.tmp();
    const char* const env[] = {home.c_str(), tmp.c_str(), "LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin",
                               "LSAN_OPTIONS=suppressions=" ORDX_SUPPRESSIONS_DIR "/lsan.supp",
                               nullptr};
    execle("./ordx-install", "ordx-install", "/S", static_cast<char*>(nullptr), env);
    _exit(127);
  }
  return pid;
}

// Waits until `path` exists (true) or the child ended first (false).
bool AwaitPath(pid_t pid, const std::string& path) {
  for (int i = 0; i < 60000; ++i, usleep(1000)) {
    if (guitest::PathExists(path)) return true;
    if (waitpid(pid, nullptr, WNOHANG) == pid) return false;
  }
  return false;
}

// Signals mid-copy roll back (exit 3, the tree as before, nothing left in
// TMPDIR); a kill leaves the transaction, which the next run undoes and
// then installs over.
TEST_F(InstallerProcessTest, SignalsMidCopyRollBackAndAKillIsRecovered) {
  WriteManyKit(sandbox_->kitPath());
  const std::string target = sandbox_->defaultTarget();
  guitest::WriteFileBytes(target + ManyName(7), "the user's older copy");
  const struct timespec old[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (target + ManyName(7)).c_str(), old, 0), 0);
  guitest::WriteFileBytes(target + "mine.txt", "the user's own file");
  const auto before = guitest::Snapshot(target);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    const pid_t pid = Spawn(*sandbox_);
    ASSERT_TRUE(AwaitPath(pid, target + ".ordx-transaction")) << Err();
    kill(pid, signal);
    int status = 0;
    ASSERT_TRUE(testsupport::WaitForChild(pid, &status)) << "after the signal";
    if (signal == SIGKILL) break;
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_TRUE(WEXITSTATUS(status) == 3) << status;
    EXPECT_EQ(Err(), "Installation canceled. Template directory has not been changed.\n");
    EXPECT_EQ(guitest::Snapshot(target), before);
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
    EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
  }
  for (const auto& entry : fs::directory_iterator(sandbox_->tmp())) fs::remove(entry.path());
  EXPECT_EQ(Run("/S"), 0);
  EXPECT_EQ(Err(), "An interrupted installation into this directory was undone.\n");
  EXPECT_EQ(guitest::ReadFileBytes(target + ManyName(7)), std::string(2048, char('a' + 7)));
  EXPECT_EQ(guitest::ReadFileBytes(target + "mine.txt"), "the user's own file");
  EXPECT_FALSE(guitest::PathExists(target + ".ordx-transaction"));
}

// A second installer finds the target locked: it says so, exits 1 and
// changes nothing.
TEST_F(InstallerProcessTest, HeadlessRunIntoABusyTargetChangesNothing) {
  const std::string target = sandbox_->defaultTarget();
  fs::create_directories(target);
  const auto before = guitest::Snapshot(sandbox_->home());
  const int held = open(target.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  EXPECT_EQ(Run("/S"), 1);
  close(held);
  EXPECT_EQ(Err(), "Another installation into this directory is running. Try again when it has "
                   "finished.\n");
  EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

class InstallerKeysTest : public InstallerProcessTest {
 protected:
  void SetUp() override {
    if (getenv("DISPLAY") == nullptr || std::system("command -v xdotool >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "needs an X display (Xvfb) and xdotool";
    }
    InstallerProcessTest::SetUp();
  }

  // Focuses the newest window titled "Installing configuration" and presses
  // `key` (xdotool name); false when no such window appears. With `path`,
  // presses again until it exists: GTK drops a key that arrives while a
  // button still shows the previous press.
  bool Press(const std::string& key, const std::string& path = "") const {
    for (int attempt = 0; attempt < 10; ++attempt) {
      std::string id;
      // No other window test runs beside this suite (RUN_SERIAL).
      if (FILE* pipe = popen("timeout 60 xdotool search --sync --onlyvisible --name "
                             "'^Installing configuration$' 2>/dev/null", "r")) {
        for (char line[64]; std::fgets(line, sizeof(line), pipe) != nullptr;) id = line;
        pclose(pipe);
      }
      if (id.empty()) return false;
      id.pop_back();  // the line feed
      std::system(("xdotool windowfocus --sync " + id + " >/dev/null 2>&1").c_str());
      std::system(("xdotool key --delay 100 " + key + " >/dev/null 2>&1").c_str());
      for (int i = 0; i < 30 && !path.empty(); ++i, usleep(100 * 1000)) {
        if (guitest::PathExists(path)) return true;
      }
      if (path.empty()) return true;
    }
    return false;
  }
};

TEST_F(InstallerKeysTest, WizardInstallsWithEnterAndOpensTheDescription) {
  // A stand-in xdg-open records what it was asked to open.
  const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + "'\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  path_ = bin + ":" + path_;
  Start("", true);
  ASSERT_TRUE(Press("Return"));  // welcome -> directory page
  // Next on the directory page installs into the proposed directory.
  ASSERT_TRUE(Press("Return", sandbox_->mainStarterFile()));
  EXPECT_TRUE(Press("Return", log));  // Finish, the box ticked
  EXPECT_EQ(Wait(), 0);
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->defaultTarget() + "TradeLite/2.1.4/manifest.ini"),
            guitest::StandardKitFiles()[0].bytes);
  EXPECT_EQ(guitest::ReadFileBytes(log),
            sandbox_->defaultTarget() + "TradeLite/2.1.4/docs/readme_en.html\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));  // the unpacked kit is deleted
}

}  // namespace
}  // namespace ordx
