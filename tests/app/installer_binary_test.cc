// The real ordx-install binary without a display: the silent run's exit
// statuses and messages, and the interactive run's refusal.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/installer_process.h"
#include "ui/installer_harness.h"

namespace ordx {
namespace {

namespace fs = std::filesystem;

// --- No display.

TEST_F(InstallerProcessTest, HeadlessSilentRunInstallsAndRegisters) {
  const Outcome outcome = RunHeadless({"/S"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  for (const guitest::KitFile& file : guitest::StandardKitFiles()) {
    std::string name(file.name.begin(), file.name.end());  // ASCII names
    std::replace(name.begin(), name.end(), '\\', '/');
    EXPECT_EQ(guitest::ReadFileBytes(sandbox_->defaultTarget() + name), file.bytes) << name;
  }
  std::string registered = sandbox_->defaultTarget();
  registered.pop_back();
  EXPECT_EQ(guitest::ReadFileBytes(sandbox_->mainStarterFile()),
            "ConfigurationTemplatesLocation=" + registered + "\n");
  // The unpacked kit and the backups are gone.
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerProcessTest, HeadlessMissingKitIsPreparationFailure) {
  fs::remove(sandbox_->kitPath());
  const Outcome outcome = RunHeadless({"-s"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Distribution kit file ordx.dkt not found.\n");
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
}

TEST_F(InstallerProcessTest, HeadlessDamagedKitIsPreparationFailure) {
  std::string bytes = guitest::ReadFileBytes(sandbox_->kitPath());
  bytes.resize(bytes.size() / 2);
  guitest::WriteFileBytes(sandbox_->kitPath(), bytes);
  const Outcome outcome = RunHeadless({"/S"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err,
            "Distribution kit file ordx.dkt corrupted or not designed for this installation "
            "program.\n");
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
}

TEST_F(InstallerProcessTest, HeadlessRunWithoutDirectoryIsPreparationFailure) {
  // A home directory that reads as an address leaves no directory to
  // propose.
  home_ = sandbox_->root() + "/ftp://h";
  fs::create_directories(home_);
  const Outcome outcome = RunHeadless({"/S"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "Installation of templates to the current directory is not supported.\n");
  EXPECT_TRUE(fs::is_empty(home_));
  EXPECT_EQ(guitest::Snapshot(sandbox_->kitDir()).size(), 2u);  // program and kit
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerProcessTest, HeadlessFailedInstallationIsRolledBack) {
  // A plain file where the kit needs a directory makes the copy fail after
  // the first file was written.
  const std::string target = sandbox_->defaultTarget();
  guitest::WriteFileBytes(target + "TradeLite/2.1.4/docs", "in the way");
  const auto before = guitest::Snapshot(target);
  const Outcome outcome = RunHeadless({"/S"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, "Installation error\n");
  EXPECT_EQ(guitest::Snapshot(target), before);
  EXPECT_FALSE(guitest::PathExists(sandbox_->mainStarterFile()));
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

TEST_F(InstallerProcessTest, InteractiveRunWithoutDisplaySaysSoOnOneLine) {
  const Outcome outcome = RunHeadless({});
  EXPECT_NE(outcome.status, 0);
  ASSERT_FALSE(outcome.err.empty());
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  EXPECT_NE(outcome.err.find("/S"), std::string::npos);
  EXPECT_FALSE(guitest::PathExists(sandbox_->home() + "/.ordx"));
  EXPECT_TRUE(fs::is_empty(sandbox_->tmp()));
}

}  // namespace
}  // namespace ordx
