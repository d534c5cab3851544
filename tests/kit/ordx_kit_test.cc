// ordx-kit end to end: the real binary packs a tree into the container the
// reader expects, lists it under the C locale, and refuses names a kit cannot hold.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "kit/kit_reader.h"
#include "kit_test_util.h"

namespace ordx::kittest {
namespace {

class OrdxKitTest : public KitTest {
 protected:
  // Runs in the test's folder under LC_ALL=C: the exit status; out_ and err_ get its output.
  int Tool(const std::string& args) {
    const std::string command = "cd '" + root_.string() + "' && LC_ALL=C '" ORDX_KIT_BINARY "' " + args;
    const int status = std::system((command + " >out 2>err").c_str());
    out_ = ReadBytes(Path("out"));
    err_ = ReadBytes(Path("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // A file of the tree `src`, modified when the builder's files are, + `ns`.
  void MakeFile(const std::string& name, long ns = 0) {
    WriteBytes(Path("src/" + name), "bytes of " + name);
    const timespec times[2] = {{1356854400, ns}, {1356854400, ns}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path("src/" + name).c_str(), times, 0), 0);
  }
  std::string out_, err_;
};

TEST_F(OrdxKitTest, PackListAndRefuse) {
  MakeFile("b", 123456789);
  MakeFile("данные/файл");
  // A kit named in UTF-8 under LC_ALL=C.
  ASSERT_EQ(Tool("pack src -o kit-ü --lang en P V b --lang ru П В '' --precise-times"), 0) << err_;
  KitReader reader;  // the builder is an independent writer of the same container
  ASSERT_EQ(reader.Open(W(Path("kit-ü"))), 0u);
  const std::string unpacked = ReadBytes("/proc/self/fd/" + std::to_string(reader.file()));
  EXPECT_TRUE(unpacked == KitBuilder().AddDescription(u"en", u"P", u"V", u"b")
                              .AddDescription(u"ru", u"П", u"В", u"")
                              .AddFile(u"b", "bytes of b", 130013280001234567ull)
                              .AddFile(u"данные\\файл", "bytes of данные/файл").Build());
  EXPECT_EQ(Tool("list kit-ü"), 0) << err_;
  EXPECT_EQ(out_, "10\t130013280001234567\tb\n30\t130013280000000000\tданные\\файл\n");
  MakeFile("bad\xff" "name");  // not UTF-8: refused, nothing is left
  EXPECT_EQ(Tool("pack src -o new"), 1);
  EXPECT_NE(err_.find("not valid UTF-8"), std::string::npos) << err_;
  EXPECT_EQ(CountEntries(root_), 5u) << "a kit or temporary file was left";
}

}  // namespace
}  // namespace ordx::kittest
