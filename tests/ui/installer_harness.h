// Test harness for the installer dialog: a private sandbox (HOME, TMPDIR and
// a kit folder that becomes the working directory), a realistic kit, and
// dialogs built the way start-up builds them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/installer_dlg.h"

namespace ordx::guitest {

// Kit entry times of the standard kit: 2013-01-01 00:00:00 UTC.
inline constexpr std::uint64_t kKitFileTime = 130014720000000000ull;
inline constexpr std::int64_t kKitUnixTime = 1356998400;

// A fresh folder under $TMPDIR with home/, tmp/ and kit/; HOME and TMPDIR
// point at the first two and the working directory is kit/ while it lives.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string tmp() const { return root_ + "/tmp"; }
  std::string kitDir() const { return root_ + "/kit"; }
  std::string kitPath() const { return kitDir() + "/ordx.dkt"; }
  // The default template directory, with its trailing slash.
  std::string defaultTarget() const { return home() + "/.ordx/Ordo/ordx/tmplts/"; }
  std::string mainStarterFile() const { return home() + "/.Ordo/ordolaunch/ordolaunch.cfg"; }

 private:
  std::string root_;
  std::string oldHome_;
  std::string oldTmp_;
  std::string oldCwd_;
  bool hadHome_ = false;
  bool hadTmp_ = false;
};

struct KitFile {
  std::u16string name;  // as stored, "\" separators
  std::string bytes;
};

// The standard kit's files, in stored order.
std::vector<KitFile> StandardKitFiles();
// A kit with English, German and Russian texts (Russian without a
// description path) and the standard files.
std::string StandardKitContainer();
void WriteStandardKit(const std::string& path);

// A dialog as start-up builds it, looking for the kit in the working
// directory.
std::unique_ptr<CInstallerDlg> NewDialog(bool silent, const char16_t* languageCode = u"en");
// Prepare, window and welcome page, as Run does before its main loop.
bool OpenWizard(CInstallerDlg* dialog);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Every path below `dir` (relative, sorted) with its bytes; directories end
// with "/" and have no bytes.
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& dir);

}  // namespace ordx::guitest
