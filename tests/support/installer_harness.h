// Installer test harness: a private sandbox, the standard kit, dialogs as
// start-up builds them, and a gate that holds the worker.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/installer_dlg.h"
#include "support/deadline.h"

namespace ordx::guitest {

// A fresh folder under $TMPDIR with home/, tmp/ and kit/; HOME and TMPDIR
// point at the first two and kit/ is the working directory while it lives.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string tmp() const { return root_ + "/tmp"; }
  std::string kitDir() const { return root_ + "/kit"; }
  std::string kitPath() const { return kitDir() + "/ordx.dkt"; }
  std::string defaultTarget() const { return home() + "/.ordx/Ordo/ordx/tmplts/"; }  // ends in "/"
  std::string mainStarterFile() const { return home() + "/.Ordo/ordolaunch/ordolaunch.cfg"; }

 private:
  std::string root_, oldCwd_;
  std::vector<std::pair<std::string, std::string>> oldEnv_;  // "" when unset
};

struct KitFile { std::u16string name; std::string bytes; };  // name as stored, "\" separators
// In stored order; the last is ".../TradeLite.cfg".
std::vector<KitFile> StandardKitFiles();
// English and German texts, or only `languageCode`'s when given.
void WriteStandardKit(const std::string& path, const char16_t* languageCode = nullptr);
// Every standard kit file below `dir` (ending in "/") with its bytes.
void ExpectStandardFilesIn(const std::string& dir);

// OpenWizard prepares the dialog and shows the welcome page, as Run does.
std::unique_ptr<CInstallerDlg> NewDialog(bool silent, const char16_t* languageCode = u"en");
bool OpenWizard(CInstallerDlg* dialog);

// Holds a worker thread (from a file-layer fault hook) until opened.
struct Gate {
  std::atomic<bool> open{false}, reached{false};
  void Wait() {
    reached = true;
    testsupport::WaitUntil([this] { return open.load(); }, "the test to open the gate");
  }
};
// The fault-hook test for the standard kit's last file.
bool IsLastFile(FileOp op, const WideString& path);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool PathExists(const std::string& path);
// Every path below `dir`, sorted, with its bytes; directories end with "/".
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& dir);

}  // namespace ordx::guitest
