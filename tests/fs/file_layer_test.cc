// The file and process layer against a real temporary directory: codes, short reads and writes, EINTR, times, temporary
// names, literal names, links never followed, the fault hook, refused system calls; walks below a root, deep trees,
// copies, per-thread errors.
#include "fs/file_layer.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "fs/dir_ops.h"
#include "fs/whole_file.h"
#include "support/deadline.h"
#include "support/temp_tree.h"
#include "text/convert.h"

namespace ordx {
namespace {

[[maybe_unused]] const int kUtf8Locale = ::setenv("LC_ALL", "C.UTF-8", 1);  // before the first conversion

using testsupport::ReadBytes;
using testsupport::ReadIfAny;
using testsupport::W;
using testsupport::U8;
using testsupport::WriteBytes;
bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }
Handle Open(const WideString& path, std::uint32_t access, std::uint32_t disposition) {
  Handle h = kInvalidHandle;
  EXPECT_EQ(CreateFile(path, access, 0, disposition, &h, kAttributeNormal), 0u) << U8(path);
  return h;
}
// A directory's names -> 16 for a directory, 1 for a link, 0 for anything else.
using Found = std::map<std::string, std::uint32_t>;
Found List(const std::string& dir) {
  Found found;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return found;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    found[e->d_name] = e->d_type == DT_DIR ? 16 : e->d_type == DT_LNK ? 1 : 0;
  }
  ::closedir(d);
  return found;
}

