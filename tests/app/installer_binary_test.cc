// The real ordx-install beside the standard kit in a sandbox: headless, the
// silent run's statuses and messages, failures, signals and a killed run;
// under the display, the wizard driven by xdotool key presses.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "support/deadline.h"
#include "support/installer_harness.h"
#include "kit_forge.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;
using guitest::ReadFileBytes, guitest::PathExists;

// Small file systems and locks held for one case (unmounted lazily: an open file cannot keep them).
struct Held {
  ~Held() {
    for (const std::string& dir : mounts) umount2(dir.c_str(), MNT_DETACH);
    for (const int fd : locks) close(fd);
  }
  // "" or why the tmpfs cannot be mounted (the case is then skipped).
  std::string Tmpfs(const std::string& dir, const char* options, bool readOnly = false) {
    fs::create_directories(dir);
    if (mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options) != 0) return "needs root";
    mounts.push_back(dir);
    return "";
  }
  std::string Lock(const std::string& dir) {  // as another installer holds it
    fs::create_directories(dir);
    locks.push_back(open(dir.c_str(), O_RDONLY | O_DIRECTORY));
    return flock(locks.back(), LOCK_EX) == 0 ? "" : "cannot lock";
  }
  std::vector<std::string> mounts;
  std::vector<int> locks;
};

// The standard kit, `extra` bytes more; `cutShort`: an entry without bytes, its name printf-like.
void WriteKit(const std::string& path, std::size_t extra, bool cutShort = false) {
  kittest::KitBuilder builder;
  builder.SetSingle(u"Trade Lite", u"Northwind Software", u"");
  std::size_t size = extra;
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    builder.AddFile(file.name, file.bytes);
    size += file.bytes.size();
  }
  if (extra != 0) builder.AddFile(u"TradeLite\\2.1.4\\data.bin", std::string(extra, '\0'));
  if (cutShort) builder.AddEntry(u"TradeLite\\2.1.4\\%s%n.cfg", 130013280000000000ull, std::uint32_t(size), 100);
  kittest::WriteKit(path, builder.Build());
}

// The failures a user can meet: the status (1 before the copy, 2 for a copy
// rolled back) and the line that says what failed, where (quoted) and why.
struct FailureCase {
  const char* name;
  int status;
  std::function<std::string(const guitest::Sandbox&, const std::string& target, Held*)> spoil;
  std::string line;  // "{}" stands for the template directory
};
const std::string kError = "Installation error \"";
using Box = guitest::Sandbox;
const FailureCase kFailures[] = {
    {"kit missing", 1, [](const Box& b, auto&, Held*) { return fs::remove(b.kitPath()) ? "" : "no kit"; },
     "Distribution kit file ordx.dkt not found."},
    {"kit damaged", 1, [](const Box& b, auto&, Held*) { return guitest::WriteFileBytes(b.kitPath(), "no"), ""; },
     "Distribution kit file ordx.dkt corrupted or not designed for this installation program."},
    {"kit thrice larger than TMPDIR's free space", 1, [](const Box& b, auto&, Held*) {
       struct statvfs info {};
       statvfs(b.tmp().c_str(), &info);  // a sparse kit, half as large again
       return truncate(b.kitPath().c_str(), off_t(info.f_frsize * info.f_bfree / 2)) == 0 ? "" : "no";
     }, "Insufficient space available in the directory Temp."},
    {"TMPDIR fills while unpacking", 1, [](const Box& b, auto&, Held* h) {
       WriteKit(b.kitPath(), 1024 * 1024);  // a few KiB packed
       return h->Tmpfs(b.tmp(), "size=256k");
     }, "Insufficient space available in the directory Temp."},
    {"TMPDIR read-only", 1, [](const Box& b, auto&, Held* h) { return h->Tmpfs(b.tmp(), "size=1m", true); },
     "The temporary directory cannot be used."},
    // No directory to propose: never the working directory instead.
    {"home reads as an address", 1, [](const Box& b, auto&, Held*) {
       fs::create_directories(b.root() + "/http://h");
       return setenv("HOME", (b.root() + "/http://h").c_str(), 1) == 0 ? "" : "setenv";
     }, "Installation of templates to the current directory is not supported."},
    {"target held by another installer", 1, [](const Box&, auto& t, Held* h) { return h->Lock(t); },
     "Another installation into this directory is running. Try again when it has finished."},
    {"target too small", 1, [](const Box& b, auto& t, Held* h) {
       WriteKit(b.kitPath(), 128 * 1024);
       return h->Tmpfs(t, "size=64k");
     }, "Insufficient space available in the template directory."},
    {"read-only target", 2, [](const Box&, auto& t, Held* h) { return h->Tmpfs(t, "size=64k", true); },
     kError + "{}\": The file system is read-only."},
    {"folder in the way", 2, [](const Box&, auto& t, Held*) {
       return fs::create_directories(t + "TradeLite/2.1.4/manifest.ini"), "";
     }, kError + "TradeLite/2.1.4/manifest.ini\": A folder stands where the kit has a file."},
    {"file in the way", 2, [](const Box&, auto& t, Held*) {
       return guitest::WriteFileBytes(t + "TradeLite/2.1.4/docs", "in the way"), "";
     }, kError + "TradeLite/2.1.4/docs\": A file stands where the kit has a folder."},
    // Enough room by the kit's byte count, but the journal takes the last page.
    {"no space left in the target", 2, [](const Box&, auto& t, Held* h) {
       const std::string why = h->Tmpfs(t, "size=64k");
       guitest::WriteFileBytes(t + "filler", std::string(60 * 1024, 'f'));
       return why;
     }, kError + "TradeLite/2.1.4/manifest.ini\": No space left on the device."},
    {"kit ends early", 2, [](const Box& b, auto&, Held*) { return WriteKit(b.kitPath(), 0, true), ""; },
     kError + "TradeLite/2.1.4/%s%n.cfg\": The distribution kit ends too early."},
    {"link out of the target", 2, [](const Box& b, auto& t, Held*) {
       fs::create_directories(t);
       fs::create_directories(b.root() + "/outside");
       return fs::create_directory_symlink(b.root() + "/outside", t + "TradeLite"), "";
     }, kError + "TradeLite\": A link leads outside the template directory."},
};

class InstallerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = std::make_unique<guitest::Sandbox>();
    fs::copy_file(ORDX_INSTALL_BINARY, sandbox_->kitDir() + "/ordx-install");
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  // In the kit folder, with a clean environment (HOME as now set; `display`: the X server's).
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
  std::string Err() const { return ReadFileBytes(sandbox_->root() + "/stderr"); }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::string path_ = "/usr/local/bin:/usr/bin:/bin";
  std::string locale_ = "C.UTF-8";
};

// Under the C locale a UTF-8 home is installed into and registered with its own
// bytes; a FIFO starter file is left alone without blocking, with status 4.
TEST_F(InstallerProcessTest, SilentRunUnderCLocaleKeepsBytesAndReportsFailedRegistration) {
  locale_ = "C";
  const std::string home = sandbox_->root() + "/h\xC3\xB6me";
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);  // the sandbox puts it back
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
  EXPECT_EQ(Run(""), 1);  // without a display an interactive run refuses, on one line
  EXPECT_EQ(Err().find('\n'), Err().size() - 1) << Err();
}

// Each failure is said on one line; the copy is rolled back, or nothing touched.
TEST_F(InstallerProcessTest, FailuresSayWhatFailedWhereAndWhy) {
  for (const FailureCase& c : kFailures) {
    SCOPED_TRACE(c.name);
    sandbox_.reset();
    SetUp();
    const std::string target = sandbox_->defaultTarget();
    Held held;
    if (const std::string skip = c.spoil(*sandbox_, target, &held); !skip.empty()) {
      std::printf("[  SKIPPED ] %s: %s\n", c.name, skip.c_str());
      continue;
    }
    const auto before = guitest::Snapshot(sandbox_->home());
    EXPECT_EQ(Run("usecwd /Silent"), c.status);
    std::string line = c.line + "\n";
    if (const std::size_t at = line.find("{}"); at != std::string::npos) line.replace(at, 2, target, 0, target.size() - 1);
    EXPECT_EQ(Err(), line);
    EXPECT_EQ(guitest::Snapshot(sandbox_->home()), before);
    EXPECT_FALSE(PathExists(sandbox_->kitDir() + "/TradeLite"));
    EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  }
}

// Signals mid-copy roll back (exit 3, the tree as before, TMPDIR empty); a kill
// leaves the transaction, which the next run undoes and installs over.
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
  fs::last_write_time(mine, fs::last_write_time(mine) - std::chrono::hours(300000));  // 1992
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

