// Files for tests: UTF-8 <-> WideString, whole files read and written, trees
// listed, and a private folder per test (or per process) that TMPDIR, and HOME
// where a suite asks, point into until it is removed.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "text/convert.h"

namespace ordx::testsupport {

namespace fs = std::filesystem;

inline WideString W(const std::string& utf8) { return ToWide(NarrowString(utf8.c_str(), utf8.size())); }
inline std::string Bytes(const NarrowString& text) { return std::string(text.view()); }
inline std::string U8(const WideString& wide) { return Bytes(ToNarrow(wide)); }
inline std::u16string Units(const WideString& wide) { return std::u16string(wide.view()); }

// The whole file, or nothing when it cannot be opened.
inline std::optional<std::string> ReadIfAny(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::optional(std::string(std::istreambuf_iterator<char>(in), {})) : std::nullopt;
}
inline std::string ReadBytes(const fs::path& path) {
  if (std::optional<std::string> bytes = ReadIfAny(path)) return *std::move(bytes);
  throw std::runtime_error("cannot read " + path.string());
}
// Replaces the file's bytes, making its folders first.
inline void WriteBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), std::ssize(bytes))) throw std::runtime_error("cannot write " + path.string());
}

inline std::size_t CountEntries(const fs::path& dir) {
  return static_cast<std::size_t>(std::ranges::distance(fs::directory_iterator(dir)));
}
// "." for `root` and "./" + the relative path of every node below it, each
// with what `show` says of it; links are not followed; none without `root`.
using Tree = std::map<std::string, std::string>;
inline Tree ListTree(const fs::path& root, const std::function<std::string(const fs::path&)>& show = nullptr) {
  Tree tree;
  const auto add = [&](const fs::path& path) {
    tree[std::string(".").append(path.string(), root.string().size())] = show ? show(path) : "";
  };
  std::error_code ec;
  if (fs::exists(fs::symlink_status(root, ec))) add(root);
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) add(it->path());
  return tree;
}

// A fresh folder under $TMPDIR with tmp/ (and home/) private to the user; TMPDIR
// (and HOME) point there while it lives, then back, and the folder goes.
class TempTree {
 public:
  explicit TempTree(bool privateHome = false)
      : root_(MakeRoot()), tmp_(root_ / "tmp"), home_(privateHome ? root_ / "home" : fs::path()) {
    for (const auto& [name, dir] : {std::pair{"TMPDIR", &tmp_}, std::pair{"HOME", &home_}}) {
      if (dir->empty()) continue;
      fs::create_directory(*dir);
      fs::permissions(*dir, fs::perms::owner_all);
      const char* old = getenv(name);
      saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      setenv(name, dir->c_str(), 1);
    }
  }
  ~TempTree() {
    for (const auto& [name, value] : saved_) value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  std::string Path(const std::string& rel) const { return (root_ / rel).string(); }

  const fs::path root_, tmp_, home_;  // home_ is empty when HOME stays

 private:
  static fs::path MakeRoot() {
    std::string pattern = fs::temp_directory_path() / "ordx-test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    return pattern;
  }
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// `strict` also fails a test that leaks a descriptor or leaves anything in TMPDIR.
struct TempTreeOptions { bool privateHome = false, strict = false; };

// The fixture form.
class TempTreeTest : public ::testing::Test, protected TempTree {
 protected:
  explicit TempTreeTest(TempTreeOptions options = {}) : TempTree(options.privateHome), strict_(options.strict) {}
  ~TempTreeTest() override {  // after the derived fixtures' members (open files) are gone
    if (!strict_) return;
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors_) << "a descriptor leaked";
    EXPECT_EQ(CountEntries(tmp_), 0u) << "something was left in TMPDIR";
  }

 private:
  const bool strict_;
  const std::size_t descriptors_ = CountEntries("/proc/self/fd");
};

}  // namespace ordx::testsupport
