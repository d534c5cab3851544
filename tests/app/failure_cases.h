// The failures a user can cause or meet, each with the message it must give
// and where the run stops.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/installer_harness.h"
#include "support/kit_builder.h"

namespace ordx::failtest {

// Small file systems and locks held for one case, gone with it (unmounted
// lazily, so an open file of a finished run cannot keep them).
struct Held {
  ~Held() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
    for (const int fd : locks_) close(fd);
  }
  // "" or why the tmpfs cannot be mounted (the case is then skipped).
  std::string Tmpfs(const std::string& dir, const char* options, bool readOnly = false) {
    std::filesystem::create_directories(dir);
    if (mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options) != 0) {
      return "cannot mount a tmpfs; needs root";
    }
    mounts_.push_back(dir);
    return "";
  }
  // As another installer holds a target directory.
  std::string Lock(const std::string& dir) {
    std::filesystem::create_directories(dir);
    locks_.push_back(open(dir.c_str(), O_RDONLY | O_DIRECTORY));
    return flock(locks_.back(), LOCK_EX) == 0 ? "" : "cannot lock";
  }

  std::vector<std::string> mounts_;
  std::vector<int> locks_;
};

enum class Stage {
  kPreparation,  // before anything is touched: exit 1
  kTarget,       // taking the template directory: exit 1
  kCopy,         // the copy, rolled back: exit 2
};

struct FailureCase {
  const char* name;
  Stage stage;
  std::function<std::string(const guitest::Sandbox&, Held*)> spoil;  // "" or why to skip
  std::vector<std::string> lines;  // what failed, where, why
};

// One line: the place quoted, the reason after a colon.
inline std::string ConsoleText(const FailureCase& c) {
  std::string text = c.lines[0];
  if (c.lines.size() > 1) text += " \"" + c.lines[1] + "\"";
  if (c.lines.size() > 2) text += ": " + c.lines[2];
  return text + "\n";
}

// The standard kit with `extra` bytes in one more file; `cutShort` adds an
// entry the kit has no bytes for, its name long and printf-like.
inline void WriteKit(const std::string& path, std::size_t extra, bool cutShort = false) {
  kittest::KitBuilder builder;
  builder.SetSingle(u"Trade Lite", u"Northwind Software", u"");
  std::size_t size = extra;
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    builder.AddFile(file.name, file.bytes);
    size += file.bytes.size();
  }
  if (extra != 0) builder.AddFile(u"TradeLite\\2.1.4\\data.bin", std::string(extra, '\0'));
  if (cutShort) {
    builder.AddEntry(u"TradeLite\\2.1.4\\%s%n" + std::u16string(180, u'x') + u".cfg",
                     130013280000000000ull, static_cast<std::uint32_t>(size), 100);
  }
  kittest::WriteKit(path, builder.Build());
}

inline std::vector<FailureCase> FailureCases(const guitest::Sandbox& box) {
  namespace fs = std::filesystem;
  using guitest::Sandbox;
  const std::string error = "Installation error", target = box.defaultTarget();
  return {
      {"kit missing", Stage::kPreparation,
       [](const Sandbox& b, Held*) { return fs::remove(b.kitPath()) ? "" : "no kit"; },
       {"Distribution kit file ordx.dkt not found."}},
      {"kit damaged", Stage::kPreparation,
       [](const Sandbox& b, Held*) { return guitest::WriteFileBytes(b.kitPath(), "no kit"), ""; },
       {"Distribution kit file ordx.dkt corrupted or not designed for this installation program."}},
      {"kit thrice larger than TMPDIR's free space", Stage::kPreparation,
       [](const Sandbox& b, Held*) {
         struct statvfs info {};
         statvfs(b.tmp().c_str(), &info);  // a sparse kit, half as large again
         return truncate(b.kitPath().c_str(), off_t(info.f_frsize * info.f_bfree / 2)) == 0 ? "" : "no";
       },
       {"Insufficient space available in the directory Temp."}},
      {"TMPDIR fills while unpacking", Stage::kPreparation,
       [](const Sandbox& b, Held* h) {
         WriteKit(b.kitPath(), 1024 * 1024);  // a few KiB packed
         return h->Tmpfs(b.tmp(), "size=256k");
       },
       {"Insufficient space available in the directory Temp."}},
      {"TMPDIR read-only", Stage::kPreparation,
       [](const Sandbox& b, Held* h) { return h->Tmpfs(b.tmp(), "size=1m", true); },
       {"The temporary directory cannot be used."}},
      // No directory to propose: never the working directory instead.
      {"home reads as an address", Stage::kPreparation,
       [](const Sandbox& b, Held*) {
         fs::create_directories(b.root() + "/http://h");
         return setenv("HOME", (b.root() + "/http://h").c_str(), 1) == 0 ? "" : "setenv";
       },
       {"Installation of templates to the current directory is not supported."}},
      {"target held by another installer", Stage::kTarget,
       [target](const Sandbox&, Held* h) { return h->Lock(target); },
       {"Another installation into this directory is running. Try again when it has finished."}},
      {"target too small", Stage::kTarget,
       [target](const Sandbox& b, Held* h) {
         WriteKit(b.kitPath(), 128 * 1024);
         return h->Tmpfs(target, "size=64k");
       },
       {"Insufficient space available in the template directory."}},
      {"read-only target", Stage::kCopy,
       [target](const Sandbox&, Held* h) { return h->Tmpfs(target, "size=64k", true); },
       {error, target.substr(0, target.size() - 1), "The file system is read-only."}},
      {"folder in the way", Stage::kCopy,
       [target](const Sandbox&, Held*) {
         return fs::create_directories(target + "TradeLite/2.1.4/manifest.ini"), "";
       },
       {error, "TradeLite/2.1.4/manifest.ini", "A folder stands where the kit has a file."}},
      {"file in the way", Stage::kCopy,
       [target](const Sandbox&, Held*) {
         return guitest::WriteFileBytes(target + "TradeLite/2.1.4/docs", "in the way"), "";
       },
       {error, "TradeLite/2.1.4/docs", "A file stands where the kit has a folder."}},
      // Enough room by the kit's byte count, but the journal takes the last page.
      {"no space left in the target", Stage::kCopy,
       [target](const Sandbox&, Held* h) {
         const std::string why = h->Tmpfs(target, "size=64k");
         guitest::WriteFileBytes(target + "filler", std::string(60 * 1024, 'f'));
         return why;
       },
       {error, "TradeLite/2.1.4/manifest.ini", "No space left on the device."}},
      {"kit ends early", Stage::kCopy,
       [](const Sandbox& b, Held*) { return WriteKit(b.kitPath(), 0, true), ""; },
       {error, "TradeLite/2.1.4/%s%n" + std::string(180, 'x') + ".cfg",
        "The distribution kit ends too early."}},
      {"link out of the target", Stage::kCopy,
       [target](const Sandbox& b, Held*) {
         fs::create_directories(target);
         fs::create_directories(b.root() + "/outside");
         fs::create_directory_symlink(b.root() + "/outside", target + "TradeLite");
         return "";
       },
       {error, "TradeLite", "A link leads outside the template directory."}},
  };
}

}  // namespace ordx::failtest