// From now on system call `nr` of this process fails with `err` (x86_64 calls only); false when refused.
bool FailSyscall(int nr, int err) {
  sock_filter code[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(nr), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(err)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
  const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Tests may change the hook, TMPDIR and HOME; their files are below dir_.
class FileLayerTest : public testsupport::TempTreeTest {
 protected:
  FileLayerTest() : TempTreeTest({.privateHome = true}) { std::filesystem::create_directory(dir_); }
  void TearDown() override { SetFaultHook(nullptr); }
  std::string P(const std::string& name) const { return dir_ + name; }
  WideString WP(const std::string& name) const { return W(dir_ + name); }
  const std::string dir_ = Path("t/");
};

TEST_F(FileLayerTest, HandleOperationsCodesAndTimesOutside1970To2038) {
  Handle h = 1234;
  EXPECT_EQ(CreateFile(WP("none"), kGenericRead, 0, kOpenExisting, &h, 0), kErrorFileNotFound);
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(h, 1234);
  WriteBytes(P("f"), "0123456789");
  h = Open(WP("f"), kGenericWrite, kCreateAlways);  // keeps the old bytes
  std::uint32_t n = 0;
  EXPECT_EQ(WriteFile(h, "ab", 2, &n, nullptr), 0u);
  CloseHandle(h);
  h = Open(WP("f"), kGenericRead, kOpenExisting);
  char buf[16] = {};  // more than the file holds: a short read is success
  EXPECT_EQ(ReadFile(h, buf, 16, &n, nullptr), 0u);
  EXPECT_EQ(std::string(buf, n), "ab23456789");
  EXPECT_EQ(ReadFile(h, buf, 16, nullptr, nullptr), kErrorInvalidParameter);
  CloseHandle(h);
  int fds[2];  // a pipe that fills up: the write stops short, which is no success
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(WriteFile(fds[1], big.data(), big.size(), &n, nullptr), kErrorInvalidParameter);
  for (const int fd : fds) ::close(fd);
  h = Open(WP("f"), kGenericWrite, kOpenExisting);
  EXPECT_EQ(FileTimeFromUnix(1355526400), 130000000000000000u);
  EXPECT_EQ(FileTimeFromUnix(-20000000000), 0u);  // before 1601 saturates
  CloseHandle(h);
}

// The test thread is signalled (no SA_RESTART) once /proc shows it asleep in read: the read goes on, across packets.
std::atomic<int> g_signals{0};
TEST(InterruptedIoTest, ReadIsRetriedAfterASignal) {
  const std::string proc = "/proc/self/task/" + std::to_string(::gettid()) + "/syscall";
  if (!std::ifstream(proc)) GTEST_SKIP() << "no " << proc;
  struct sigaction action {};
  action.sa_handler = [](int) { g_signals.fetch_add(1); };
  ::sigaction(SIGUSR1, &action, nullptr);
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
  std::thread writer([&, self = ::pthread_self()] {
    testsupport::WaitUntil([&] { return ReadIfAny(proc).value_or("").rfind(std::to_string(SYS_read) + " ", 0) == 0; }, "a sleep in read");
    ::pthread_kill(self, SIGUSR1);
    testsupport::WaitUntil([] { return g_signals != 0; }, "the signal handler to run");
    EXPECT_EQ(::write(fds[1], "abc", 3) + ::write(fds[1], "def", 3), 6);
    ::close(fds[1]);
  });
  char buf[16] = {};
  std::uint32_t n = 0;
  EXPECT_EQ(ReadFile(fds[0], buf, sizeof buf, &n, nullptr), 0u);
  writer.join();
  ::close(fds[0]);
  EXPECT_EQ(std::string(buf, n), "abcdef");
  EXPECT_EQ(g_signals, 1);
}

TEST_F(FileLayerTest, TemporaryNamesArePrivateAndNeverReusedHomeFallsBack) {
  WriteBytes(P("plain"), "keep");
  ::mkdir(P("Ωdir").c_str(), 0700);
  ::setenv("TMPDIR", P("Ωdir").c_str(), 1);
  WideString out;
  EXPECT_EQ(GetTempPath(&out), 0u);
  EXPECT_EQ(U8(out), P("Ωdir/"));  // with the "/"
  const mode_t old = ::umask(0277);  // still a file the installer can write
  std::set<std::string> names;
  // A missing or non-directory location falls back to the temporary directory.
  for (const std::string& where : {dir_, dir_, P("missing/"), P("plain"), std::string()}) {
    struct stat st {};
    ASSERT_EQ(GetTempFileName(W(where), u"kpx", &out), 0u);
    EXPECT_EQ(U8(out).rfind((where == dir_ ? dir_ : P("Ωdir/")) + "kpx", 0), 0u) << U8(out);
    EXPECT_EQ(::lstat(U8(out).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, S_IFREG | 0600u);
    EXPECT_TRUE(names.insert(U8(out)).second);
  }
  ::umask(old);
  out = u"stale";  // a prefix that leaves the directory is refused
  EXPECT_EQ(GetTempFileName(W(dir_), u"../x", &out), kErrorCantWrite);
  EXPECT_TRUE(out.empty());
  const passwd* const entry = ::getpwuid(::getuid());  // an empty HOME: the database
  ::setenv("HOME", "", 1);
  EXPECT_EQ(U8(GetHomeDirectory()), entry ? entry->pw_dir : "");
}

// Names a shell would interpret, non-ASCII and non-BMP letters, bytes that are no UTF-8: made, moved, listed, removed
// exactly. A name the locale cannot encode exactly is refused, never approximated.
TEST_F(FileLayerTest, NamesStayLiteralOrAreRefused) {
  for (const std::string name : {"a space", "s'q", "$HOME", "-dash", "`id`", "b\\s", "new\nline", "Grüße Ωμέγα",
                                 "\xF0\x9F\x98\x80", "caf\xE9 \xFF\xC0\xAF"}) {
    SCOPED_TRACE(name);
    const std::string top = P(name) + "/", base = top + name;
    ASSERT_EQ(CreateDirectory(W(base + "//")), 0u);  // every missing level
    EXPECT_EQ(CreateDirectory(W(base)), kErrorAlreadyExists);
    EXPECT_EQ(RunProgram({"test", "-d", NarrowString(base.c_str())}), 0);  // the exact bytes
    CloseHandle(Open(W(base + "/" + name), kGenericWrite, kCreateAlways));
    EXPECT_EQ(CreateDirectory(W(base + "/" + name + "/x")), kErrorFileNotFound);  // below a file
    EXPECT_EQ(MoveFile(W(base + "/" + name), W(top + name + ".mv")), 0u);
    EXPECT_EQ(List(top), (Found{{name, 16}, {name + ".mv", 0}}));
    EXPECT_EQ(DeleteTree(W(P(name))), 0u);
    EXPECT_FALSE(Exists(P(name)));
  }
  const std::pair<const char*, std::u16string> refused[] = {{"C.UTF-8", u"lone\xD800"},
      {"C.UTF-8", u"spelled\xDCC3\xDCA9"},  // escapes of the bytes of "é"
      {"C.UTF-8", std::u16string(u"zero\0x", 6)}, {"C", u"caf\u00E9"}};
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const auto& [locale, name] : refused) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    const WideString wide(name.data(), name.size());
    Handle handle = kInvalidHandle;
    WideString made;
    EXPECT_NE(CreateFile(WP("") + wide, kGenericWrite, 0, kCreateAlways, &handle, kAttributeNormal), 0u);
    EXPECT_NE(CreateDirectory(WP("") + wide), 0u);
    EXPECT_NE(GetTempFileName(WP(""), wide, &made), 0u);
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

// 2 only for a missing source: the engine tells "nothing to back up" by it. Across file systems "mv" does the work.
TEST_F(FileLayerTest, MoveFileFailsWithTwoOnlyForAMissingSource) {
  WriteBytes(P("src"), "new");
  ::mkdir(P("d").c_str(), 0700);
  ::symlink("nowhere", P("dangling").c_str());  // a source, though it names nothing
  char other[] = "/dev/shm/fs_test_XXXXXX";
  const bool far = ::mkdtemp(other) != nullptr;
  const std::string remote = std::string(other) + "/-back`id`tick $x";
  if (far) WriteBytes(remote, "far");
  const std::tuple<std::string, std::string, ErrorCode> moves[] = {
      {P("missing"), P("x"), kErrorFileNotFound}, {P("src"), P("dst"), 0},
      {P("dst"), P("d"), kErrorInvalidParameter},  // never into a directory
      {P("dangling"), P("no/dir/x"), kErrorInvalidParameter}, {P("dangling"), P("d/link"), 0},
      {remote, P("d/link"), 0},  // replaces, as rename does
      {P("d/link"), other, kErrorInvalidParameter}};
  for (const auto& [from, to, code] : moves) {
    if (!far && from == remote) continue;
    EXPECT_EQ(MoveFile(W(from), W(to)), code) << from << " -> " << to;
    if (code == 0) { EXPECT_FALSE(Exists(from)) << from; }
  }
  EXPECT_EQ(ReadBytes(P("dst")), "new");
  EXPECT_EQ(ReadIfAny(P("d/link")), far ? std::optional<std::string>("far") : std::nullopt);
  if (far) std::filesystem::remove_all(other);
}

// A read-only starter file is not replaced although its folder is writable (a rename would). As an ordinary user.
TEST_F(FileLayerTest, ReadOnlyFileIsNotReplaced) {
  WriteBytes(P("open"), "old");
  WriteBytes(P("locked"), "old");
  ASSERT_EQ(::chmod(P("locked").c_str(), 0444), 0);
  const struct passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() == 0 && nobody == nullptr) GTEST_SKIP() << "no user nobody";
  for (const char* name : {"", "open", "locked"})
    if (::geteuid() == 0) { ASSERT_EQ(::chown(P(name).c_str(), nobody->pw_uid, nobody->pw_gid), 0); }
  ::chmod(root_.c_str(), 0711);  // nobody may pass through to the test folder
  const int code = testsupport::ExitCodeInChild([&] {
    if (::geteuid() == 0 && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) return 3;
    if (ReplaceWholeFile(WP("open"), "new") != kErrorSuccess) return 4;  // the folder can be reached
    return ReplaceWholeFile(WP("locked"), "new") == kErrorSuccess ? 1 : 0;
  });
  if (code == 4) GTEST_SKIP() << "the test folder cannot be reached as nobody";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadBytes(P("locked")), "old");
}

// If the old mode cannot be carried over, or the new bytes cannot be made durable, nothing is replaced: a new file
// with another mode could expose a private one.
TEST_F(FileLayerTest, NoReplacementWhenModeOrSyncFails) {
#ifndef __x86_64__
  GTEST_SKIP() << "the filter knows x86_64 system calls only";
#endif
  for (const auto& [call, err] : {std::pair{SYS_fchmod, EPERM}, {SYS_fsync, EIO}}) {
    WriteBytes(P("private"), "old");
    ASSERT_EQ(::chmod(P("private").c_str(), 0600), 0);
    const int code = testsupport::ExitCodeInChild([&, call = call, err = err] {
      if (!FailSyscall(call, err)) return 2;
      return ReplaceWholeFile(WP("private"), "new") == kErrorWriteFault ? 0 : 1;
    });
    if (code == 2) GTEST_SKIP() << "no seccomp filter allowed here";
    EXPECT_EQ(code, 0) << "no write fault although system call " << call << " failed";
    EXPECT_EQ(std::filesystem::status(P("private")).permissions(), std::filesystem::perms(0600)) << call;
    EXPECT_EQ(ReadBytes(P("private")), "old") << call;
    EXPECT_EQ(List(dir_), (Found{{"private", 0}})) << "a stray file after " << call;
  }
}

// A regular file that may not be opened is told from a missing one; a folder name the locale cannot spell gives no
// temporary file.
TEST_F(FileLayerTest, RefusedOpeningsAreNoMissingFiles) {
#ifndef __x86_64__
  GTEST_SKIP() << "the filter knows x86_64 system calls only";
#endif
  WriteBytes(P("f"), "data");
  const auto refused = [](const std::function<ErrorCode()>& call) {  // call's code, 255 without a filter
    return testsupport::ExitCodeInChild([&] { return FailSyscall(SYS_openat, EACCES) ? static_cast<int>(call()) : 255; });
  };
  const int opened = refused([&] { ScopedHandle handle; return OpenRegularFile(WP("f"), handle.out()); });
  if (opened == 255) GTEST_SKIP() << "no seccomp filter allowed here";
  EXPECT_EQ(opened, static_cast<int>(kErrorInvalidParameter));
  std::string bytes;
  EXPECT_EQ(refused([&] { return ReadWholeFile(WP("f"), 100, &bytes); }), static_cast<int>(kErrorInvalidParameter));
  Handle handle = kInvalidHandle;
  EXPECT_EQ(CreateAnonymousFile(W(dir_) + u"\xD800", &handle), kErrorCantWrite);
  EXPECT_EQ(handle, kInvalidHandle);
}

// A look-up never takes "*" or "?" as a pattern. Deletion never follows a link, nor
// shortens a path at a zero unit.
TEST_F(FileLayerTest, LookUpAndDeleteNeverFollowLinks) {
  ::mkdir(P("outside").c_str(), 0700);
  WriteBytes(P("outside/precious"), "keep");
  std::string deep = P("tree");
  for (int i = 0; i < 100; ++i, deep += "/l") ::mkdir(deep.c_str(), 0700);
  for (const std::string& file : {P("tree/a.txt"), deep}) WriteBytes(file, "");
  for (const auto& [target, link] : {std::pair{"outside", "tree/l/to-dir"}, {"outside/precious", "tree/to-file"},
                                     {"nowhere", "tree/x"}, {"outside", "top-link"}, {"outside/precious", "flink"}}) {
    ::symlink(P(target).c_str(), P(link).c_str());
  }
  for (const char* missing : {"tree/a?txt", "tree/*", "tree/x"}) EXPECT_FALSE(PathExists(WP(missing))) << missing;
  EXPECT_FALSE(PathExists(WP("tree/a*")));
  WriteBytes(P("tree/a*"), "");
  EXPECT_TRUE(PathExists(WP("tree/a*")));
  EXPECT_FALSE(PathExists(u""));
  EXPECT_EQ(DeleteTree(WP("tree")), 0u);
  EXPECT_EQ(DeleteFile(WP("flink")), 0u);
  EXPECT_EQ(DeleteTree(WP("top-link/")), 0u);  // the link goes, not what it names
  for (const char* gone : {"tree", "top-link", "flink"}) EXPECT_FALSE(Exists(P(gone))) << gone;
  EXPECT_EQ(DeleteTree(WP("outside/.")), 0u);  // refused, as rm does
  EXPECT_EQ(DeleteTree(WP("outside") + WideString(u"\0/x", 3)), 0u);
  EXPECT_EQ(DeleteFile(WP("outside/precious") + WideString(u"\0/x", 3)), 0u);
  EXPECT_EQ(ReadBytes(P("outside/precious")), "keep");
}

// Each call fails with the hook's code (or has no effect), names its operation and path, and touches nothing.
TEST_F(FileLayerTest, FaultHookFailsOnlyTheChosenOperationAndTouchesNothing) {
  constexpr ErrorCode kFault = 4242;
  const WideString f = WP("f"), d = WP("d"), all = WP("d/*");
  WriteBytes(P("f"), "data");
  ::mkdir(P("d").c_str(), 0700);
  Handle h = Open(f, kGenericRead | kGenericWrite, kOpenExisting);
  std::uint32_t n = 0;
  using enum FileOp;
  const std::tuple<FileOp, WideString, std::function<bool()>> ops[] = {
      {kCreateFile, f, [&] { return CreateFile(f, 0, 0, kOpenExisting, &h, 0) == kFault; }},
      {kReadFile, u"", [&] { return ReadFile(h, nullptr, 0, &n, nullptr) == kFault; }},
      {kWriteFile, u"", [&] { return WriteFile(h, "z", 1, &n, nullptr) == kFault; }},
      {kGetTempFileName, d, [&] { return GetTempFileName(d, u"k", nullptr) == kFault; }},
      {kCreateDirectory, all, [&] { return CreateDirectory(all) == kFault; }}, {kMoveFile, f, [&] { return MoveFile(f, all) == kFault; }},
      {kDeleteTree, d, [&] { return DeleteTree(d) == 0; }}, {kDeleteFile, f, [&] { return DeleteFile(f) == 0; }},
      {kFindFirstFile, f, [&] { return !PathExists(f); }}};
  for (const auto& [chosen, path, failed] : ops) {
    std::pair<FileOp, WideString> last;
    SetFaultHook([&last, op = chosen](FileOp called, const WideString& where) { return last = {called, where}, called == op ? kFault : 0; });
    EXPECT_TRUE(failed()) << int(chosen);
    EXPECT_EQ(int(last.first), int(chosen));
    EXPECT_EQ(U8(last.second), U8(path)) << int(chosen);
    SetFaultHook(nullptr);
    if (chosen <= kWriteFile) { EXPECT_EQ(GetLastError(), kFault) << int(chosen); }  // the calls on handles
  }
  CloseHandle(h);
  EXPECT_EQ(ReadBytes(P("f")), "data");
  EXPECT_EQ(List(P("d")).size(), 0u);  // no temporary file, directory or move
}

// Only what is missing or no regular file gives 2 when opening the kit; the settings reader tells these apart (13).
TEST_F(FileLayerTest, OpeningFailuresAreToldApart) {
  WriteBytes(P("f"), "data");
  ::mkdir(P("d").c_str(), 0700);
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
  ::symlink("loop", P("loop").c_str());  // ours, so it may be followed, in circles
  ::symlink("/dev/null", P("dev").c_str());
  sockaddr_un address{AF_UNIX, {}};  // a socket cannot be opened at all
  P("sock").copy(address.sun_path, sizeof address.sun_path - 1);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << P("sock");
  const std::tuple<const char*, ErrorCode, ErrorCode> cases[] = {{"f", 0, 0}, {"missing", 2, 2}, {"d", 2, 13},
      {"fifo", 2, 13}, {"f/x", 87, 87}, {"loop", 87, 13}, {"dev", 2, 13}, {"sock", 2, 13}};
  for (const auto& [name, opened, read] : cases) {
    ScopedHandle handle;
    std::string bytes;
    EXPECT_EQ(OpenRegularFile(WP(name), handle.out()), opened) << "opening " << name;
    EXPECT_EQ(ReadWholeFile(WP(name), 100, &bytes), read) << "reading " << name;
  }
  ::close(sock);
}

// A FIFO swapped in for the file between the type check and the open blocks neither a read nor the kit's open.
TEST_F(FileLayerTest, FifoSwappedInAfterTheCheckNeverBlocks) {
  WriteBytes(P("f"), "data");
  ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0600), 0);
  const auto swap = [&] { return ::renameat2(AT_FDCWD, P("f").c_str(), AT_FDCWD, P("fifo").c_str(), RENAME_EXCHANGE) == 0; };
  if (!swap()) GTEST_SKIP() << "no RENAME_EXCHANGE here: " << std::strerror(errno);
  const int code = testsupport::ExitCodeInChild([&] {
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
      while (!stop) swap();
    });
    int read = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2); std::chrono::steady_clock::now() < end;) {
      ScopedHandle handle;
      std::string bytes;
      read += OpenRegularFile(WP("f"), handle.out()) == kErrorSuccess;
      read += ReadWholeFile(WP("f"), 100, &bytes) == kErrorSuccess;
    }
    stop = true;
    swapper.join();
    return read > 0 ? 0 : 1;
  }, 30);
  EXPECT_EQ(code, 0) << "-1: blocked on the FIFO until killed; 1: the file was never read";
}

