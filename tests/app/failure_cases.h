// The failures a user can cause or meet, each with the message it must give:
// one table, run against the headless program (standard error, exit status)
// and against the window (the error box, the page it ends on). Header only,
// shared by both suites.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/kit_builder.h"
#include "support/installer_harness.h"

namespace ordx::failtest {

// Small file systems mounted for one case, gone with it (lazily, so an open
// file of a finished run cannot keep them).
class Mounts {
 public:
  Mounts() = default;
  Mounts(const Mounts&) = delete;
  Mounts& operator=(const Mounts&) = delete;
  ~Mounts() {
    for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
  }
  // A tmpfs on `dir` (made when missing) with mount options such as
  // "size=64k"; "" or why it cannot be mounted.
  std::string Tmpfs(const std::string& dir, const std::string& options, bool readOnly = false) {
    std::filesystem::create_directories(dir);
    if (mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
      return "cannot mount a tmpfs (" + std::string(std::strerror(errno)) + "); needs root";
    }
    dirs_.push_back(dir);
    return "";
  }

 private:
  std::vector<std::string> dirs_;
};

enum class Stage {
  kPreparation,  // before any window: one box, no window, headless exit 1
  kTarget,       // Next on the directory page: one box, the page stays, exit 1
  kCopy,         // during the copy: rolled back, error box, error page, exit 2
};

struct FailureCase {
  const char* name;
  // Spoils the sandbox (files, kit, mounts); "" or the reason to skip.
  std::function<std::string(const guitest::Sandbox&, Mounts*)> spoil;
  Stage stage;
  // The box's lines; "{target}" stands for the template directory.
  std::vector<std::string> lines;
};

inline std::string Target(const guitest::Sandbox& box) {
  const std::string target = box.defaultTarget();
  return target.substr(0, target.size() - 1);
}

inline std::string Expand(std::string line, const guitest::Sandbox& box) {
  const std::size_t at = line.find("{target}");
  return at == std::string::npos ? line : line.replace(at, 8, Target(box));
}

// What the box shows: the lines, one under the other.
inline std::string BoxText(const FailureCase& c, const guitest::Sandbox& box) {
  std::string text;
  // Appended piece by piece: GCC 12 reports a false -Wrestrict overlap for a
  // literal prepended to a temporary string.
  for (const std::string& line : c.lines) {
    if (!text.empty()) text += '\n';
    text += Expand(line, box);
  }
  return text;
}

// What a headless run prints: one line, the place quoted, the reason after
// a colon.
inline std::string ConsoleText(const FailureCase& c, const guitest::Sandbox& box) {
  std::string text = Expand(c.lines[0], box);
  if (c.lines.size() > 1) text += " \"" + Expand(c.lines[1], box) + "\"";
  if (c.lines.size() > 2) text += ": " + Expand(c.lines[2], box);
  return text + "\n";
}

// The standard kit with `extra` bytes in one more file, and maybe an entry
// whose bytes the kit does not hold.
inline void WriteKit(const std::string& path, std::size_t extra, bool cutShort = false) {
  kittest::KitBuilder builder;
  builder.SetSingle(u"Trade Lite", u"Northwind Software", u"");
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    builder.AddFile(file.name, file.bytes);
  }
  if (extra != 0) builder.AddFile(u"TradeLite\\2.1.4\\data.bin", std::string(extra, '\0'));
  std::size_t size = 0;
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) size += file.bytes.size();
  // A name far wider than any screen line, so that the box has to wrap it.
  if (cutShort) {
    builder.AddEntry(u"TradeLite\\2.1.4\\" + std::u16string(180, u'x') + u".cfg",
                     130013280000000000ull, static_cast<std::uint32_t>(size + extra), 100);
  }
  kittest::WriteKit(path, builder.Build());
}

inline std::vector<FailureCase> FailureCases() {
  namespace fs = std::filesystem;
  using guitest::Sandbox;
  const std::string error = "Installation error";
  return {
      {"read-only directory",
       [](const Sandbox& box, Mounts* m) {
         return m->Tmpfs(box.defaultTarget(), "size=64k", true);
       },
       Stage::kCopy, {error, "{target}", "The file system is read-only."}},
      {"folder in the way",
       [](const Sandbox& box, Mounts*) {
         fs::create_directories(box.defaultTarget() + "TradeLite/2.1.4/manifest.ini");
         return std::string();
       },
       Stage::kCopy,
       {error, "TradeLite/2.1.4/manifest.ini", "A folder stands where the kit has a file."}},
      {"file in the way",
       [](const Sandbox& box, Mounts*) {
         guitest::WriteFileBytes(box.defaultTarget() + "TradeLite/2.1.4/docs", "in the way");
         return std::string();
       },
       Stage::kCopy, {error, "TradeLite/2.1.4/docs", "A file stands where the kit has a folder."}},
      {"no space left in the target",
       [](const Sandbox& box, Mounts* m) {
         // One page left: enough by the byte count of the kit, but the
         // journal takes it before the first file.
         std::string why = m->Tmpfs(box.defaultTarget(), "size=64k");
         if (why.empty()) {
           guitest::WriteFileBytes(box.defaultTarget() + "filler", std::string(60 * 1024, 'f'));
         }
         return why;
       },
       Stage::kCopy,
       {error, "TradeLite/2.1.4/manifest.ini", "No space left on the device."}},
      {"kit ends early",
       [](const Sandbox& box, Mounts*) {
         WriteKit(box.kitPath(), 0, true);
         return std::string();
       },
       Stage::kCopy,
       {error, "TradeLite/2.1.4/" + std::string(180, 'x') + ".cfg",
        "The distribution kit ends too early."}},
      {"link out of the target",
       [](const Sandbox& box, Mounts*) {
         fs::create_directories(box.defaultTarget());
         fs::create_directories(box.root() + "/outside");
         fs::create_directory_symlink(box.root() + "/outside", box.defaultTarget() + "TradeLite");
         return std::string();
       },
       Stage::kCopy, {error, "TradeLite", "A link leads outside the template directory."}},
      {"TMPDIR read-only",
       [](const Sandbox& box, Mounts* m) { return m->Tmpfs(box.tmp(), "size=1m", true); },
       Stage::kPreparation, {"The temporary directory cannot be used."}},
      {"TMPDIR fills while unpacking",
       [](const Sandbox& box, Mounts* m) {
         WriteKit(box.kitPath(), 1024 * 1024);  // a few KiB packed, 1 MiB unpacked
         return m->Tmpfs(box.tmp(), "size=256k");
       },
       Stage::kPreparation, {"Insufficient space available in the directory Temp."}},
      {"target too small",
       [](const Sandbox& box, Mounts* m) {
         WriteKit(box.kitPath(), 128 * 1024);
         return m->Tmpfs(box.defaultTarget(), "size=64k");
       },
       Stage::kTarget, {"Insufficient space available in the template directory."}},
  };
}

}  // namespace ordx::failtest
