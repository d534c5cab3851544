// Tests of the file and process layer against a real temporary directory:
// codes and last error, awkward path characters, links that deletion must
// not follow, interrupted calls, times outside 1970..2038, the fault hook.
#include "engine/file_layer.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "text/convert.h"

namespace ordx {
namespace {

// Conversions fix the locale on first use: choose UTF-8 before anything runs.
const bool kUtf8Locale = ::setenv("LC_ALL", "C.UTF-8", 1) == 0;

WideString W(const std::string& s) { return ToWide(NarrowString(s.c_str())); }
std::string N(const WideString& s) { return ToNarrow(s).c_str(); }
bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}
void Put(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
std::string Get(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}
Handle Open(const WideString& path, std::uint32_t access, std::uint32_t disposition) {
  Handle h = kInvalidHandle;
  EXPECT_EQ(CreateFile(path, access, 0, disposition, &h, kAttributeNormal), 0u) << N(path);
  return h;
}
// Names a wildcard enumeration yields, with their directory and link flags.
std::map<std::string, std::pair<std::uint32_t, bool>> List(const WideString& pattern) {
  std::map<std::string, std::pair<std::uint32_t, bool>> found;
  FindData find;
  for (bool ok = FindFirstFile(&find, pattern); ok; ok = FindNextFile(&find)) {
    found[N(GetFoundName(find))] = {IsFoundDirectory(find), IsFoundLink(find)};
  }
  EXPECT_EQ(find.stream, nullptr);
  FindClose(&find);
  return found;
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

void RemoveAll(const std::string& path) {
  ::nftw(path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
}

class FileLayerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kUtf8Locale);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/fs_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
  }
  void TearDown() override {
    SetFaultHook(nullptr);
    RemoveAll(dir_);
  }
  std::string P(const std::string& name) const { return dir_ + name; }
  WideString WP(const std::string& name) const { return W(dir_ + name); }
  std::string dir_;
};

// Names a shell would interpret, plus letters outside ASCII and the BMP.
const char* const kAwkwardNames[] = {
    "with space", "dq\"uote",      "dollar$HOME", "back`id`tick",         "back\\slash",
    "new\nline",  "semi;rm -rf x", "Grüße Ωμέγα", "emoji \xF0\x9F\x98\x80",
};

TEST_F(FileLayerTest, CreateFileAccessAndDispositions) {
  Handle h = 1234;
  EXPECT_EQ(CreateFile(WP("none"), kGenericRead, 0, kOpenExisting, &h, 0), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(h, 1234);
  EXPECT_EQ(CreateFile(WP(""), kGenericWrite, 0, kCreateAlways, &h, 0), kErrorInvalidParameter);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);  // a directory is not writable

  const mode_t old = ::umask(0);
  h = Open(WP("f"), kGenericWrite, kCreateAlways);
  ::umask(old);
  EXPECT_EQ(StatOf(P("f")).st_mode & 07777, 0660u);
  std::uint32_t n = 0;
  EXPECT_EQ(WriteFile(h, "0123456789", 10, &n, nullptr), 0u);
  CloseHandle(h);
  h = Open(WP("f"), kGenericWrite, kCreateAlways);  // keeps the old bytes
  EXPECT_EQ(WriteFile(h, "ab", 2, &n, nullptr), 0u);
  CloseHandle(h);
  EXPECT_EQ(Get(P("f")), "ab23456789");
  h = Open(WP("f"), kGenericRead, kOpenExisting);
  EXPECT_EQ(WriteFile(h, "x", 1, &n, nullptr), kErrorInvalidParameter);
  CloseHandle(h);
  h = Open(WP("f"), kGenericRead | kGenericWrite, kOpenExisting);
  EXPECT_EQ(WriteFile(h, "AB", 2, &n, nullptr), 0u);
  char buf[4] = {};
  EXPECT_EQ(ReadFile(h, buf, 3, &n, nullptr), 0u);
  EXPECT_EQ(std::string(buf, n), "234");
  CloseHandle(h);
  CloseHandle(Open(WP("f"), kGenericWrite, kTruncateExisting));
  EXPECT_EQ(Get(P("f")), "");
}

TEST_F(FileLayerTest, ReadAndWriteArgumentRules) {
  Put(P("f"), "hello");
  Handle h = Open(WP("f"), kGenericRead, kOpenExisting);
  char buf[16] = {};
  std::uint32_t n = 99;
  int overlapped = 0;
  EXPECT_EQ(ReadFile(h, buf, 16, nullptr, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(ReadFile(h, buf, 16, nullptr, &overlapped), 0u);
  EXPECT_EQ(ReadFile(h, buf, 16, &n, nullptr), 0u);  // nothing was consumed before
  EXPECT_EQ(std::string(buf, n), "hello");
  CloseHandle(h);
  EXPECT_EQ(ReadFile(kInvalidHandle, buf, 1, &n, nullptr), kErrorInvalidHandle);
  EXPECT_EQ(WriteFile(kInvalidHandle, "x", 1, nullptr, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(WriteFile(kInvalidHandle, "x", 1, &n, nullptr), kErrorInvalidHandle);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  h = Open(WP("f"), kGenericWrite, kOpenExisting);
  EXPECT_EQ(WriteFile(h, "x", 1, nullptr, &overlapped), 0u);
  CloseHandle(h);
  EXPECT_EQ(Get(P("f")), "hello");
  h = Open(u"/dev/full", kGenericWrite, kOpenExisting);
  EXPECT_EQ(WriteFile(h, "x", 1, &n, nullptr), kErrorInvalidParameter);  // disk full
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  CloseHandle(h);
  CloseHandle(kInvalidHandle);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  CloseHandle(h);  // already closed
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

// Interrupted calls: a helper thread waits until the test thread sleeps in
// the system call (as /proc reports it), then signals it without SA_RESTART.
std::atomic<int> g_signals{0};

bool WaitInSyscall(pid_t tid, long number, const std::atomic<bool>& stop) {
  const std::string file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
  const std::string want = std::to_string(number) + " ";
  while (!stop) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    if (line.compare(0, want.size(), want) == 0) return true;
    sched_yield();
  }
  return false;
}

class InterruptedIoTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::ifstream("/proc/self/task/" + std::to_string(tid_) + "/syscall")) {
      GTEST_SKIP() << "no /proc/<tid>/syscall";
    }
    struct sigaction action {};
    action.sa_handler = [](int) { g_signals.fetch_add(1); };
    ::sigaction(SIGUSR1, &action, &old_);
    g_signals = 0;
    ASSERT_EQ(::pipe(fds_), 0);
  }
  void TearDown() override {
    ::sigaction(SIGUSR1, &old_, nullptr);
    for (const int fd : fds_) ::close(fd);
  }
  void Interrupt(long number) {
    if (!WaitInSyscall(tid_, number, done_)) return;
    ::pthread_kill(self_, SIGUSR1);
    while (g_signals == 0) sched_yield();
  }
  const pid_t tid_ = ::gettid();
  const pthread_t self_ = ::pthread_self();
  std::atomic<bool> done_{false};
  int fds_[2] = {-1, -1};
  struct sigaction old_ {};
};

TEST_F(InterruptedIoTest, ReadResumesAfterSignalAndShortReads) {
  std::thread writer([&] {
    Interrupt(SYS_read);
    EXPECT_EQ(::write(fds_[1], "abc", 3), 3);
    // Once the pipe is empty and the reader sleeps again, it is in a later read.
    for (int queued = 1; queued != 0 && !done_;) ::ioctl(fds_[1], FIONREAD, &queued);
    WaitInSyscall(tid_, SYS_read, done_);
    EXPECT_EQ(::write(fds_[1], "def", 3), 3);
    ::close(fds_[1]);
  });
  char buf[16] = {};
  std::uint32_t n = 0;
  EXPECT_EQ(ReadFile(fds_[0], buf, sizeof buf, &n, nullptr), 0u);
  done_ = true;
  writer.join();
  fds_[1] = -1;
  EXPECT_EQ(std::string(buf, n), "abcdef");
  EXPECT_EQ(g_signals, 1);
}

TEST_F(InterruptedIoTest, WriteContinuesAfterPartialWrite) {
  std::string data(1 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  std::string received;
  std::thread reader([&] {
    Interrupt(SYS_write);  // the pipe is full: write returns a short count
    char chunk[65536];
    for (ssize_t got; (got = ::read(fds_[0], chunk, sizeof chunk)) > 0;) {
      received.append(chunk, got);
    }
  });
  std::uint32_t n = 0;
  EXPECT_EQ(WriteFile(fds_[1], data.data(), static_cast<std::uint32_t>(data.size()), &n, nullptr),
            0u);
  done_ = true;
  ::close(fds_[1]);
  fds_[1] = -1;
  reader.join();
  EXPECT_EQ(n, data.size());
  EXPECT_EQ(g_signals, 1);
  EXPECT_TRUE(received == data);
}

TEST_F(FileLayerTest, FilePointerEndOfFileAndSizes) {
  EXPECT_EQ(SetFilePointer(kInvalidHandle, 0, 0, kFileBegin), -1);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
  EXPECT_EQ(SetEndOfFile(kInvalidHandle), kErrorInvalidHandle);
  Put(P("f"), "0123456789");
  const Handle h = Open(WP("f"), kGenericRead | kGenericWrite, kOpenExisting);
  EXPECT_EQ(SetFilePointer(h, 0, 0, kFileEnd), 10);
  EXPECT_EQ(SetFilePointer(h, 0xFFFFFFFEu, 0xFFFFFFFFu, kFileCurrent), 8);  // -2
  EXPECT_EQ(SetFilePointer(h, 0, 1, 7), std::int64_t{1} << 32);  // other methods: begin
  EXPECT_EQ(SetFilePointer(h, 0xFFFFFFFFu, 0xFFFFFFFFu, kFileBegin), -1);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(SetFilePointer(h, 4, 0, kFileBegin), 4);
  EXPECT_EQ(SetEndOfFile(h), 0u);
  CloseHandle(h);
  std::uint64_t size = 0;
  EXPECT_EQ(GetFileSizeByName(WP("f"), &size), 0u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(GetFileSizeByName(WP("none"), &size), 1u);
}

TEST_F(FileLayerTest, FileTimesRoundTripInWholeSeconds) {
  EXPECT_EQ(FileTimeFromUnix(1355526400), 130000000000000000u);
  EXPECT_EQ(FileTimeFromUnix(-20000000000), 0u);  // before 1601 saturates
  EXPECT_EQ(ErrnoToCode(EACCES), kErrorInvalidParameter);
  Put(P("f"), "x");
  const Handle h = Open(WP("f"), kGenericWrite, kOpenExisting);
  FILETIME created = 0, accessed = 0, written = 0;
  // 1950 and 2100: every current file system keeps 1901..2446.
  for (const FILETIME t : {FileTimeFromUnix(-631152000), FileTimeFromUnix(4102444800),
                           FILETIME{130000000005000000u}}) {
    ASSERT_EQ(SetFileTime(h, nullptr, nullptr, &t), 0u);
    ASSERT_EQ(GetFileTime(h, &created, &accessed, &written), 0u);
    EXPECT_EQ(written, t / 10000000 * 10000000);
    EXPECT_EQ(accessed, written);
    EXPECT_EQ(StatOf(P("f")).st_mtime, UnixFromFileTime(t));
  }
  EXPECT_EQ(created, FileTimeFromUnix(StatOf(P("f")).st_ctime));
  EXPECT_EQ(SetFileTime(h, nullptr, nullptr, nullptr), 0u);  // nothing to change
  EXPECT_EQ(StatOf(P("f")).st_mtime, 1355526400);
  CloseHandle(h);
  EXPECT_EQ(GetFileTime(h, nullptr, nullptr, &written), kErrorInvalidHandle);
  EXPECT_EQ(SetFileTime(kInvalidHandle, nullptr, nullptr, &written), kErrorInvalidHandle);
}

TEST_F(FileLayerTest, TemporaryDirectoryAndNames) {
  Put(P("plain"), "keep");
  ::mkdir(P("Ωdir").c_str(), 0700);
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "/tmp/"}, {"", "/tmp/"},          {P("missing"), "/tmp/"},
      {P("plain"), "/tmp/"},   {P("Ωdir"), P("Ωdir/")}, {P("Ωdir/"), P("Ωdir/")},
  };
  for (const auto& [value, expected] : cases) {
    const ScopedEnv env("TMPDIR", value ? value->c_str() : nullptr);
    WideString out;
    EXPECT_EQ(GetTempPath(&out), 0u);
    EXPECT_EQ(N(out), expected) << value.value_or("(unset)");
  }

  const mode_t old = ::umask(0277);  // still a file the installer can write
  std::set<std::string> names;
  for (int i = 0; i < 100; ++i) {
    WideString out;
    ASSERT_EQ(GetTempFileName(W(dir_), u"kpx", &out), 0u);
    EXPECT_EQ(N(out).rfind(dir_ + "kpx", 0), 0u) << N(out);
    const struct stat st = StatOf(N(out));
    EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_size == 0 && (st.st_mode & 07777) == 0600);
    names.insert(N(out));
  }
  ::umask(old);
  EXPECT_EQ(names.size(), 100u);
  // A missing or non-directory location falls back to the temporary directory.
  const ScopedEnv env("TMPDIR", P("Ωdir").c_str());
  for (const std::string& where : {P("missing/"), P("plain"), std::string()}) {
    WideString out;
    ASSERT_EQ(GetTempFileName(W(where), u"Ordo", &out), 0u);
    EXPECT_EQ(N(out).rfind(P("Ωdir/Ordo"), 0), 0u) << N(out);
  }
  EXPECT_EQ(Get(P("plain")), "keep");
  WideString out = u"stale";
  EXPECT_EQ(GetTempFileName(W(dir_), u"../x", &out), kErrorCantWrite);
  EXPECT_TRUE(out.empty());

  std::uint64_t freeBytes = 0;
  EXPECT_EQ(GetTempFreeSpace(nullptr), kErrorInvalidParameter);
  EXPECT_EQ(GetTempFreeSpace(&freeBytes), 0u);
  EXPECT_GT(freeBytes, 0u);
}

TEST_F(FileLayerTest, CreateDirectoryMakesEveryLevel) {
  const mode_t old = ::umask(022);
  EXPECT_EQ(CreateDirectory(WP("a/b//c/d/")), 0u);
  ::umask(old);
  EXPECT_TRUE(S_ISDIR(StatOf(P("a/b/c/d")).st_mode));
  EXPECT_EQ(StatOf(P("a/b")).st_mode & 0777, 0755u);
  EXPECT_EQ(CreateDirectory(WP("a/b/c/")), kErrorAlreadyExists);
  Put(P("a/file"), "");
  EXPECT_EQ(CreateDirectory(WP("a/file")), kErrorFileNotFound);
  EXPECT_EQ(CreateDirectory(WP("a/file/sub/deeper")), kErrorFileNotFound);
  EXPECT_EQ(CreateDirectory(u""), kErrorFileNotFound);
  ::symlink(P("a/b").c_str(), P("link").c_str());
  EXPECT_EQ(CreateDirectory(WP("link/new")), 0u);  // an existing level may be a link
  EXPECT_TRUE(Exists(P("a/b/new")));
  EXPECT_EQ(CreateDirectory(WP(std::string(300, 'n'))), kErrorInvalidParameter);
}

TEST_F(FileLayerTest, MoveFileCodes) {
  EXPECT_EQ(MoveFile(WP("missing"), WP("x")), kErrorFileNotFound);
  Put(P("src"), "new");
  Put(P("dst"), "old");
  EXPECT_EQ(MoveFile(WP("src"), WP("no/dir/dst")), kErrorInvalidParameter);
  EXPECT_EQ(Get(P("src")), "new");
  EXPECT_EQ(MoveFile(WP("src"), WP("dst")), 0u);
  EXPECT_FALSE(Exists(P("src")));
  EXPECT_EQ(Get(P("dst")), "new");
  ::mkdir(P("d").c_str(), 0700);
  EXPECT_EQ(MoveFile(WP("dst"), WP("d")), kErrorInvalidParameter);  // never into it
  ::symlink("nowhere", P("dangling").c_str());
  EXPECT_EQ(MoveFile(WP("dangling"), WP("d/link")), 0u);
  EXPECT_TRUE(Exists(P("d/link")));

  struct stat shm {};
  if (::stat("/dev/shm", &shm) != 0 || shm.st_dev == StatOf(dir_).st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  char other[] = "/dev/shm/fs_test_XXXXXX";
  ASSERT_NE(::mkdtemp(other), nullptr);
  const std::string o = std::string(other) + "/", name = kAwkwardNames[3];
  Put(o + name, "payload");
  ::mkdir((o + "tree").c_str(), 0700);
  Put(o + "tree/leaf", "leaf");
  EXPECT_EQ(MoveFile(W(o + name), WP("d/link")), 0u);
  EXPECT_EQ(Get(P("d/link")), "payload");
  EXPECT_FALSE(Exists(o + name));
  EXPECT_EQ(MoveFile(W(o + "tree"), WP(name)), 0u);
  EXPECT_EQ(Get(P(name + "/leaf")), "leaf");
  Put(o + "f", "f");
  EXPECT_EQ(MoveFile(W(o + "f"), WP("d")), kErrorInvalidParameter);
  EXPECT_TRUE(Exists(o + "f"));
  EXPECT_EQ(MoveFile(W(o + "gone"), WP("x")), kErrorFileNotFound);
  RemoveAll(other);
}

TEST_F(FileLayerTest, DeleteNeverFollowsLinks) {
  ::mkdir(P("outside").c_str(), 0700);
  Put(P("outside/precious"), "keep");
  std::string deep = P("tree");
  for (int i = 0; i < 100; ++i, deep += "/l") ::mkdir(deep.c_str(), 0700);
  Put(deep + "/f", "x");
  ::symlink(P("outside").c_str(), P("tree/l/to-dir").c_str());
  ::symlink(P("outside/precious").c_str(), P("tree/to-file").c_str());
  ::symlink("nowhere", P("tree/dangling").c_str());
  ::symlink(P("outside").c_str(), P("top-link").c_str());

  EXPECT_EQ(DeleteTree(WP("tree")), 0u);
  EXPECT_FALSE(Exists(P("tree")));
  EXPECT_EQ(DeleteTree(WP("top-link/")), 0u);  // the link goes, not what it names
  EXPECT_FALSE(Exists(P("top-link")));
  EXPECT_EQ(DeleteTree(WP("outside/.")), 0u);  // refused, as rm does
  EXPECT_EQ(DeleteTree(WP("missing")), 0u);
  // A zero unit inside a path must not shorten it to its parent.
  EXPECT_EQ(DeleteTree(WP("outside") + WideString(u"\0/x", 3)), 0u);
  EXPECT_EQ(DeleteFile(WP("outside/precious") + WideString(u"\0/x", 3)), 0u);
  EXPECT_EQ(Get(P("outside/precious")), "keep");

  ::symlink(P("outside/precious").c_str(), P("flink").c_str());
  EXPECT_EQ(DeleteFile(WP("flink")), 0u);
  EXPECT_FALSE(Exists(P("flink")));
  EXPECT_EQ(DeleteFile(WP("outside")), 0u);  // a directory is not a file
  EXPECT_EQ(DeleteFile(WP("outside/precious")), 0u);
  EXPECT_TRUE(Exists(P("outside")) && !Exists(P("outside/precious")));
  EXPECT_EQ(DeleteFile(WP("missing")), 0u);
}

TEST_F(FileLayerTest, AwkwardNamesStayLiteral) {
  for (const std::string name : kAwkwardNames) {
    SCOPED_TRACE(name);
    const std::string base = P(name + "/" + name), top = P(name) + "/";
    ASSERT_EQ(CreateDirectory(W(base)), 0u);
    EXPECT_TRUE(S_ISDIR(StatOf(base).st_mode));  // the exact bytes, nothing expanded
    EXPECT_EQ(RunProgram({"test", "-d", NarrowString(base.c_str())}), 0);
    const Handle h = Open(W(base + "/" + name), kGenericWrite, kCreateAlways);
    std::uint32_t n = 0;
    EXPECT_EQ(WriteFile(h, name.data(), static_cast<std::uint32_t>(name.size()), &n, nullptr), 0u);
    CloseHandle(h);
    EXPECT_EQ(MoveFile(W(base + "/" + name), W(top + name + ".mv")), 0u);
    EXPECT_EQ(Get(top + name + ".mv"), name);
    const auto found = List(W(top + "*"));
    EXPECT_EQ(found.size(), 4u);
    EXPECT_TRUE(found.contains(name) && found.contains(name + ".mv"));
    EXPECT_EQ(DeleteTree(W(P(name))), 0u);
    EXPECT_FALSE(Exists(P(name)));
  }
}

TEST_F(FileLayerTest, FindPatternsAndExistence) {
  for (const char* name : {"a.txt", "b.txt", "c.dat", "a?c"}) Put(P(name), "");
  ::mkdir(P("sub").c_str(), 0700);
  ::symlink(P("sub").c_str(), P("sublink").c_str());
  ::symlink("nowhere", P("dangling").c_str());
  const auto all = List(WP("*"));
  EXPECT_EQ(all.size(), 9u);
  EXPECT_EQ(all.at("..").first, 16u);
  EXPECT_EQ(all.at("a.txt"), std::make_pair(0u, false));
  EXPECT_EQ(all.at("sublink"), std::make_pair(16u, true));
  EXPECT_EQ(all.at("dangling"), std::make_pair(0u, true));  // listed, not the end
  EXPECT_EQ(List(WP("?.*xt")).size(), 2u);  // "?" and "[" act next to a "*"
  EXPECT_EQ(List(WP("[bc]*")).size(), 2u);
  EXPECT_TRUE(List(WP("missing/*")).empty());
  EXPECT_TRUE(List(WP("a.txt/*")).empty());

  FindData find;
  EXPECT_TRUE(FindFirstFile(&find, WP("a?c")));  // without "*" a literal name
  EXPECT_EQ(N(GetFoundName(find)), "a?c");
  EXPECT_FALSE(FindFirstFile(&find, WP("a?t")));
  EXPECT_FALSE(FindFirstFile(&find, WP("dangling")));
  EXPECT_TRUE(IsFoundLink(find));
  EXPECT_TRUE(FindFirstFile(&find, WP("sub")));
  EXPECT_EQ(IsFoundDirectory(find), 16u);
  EXPECT_FALSE(FindFirstFile(&find, WP("missing")));
  EXPECT_EQ(IsFoundDirectory(find), 0u);  // status cleared
  EXPECT_FALSE(FindNextFile(&find));
  FindClose(&find);

  const std::filesystem::path cwd = std::filesystem::current_path();
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
  EXPECT_EQ(List(u"*.txt").size(), 2u);  // no directory part: the current one
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
  EXPECT_TRUE(List(u"/*").contains("etc"));
}

TEST_F(FileLayerTest, ProgramsHomeAndRoot) {
  EXPECT_EQ(RunProgram({}), -1);
  EXPECT_EQ(RunProgram({"ordx-no-such-program"}), -1);
  const int status = RunProgram({"sh", "-c", "exit 3"});
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
  EXPECT_EQ(WEXITSTATUS(RunCommand("exit 5")), 5);
  EXPECT_TRUE(IsRootPath(u"/"));
  EXPECT_FALSE(IsRootPath(u"//") || IsRootPath(u""));
  {
    const ScopedEnv home("HOME", P("my home $x").c_str());
    EXPECT_EQ(N(GetHomeDirectory()), P("my home $x"));
  }
  const passwd* const entry = ::getpwuid(::getuid());
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    const ScopedEnv home("HOME", value);
    EXPECT_EQ(N(GetHomeDirectory()), entry ? entry->pw_dir : "");
  }
}

TEST_F(FileLayerTest, FaultHookFailsOnlyTheChosenOperation) {
  constexpr ErrorCode kInjected = 4242;
  Put(P("f"), "data");
  ::mkdir(P("d").c_str(), 0700);
  std::vector<std::pair<FileOp, std::string>> calls;
  auto failOnly = [&](FileOp chosen) {
    calls.clear();
    SetFaultHook([&calls, chosen](FileOp op, const WideString& path) {
      calls.emplace_back(op, N(path));
      return op == chosen ? kInjected : 0;
    });
  };
  Handle h = 77;
  failOnly(FileOp::kCreateFile);
  EXPECT_EQ(CreateFile(WP("new"), kGenericWrite, 0, kCreateAlways, &h, 0), kInjected);
  EXPECT_EQ(GetLastError(), kInjected);
  EXPECT_EQ(h, 77);
  EXPECT_EQ(calls.at(0), std::make_pair(FileOp::kCreateFile, P("new")));

  // Each handle operation fails alone on a handle the layer just opened.
  char b[4];
  std::uint32_t n = 0;
  FILETIME t = 0;
  const std::pair<FileOp, std::function<bool(Handle)>> handleOps[] = {
      {FileOp::kReadFile, [&](Handle fd) { return ReadFile(fd, b, 4, &n, nullptr) == kInjected; }},
      {FileOp::kWriteFile, [&](Handle fd) { return WriteFile(fd, "z", 1, &n, nullptr) != 0; }},
      {FileOp::kSetFilePointer, [&](Handle fd) { return SetFilePointer(fd, 2, 0, 0) == -1; }},
      {FileOp::kGetFileTime, [&](Handle fd) { return GetFileTime(fd, &t, &t, &t) == kInjected; }},
      {FileOp::kSetFileTime, [&](Handle fd) { return SetFileTime(fd, &t, &t, &t) == kInjected; }},
      {FileOp::kSetEndOfFile, [&](Handle fd) { return SetEndOfFile(fd) == kInjected; }},
  };
  const time_t mtime = StatOf(P("f")).st_mtime;
  for (const auto& [op, failed] : handleOps) {
    failOnly(op);
    h = Open(WP("f"), kGenericRead | kGenericWrite, kOpenExisting);
    EXPECT_TRUE(failed(h)) << static_cast<int>(op);
    EXPECT_EQ(GetLastError(), kInjected);
    EXPECT_EQ(::lseek(h, 0, SEEK_CUR), 0);
    CloseHandle(h);
  }
  EXPECT_EQ(Get(P("f")), "data");
  EXPECT_EQ(StatOf(P("f")).st_mtime, mtime);

  WideString out;
  FindData find;
  failOnly(FileOp::kGetTempFileName);
  EXPECT_EQ(GetTempFileName(WP("d"), u"kpx", &out), kInjected);
  failOnly(FileOp::kCreateDirectory);
  EXPECT_EQ(CreateDirectory(WP("d/new")), kInjected);
  failOnly(FileOp::kMoveFile);
  EXPECT_EQ(MoveFile(WP("f"), WP("d/g")), kInjected);
  failOnly(FileOp::kDeleteTree);
  EXPECT_EQ(DeleteTree(WP("d")), 0u);
  EXPECT_EQ(calls.at(0), std::make_pair(FileOp::kDeleteTree, P("d")));
  failOnly(FileOp::kDeleteFile);
  EXPECT_EQ(DeleteFile(WP("f")), 0u);
  failOnly(FileOp::kFindFirstFile);
  EXPECT_FALSE(FindFirstFile(&find, WP("d/*")) || FindFirstFile(&find, WP("f")));
  failOnly(FileOp::kFindNextFile);
  EXPECT_TRUE(FindFirstFile(&find, WP("d/*")));  // its first step is not a FindNextFile
  EXPECT_FALSE(FindNextFile(&find));
  FindClose(&find);
  SetFaultHook(nullptr);

  EXPECT_EQ(Get(P("f")), "data");
  EXPECT_EQ(List(WP("d/*")).size(), 2u);  // no temporary file, directory or move
  EXPECT_EQ(DeleteFile(WP("f")), 0u);  // without a hook everything runs again
  EXPECT_FALSE(Exists(P("f")));
}

}  // namespace
}  // namespace ordx