// A file that grows while it is read is refused once it passes the limit, not read on (two 64 KiB reads pass it).
TEST_F(FileLayerTest, GrowingFileIsReadNoFurtherThanTheLimit) {
  WriteBytes(P("grows"), "");
  int reads = 0;
  SetFaultHook([&](FileOp op, const WideString&) {
    if (op == FileOp::kReadFile && ++reads < 40) std::ofstream(P("grows"), std::ios::app) << std::string(100000, 'x');
    return 0u;
  });
  std::string bytes = "kept";
  EXPECT_EQ(ReadWholeFile(WP("grows"), 100000, &bytes), kErrorInvalidData);
  EXPECT_LE(reads, 3) << "read on beyond the limit";
  EXPECT_EQ(bytes, "kept");
}

// Descriptor-relative operations below a root of their own.
class DirOpsTest : public FileLayerTest {
 protected:
  void SetUp() override {
    FileLayerTest::SetUp();
    for (const char* name : {"root", "outside", "root/real"}) ::mkdir(P(name).c_str(), 0755);
    ASSERT_EQ(OpenDirectory(W(P("root")), &root_), kErrorSuccess);
  }
  ScopedHandle root_;
};

TEST_F(DirOpsTest, WalksStayBelowTheRoot) {
  for (const auto& [target, link] : {std::pair<std::string, const char*>{"real", "inside"}, {"../outside", "up"}, {P("outside"), "out"}})
    ::symlink(target.c_str(), P("root/").append(link).c_str());
  std::ofstream(P("root/file")) << "x";
  const std::pair<const char*, ErrorCode> cases[] = {{"", 0}, {"real", 0}, {"inside", 0}, {"inside/", 0}, {"out", kErrorOutsideTree},
      {"up", kErrorOutsideTree}, {"real/../..", kErrorOutsideTree}, {"missing", kErrorFileNotFound}, {"file/x", kErrorInvalidParameter}};
  ScopedHandle made;
  for (const auto& [relative, code] : cases) EXPECT_EQ(OpenBeneath(root_.get(), W(relative), nullptr, &made), code) << relative;
  EXPECT_EQ(OpenBeneath(root_.get(), u"lone\xD800", nullptr, &made), kErrorInvalidParameter);  // never the root
  // Making levels: each missing one once, announced first; one made by someone else meanwhile is used; never
  // through a link that leads out.
  std::vector<std::string> announced;
  const LevelHook hook = [&](Handle parent, const WideString& level) {
    if (U8(level) == "inside/a//b") { EXPECT_EQ(::mkdirat(parent, "b", 0700), 0) << "the race was not set up"; }
    return announced.push_back(U8(level)), 0u;
  };
  EXPECT_EQ(OpenBeneath(root_.get(), u"inside/a//b/c", &hook, &made), kErrorSuccess);
  EXPECT_EQ(announced, (std::vector<std::string>{"inside/a", "inside/a//b", "inside/a//b/c"}));
  EXPECT_TRUE(std::filesystem::is_directory(P("root/real/a/b/c")));
  EXPECT_EQ(OpenBeneath(root_.get(), u"out/new", &hook, &made), kErrorOutsideTree);
  EXPECT_TRUE(std::filesystem::is_empty(P("outside")));
  EXPECT_EQ(GetLastSystemFailure().error, EXDEV);
}

