// A private place for one installer run in-process: HOME, TMPDIR and the
// working directory of its own, the dialog as start-up builds it, and a gate
// that holds the worker thread. For the window tests and the page tour.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/installer_dlg.h"

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

// OpenWizard prepares the dialog and shows the welcome page, as Run does.
std::unique_ptr<CInstallerDlg> NewDialog(bool silent, const char16_t* languageCode = u"en");
bool OpenWizard(CInstallerDlg* dialog);

// Holds a worker thread (from a file-layer fault hook) until opened; after a
// minute it reports a failure and lets the worker go.
struct Gate {
  std::atomic<bool> open{false}, reached{false};
  void Wait();
};

}  // namespace ordx::guitest