// Xvfb as xvfb-run starts it resets when its last client leaves, and an installer that connects just then may find
// no display: the test holds a connection of its own while it runs.
bool XdotoolReachesDisplay() {
  static const bool held = getenv("DISPLAY") != nullptr && gtk_init_check(nullptr, nullptr);
  return held && std::system("xdotool getdisplaygeometry >/dev/null 2>&1") == 0;
}

// True once the child has ended; it stays to be reaped.
bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// The installer's windows on screen (the wizard and a message box carry its title).
int InstallerWindows() {
  FILE* found = popen("xdotool search --onlyvisible --name '^Installing configuration$' 2>/dev/null", "r");
  int lines = 0;
  for (int c; found != nullptr && (c = fgetc(found)) != EOF;) lines += c == '\n';
  if (found != nullptr) pclose(found);
  return lines;
}

// A signal answers a message box that waits for OK, and the run ends: before the wizard (no kit), in a silent run,
// and on the directory page (nothing to propose, nothing typed), where the wizard closes too.
TEST_F(InstallerProcessTest, SignalEndsARunThatWaitsInAMessageBox) {
  if (!XdotoolReachesDisplay()) GTEST_SKIP() << "needs xdotool and a reachable X display (Xvfb)";
  const std::string address = sandbox_->root() + "/http://h", home = getenv("HOME");
  fs::create_directories(address);
  const struct { const char* args; bool kit; int windows; } rows[] = {{"", false, 1}, {"/S", false, 1}, {"", true, 2}};
  for (const auto& [args, kit, windows] : rows) {
    SCOPED_TRACE(std::string(args) + (kit ? " wizard" : " no kit"));
    if (!kit) fs::remove(sandbox_->kitPath());
    if (kit) guitest::WriteStandardKit(sandbox_->kitPath());
    setenv("HOME", windows == 2 ? address.c_str() : home.c_str(), 1);
    const pid_t pid = Start(args, true);
    setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(testsupport::WaitUntil([&, windows = windows] {  // Enter: Next, then Next with nothing typed
      if (windows == 2 && InstallerWindows() < 2) {
        std::system("xdotool search --onlyvisible --name '^Installing configuration$' windowfocus --sync key Return >/dev/null 2>&1");
      }
      usleep(300 * 1000);
      return InstallerWindows() == windows || Ended(pid);
    }, "the message box")) << Err();
    ASSERT_FALSE(Ended(pid)) << "the installer ended before its box showed: " << Err();
    kill(pid, SIGTERM);
    int status = -1;
    ASSERT_TRUE(testsupport::WaitForChild(pid, &status, 10)) << "the box still waits";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_EQ(InstallerWindows(), 0);
  }
  EXPECT_TRUE(fs::is_empty(sandbox_->home()));
}

// Enter through the wizard installs; Finish opens the description with xdg-open.
TEST_F(InstallerProcessTest, WizardInstallsWithEnterAndOpensTheDescription) {
  if (!XdotoolReachesDisplay()) GTEST_SKIP() << "needs xdotool and a reachable X display (Xvfb)";
  const std::string bin = sandbox_->root() + "/bin", log = sandbox_->root() + "/opened.log";
  guitest::WriteFileBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + log + "'\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  path_ = bin + ":" + path_;
  const pid_t pid = Start("", true);
  // Until `path` exists: GTK drops a key while a button still shows the last press.
  const auto enterUntil = [pid](const std::string& path) {
    testsupport::WaitUntil([&] {
      std::system("xdotool search --onlyvisible --name '^Installing configuration$' "
                  "windowfocus --sync key Return >/dev/null 2>&1");
      usleep(300 * 1000);
      return PathExists(path) || Ended(pid);
    }, "Enter to reach " + path);
    return PathExists(path);
  };
  ASSERT_TRUE(enterUntil(sandbox_->mainStarterFile())) << Err();  // welcome, directory page
  EXPECT_TRUE(enterUntil(log)) << Err();                          // Finish
  EXPECT_EQ(Wait(pid), 0);
  guitest::ExpectStandardFilesIn(sandbox_->defaultTarget());
  EXPECT_EQ(ReadFileBytes(log), sandbox_->defaultTarget() + "TradeLite/2.1.4/docs/readme_en.html\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

}  // namespace
}  // namespace ordx