// 2,100 levels, far beyond PATH_MAX, with only 32 descriptors: made, used and removed.
TEST_F(DirOpsTest, DeepTreesWithFewDescriptors) {
  rlimit old {};
  ::getrlimit(RLIMIT_NOFILE, &old);
  const rlimit few{32, old.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
  std::string deep;
  for (int i = 0; i < 2100; ++i) deep += "level/";
  ScopedHandle bottom;
  const LevelHook hook = [](Handle, const WideString&) { return kErrorSuccess; };
  const ErrorCode made = OpenBeneath(root_.get(), W(deep), &hook, &bottom);
  Handle file = kInvalidHandle;
  const ErrorCode created = CreateNewFileAt(bottom.get(), u"leaf", &file);
  CloseHandle(file);
  bottom.Close(), root_.Close();
  DeleteTree(W(P("root")));
  ::setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(made, kErrorSuccess);
  EXPECT_EQ(created, kErrorSuccess);
  EXPECT_FALSE(std::filesystem::exists(P("root")));
}

// A file (copy_file_range), then a pipe, which the kernel copy refuses; the end of the source; a disk full half-way.
TEST_F(DirOpsTest, CopyRangeInKernelOrByHandAndItsFailures) {
  std::ofstream(P("source")) << "0123456789abcdef";
  Handle in = kInvalidHandle, out = kInvalidHandle;
  ASSERT_EQ(CreateFile(W(P("source")), kGenericRead, 0, kOpenExisting, &in, 0), kErrorSuccess);
  ASSERT_EQ(CreateNewFileAt(root_.get(), u"copy", &out), kErrorSuccess);
  char buffer[4], piped[16] = {};
  EXPECT_EQ(CopyRange(in, 3, out, 10, buffer, sizeof buffer), kErrorSuccess);
  CloseHandle(out);
  EXPECT_EQ(std::filesystem::file_size(P("root/copy")), 10u);
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);  // an empty pipe fails the read instead of hanging it
  EXPECT_EQ(CopyRange(in, 3, fds[1], 10, buffer, sizeof buffer), kErrorSuccess);
  EXPECT_EQ(::read(fds[0], piped, sizeof piped), 10);
  EXPECT_STREQ(piped, "3456789abc");
  EXPECT_EQ(CopyRange(in, 10, fds[1], 10, buffer, sizeof buffer), kErrorHandleEof);
  SetFaultHook([](FileOp op, const WideString&) { return op == FileOp::kWriteFile ? kFaultAfterHalf | 112 : 0u; });
  EXPECT_EQ(CopyRange(in, 0, fds[1], 8, buffer, sizeof buffer), 112u);
  EXPECT_EQ(::read(fds[0], piped, sizeof piped), 6 + 4);  // what the source had, then half
  for (const int fd : fds) ::close(fd);
  CloseHandle(in);
}

