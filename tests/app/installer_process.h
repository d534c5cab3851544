// Test fixture that runs the real ordx-install binary in a sandbox: the
// program copied into its own folder beside the standard kit, HOME and
// TMPDIR private, standard output and error captured.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/installer_harness.h"

namespace ordx {

struct Outcome {
  int status = -1;  // exit status, or -1 when killed
  std::string out;
  std::string err;
};

class InstallerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_ = std::make_unique<guitest::Sandbox>();
    // The kit is looked for beside the program: give the program its own
    // folder with the kit next to it.
    program_ = sandbox_->kitDir() + "/ordx-install";
    std::filesystem::copy_file(ORDX_INSTALL_BINARY, program_);
    guitest::WriteStandardKit(sandbox_->kitPath());
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    sandbox_.reset();
  }

  std::vector<std::string> Environment(bool withDisplay) const {
    std::vector<std::string> env = {"HOME=" + (home_.empty() ? sandbox_->home() : home_),
                                    "TMPDIR=" + sandbox_->tmp(),
                                    "LC_ALL=C.UTF-8", "PATH=" + path_,
                                    "LSAN_OPTIONS=suppressions=" ORDX_SUPPRESSIONS_DIR "/lsan.supp",
                                    "TSAN_OPTIONS=suppressions=" ORDX_SUPPRESSIONS_DIR "/tsan.supp"};
    const char* display = getenv("DISPLAY");
    if (withDisplay && display != nullptr) env.push_back(std::string("DISPLAY=") + display);
    return env;
  }

  void Start(const std::vector<std::string>& args, bool withDisplay) {
    std::vector<std::string> argStore = {program_};
    argStore.insert(argStore.end(), args.begin(), args.end());
    const std::vector<std::string> envStore = Environment(withDisplay);
    std::vector<char*> argv;
    for (const auto& a : argStore) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : envStore) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (sandbox_->root() + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (sandbox_->root() + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawn(&child_, program_.c_str(), &actions, nullptr, argv.data(),
                               envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(rc, 0);
  }

  // Waits for the child; a run that hangs is killed after a generous limit
  // (a safety net, not a speed check).
  Outcome Wait() {
    Outcome outcome;
    int wstatus = 0;
    for (int i = 0; i < 1200; ++i) {
      const pid_t done = waitpid(child_, &wstatus, WNOHANG);
      if (done == child_) {
        child_ = -1;
        if (WIFEXITED(wstatus)) outcome.status = WEXITSTATUS(wstatus);
        break;
      }
      usleep(100 * 1000);
    }
    if (child_ > 0) {
      ADD_FAILURE() << "the installer did not end";
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
      child_ = -1;
    }
    outcome.out = guitest::ReadFileBytes(sandbox_->root() + "/stdout");
    outcome.err = guitest::ReadFileBytes(sandbox_->root() + "/stderr");
    return outcome;
  }

  Outcome RunHeadless(const std::vector<std::string>& args) {
    Start(args, false);
    return Wait();
  }

  std::unique_ptr<guitest::Sandbox> sandbox_;
  std::string program_;
  std::string path_ = "/usr/local/bin:/usr/bin:/bin";
  std::string home_;  // HOME of the child when not the sandbox's
  pid_t child_ = -1;
};

}  // namespace ordx
