// Descriptor-relative operations: walks below a root that never leave it through a link, trees
// deeper than PATH_MAX with few descriptors, the kernel copy and its fallback, and the
// per-thread errno and path of a failure. (Times and the lock are proven by the engine's sweeps.)
#include "fs/dir_ops.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "text/convert.h"

namespace ordx {
namespace {

WideString W(const std::string& s) { return ToWide(NarrowString(s.c_str())); }
std::string N(const WideString& s) { return ToNarrow(s).c_str(); }

class DirOpsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/dir_ops_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    for (const char* name : {"root", "outside", "root/real"}) ::mkdir(P(name).c_str(), 0755);
    ASSERT_EQ(OpenDirectory(W(P("root")), &root_), kErrorSuccess);
  }
  void TearDown() override {
    SetFaultHook(nullptr);
    root_.Close();
    DeleteTree(W(dir_));
  }
  std::string P(const std::string& rel) const { return dir_ + "/" + rel; }
  std::string dir_;
  ScopedHandle root_;
};

TEST_F(DirOpsTest, WalksStayBelowTheRoot) {
  for (const auto& [target, link] : {std::pair{"real", "inside"}, {"../outside", "up"}}) ::symlink(target, P("root/").append(link).c_str());
  ::symlink(P("outside").c_str(), P("root/out").c_str());
  std::ofstream(P("root/file")) << "x";
  const std::pair<const char*, ErrorCode> cases[] = {
      {"", 0}, {"real", 0}, {"inside", 0}, {"inside/", 0}, {"out", kErrorOutsideTree}, {"up", kErrorOutsideTree},
      {"real/../..", kErrorOutsideTree}, {"missing", kErrorFileNotFound}, {"file/x", kErrorInvalidParameter}};
  for (const auto& [relative, code] : cases) {
    ScopedHandle out;
    EXPECT_EQ(OpenBeneath(root_.get(), W(relative), nullptr, &out), code) << relative;
  }
  ScopedHandle made;
  EXPECT_EQ(OpenBeneath(root_.get(), u"lone\xD800", nullptr, &made), kErrorInvalidParameter);  // never the root
  // Making levels: each missing one once, announced first; never through a link that leads out.
  std::vector<std::string> announced;
  const LevelHook hook = [&](Handle, const WideString& level) { return announced.push_back(N(level)), 0u; };
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
  if (file != kInvalidHandle) CloseHandle(file);
  bottom.Close();
  root_.Close();
  DeleteTree(W(P("root")));
  ::setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(made, kErrorSuccess);
  EXPECT_EQ(created, kErrorSuccess);
  EXPECT_FALSE(std::filesystem::exists(P("root")));
}

// A file (copy_file_range), then a pipe, which the kernel copy refuses; the end of the source;
// a disk that fills half-way: half of it arrives, then the failure.
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
  ASSERT_EQ(::pipe(fds), 0);
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

// The errno and path of a failure belong to the thread that failed; every failure of
// CreateDirectory answers 2, with the errno that tells why.
TEST_F(DirOpsTest, FailuresArePerThread) {
  Handle h = kInvalidHandle;
  EXPECT_EQ(CreateFile(W(P("missing")), kGenericRead, 0, kOpenExisting, &h, 0), 2u);
  std::thread([&] {
    EXPECT_EQ(GetLastSystemFailure().error, 0);
    EXPECT_EQ(CreateNewFileAt(root_.get(), u"x/y", &h), 2u);
    EXPECT_EQ(GetLastSystemFailure().error, ENOENT);
    EXPECT_EQ(N(GetLastSystemFailure().path), P("root") + "/x/y");
  }).join();
  EXPECT_EQ(GetLastSystemFailure().error, ENOENT);
  EXPECT_EQ(N(GetLastSystemFailure().path), P("missing"));
  std::ofstream(P("plain")) << "";
  EXPECT_EQ(CreateDirectory(W(P("plain/sub"))), kErrorFileNotFound);
  EXPECT_EQ(GetLastSystemFailure().error, EEXIST);  // "plain" is there, as a file
}

// Only a file system without hard links answers "not supported" (the caller then moves the file
// instead); the working directory is known, and its loss is a failure.
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
  EXPECT_EQ(N(cwd), std::filesystem::current_path().string());
  ::mkdir(P("gone").c_str(), 0700);
  ASSERT_EQ(::chdir(P("gone").c_str()), 0);
  ::rmdir(P("gone").c_str());
  EXPECT_NE(GetCurrentDirectory(&cwd), kErrorSuccess);
  ASSERT_EQ(::chdir(N(cwd).c_str()), 0);
}

}  // namespace
}  // namespace ordx