// The errno and path of a failure belong to its thread; CreateDirectory answers 2 with the errno that tells why.
TEST_F(DirOpsTest, FailuresArePerThread) {
  Handle h = kInvalidHandle;
  EXPECT_EQ(CreateFile(W(P("missing")), kGenericRead, 0, kOpenExisting, &h, 0), 2u);
  std::thread([&] {
    EXPECT_EQ(GetLastSystemFailure().error, 0);
    EXPECT_EQ(CreateNewFileAt(root_.get(), u"x/y", &h), 2u);
    EXPECT_EQ(GetLastSystemFailure().error, ENOENT);
    EXPECT_EQ(U8(GetLastSystemFailure().path), P("root") + "/x/y");
  }).join();
  EXPECT_EQ(GetLastSystemFailure().error, ENOENT);
  EXPECT_EQ(U8(GetLastSystemFailure().path), P("missing"));
  std::ofstream(P("plain")) << "";
  EXPECT_EQ(CreateDirectory(W(P("plain/sub"))), kErrorFileNotFound);
  EXPECT_EQ(GetLastSystemFailure().error, EEXIST);  // "plain" is there, as a file
}

// Only a file system without hard links answers "not supported" (the caller then moves); the working directory.
TEST_F(DirOpsTest, LinksAndTheWorkingDirectory) {
  std::ofstream(P("root/a")) << "a";
  std::ofstream(P("root/b")) << "b";
  EXPECT_EQ(LinkAt(root_.get(), u"a", root_.get(), u"c"), kErrorSuccess);
  EXPECT_EQ(LinkAt(root_.get(), u"a", root_.get(), u"b"), kErrorInvalidParameter);  // the name is taken
  struct stat here {}, shm {};
  ScopedHandle other;  // another file system: the link would be made nowhere
  if (::stat("/dev/shm", &shm) == 0 && ::stat(dir_.c_str(), &here) == 0 && shm.st_dev != here.st_dev) {
    ASSERT_EQ(OpenDirectory(u"/dev/shm", &other), kErrorSuccess);
    EXPECT_EQ(LinkAt(root_.get(), u"a", other.get(), u"ordx-never-made"), kErrorNotSupported);
  }
  WideString cwd;
  EXPECT_EQ(GetCurrentDirectory(&cwd), kErrorSuccess);
  EXPECT_EQ(U8(cwd), std::filesystem::current_path().string());
  ::mkdir(P("gone").c_str(), 0700);
  ASSERT_EQ(::chdir(P("gone").c_str()), 0);
  ::rmdir(P("gone").c_str());
  EXPECT_NE(GetCurrentDirectory(&cwd), kErrorSuccess);
  ASSERT_EQ(::chdir(U8(cwd).c_str()), 0);
}

}  // namespace
}  // namespace ordx
