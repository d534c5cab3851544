// The installer sandbox.
#include "installer_sandbox.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "window_driver.h"

namespace ordx::guitest {
namespace fs = std::filesystem;

Sandbox::Sandbox() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/installer.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const std::string& dir : {home(), tmp(), kitDir()}) fs::create_directory(dir);
  for (const char* name : {"HOME", "TMPDIR"}) oldEnv_.emplace_back(name, getenv(name) ? getenv(name) : "");
  setenv("HOME", home().c_str(), 1);
  setenv("TMPDIR", tmp().c_str(), 1);
  oldCwd_ = fs::current_path().string();
  fs::current_path(kitDir());
}

Sandbox::~Sandbox() {
  std::error_code ec;
  fs::current_path(oldCwd_, ec);
  for (const auto& [name, value] : oldEnv_) {
    value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
  }
  fs::remove_all(root_, ec);
}

std::unique_ptr<CInstallerDlg> NewDialog(bool silent, const char16_t* languageCode) {
  static char program[] = "ordx-install";
  static char* argv[] = {program, nullptr};
  return std::make_unique<CInstallerDlg>(1, argv, silent, NarrowString("Installing configuration"),
                                         WideString(languageCode), /*useCwd=*/true);
}

bool OpenWizard(CInstallerDlg* dialog) {
  if (!dialog->Prepare()) return false;
  dialog->CreateMainWindow();
  dialog->ShowWelcomePage();
  return true;
}

void Gate::Wait() {
  reached = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!open.load()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ReportFailure("the worker waited a minute at the gate");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace ordx::guitest
