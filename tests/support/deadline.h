// Waits with a deadline: a hang fails the test with a message saying what
// it waited for, instead of running into ctest's timeout.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace ordx::testsupport {

// Polls `done` about every millisecond. True once it holds; false, with a
// test failure naming `what`, when it still does not after `seconds`.
template <typename Done>
bool WaitUntil(Done done, const std::string& what, int seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "still waiting after " << seconds << " s for " << what;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Reaps child `pid` into `*status`. After `seconds` the child is killed and
// reaped, the test fails and the result is false.
inline bool WaitForChild(pid_t pid, int* status, int seconds = 60) {
  const bool ended = WaitUntil([&] { return waitpid(pid, status, WNOHANG) == pid; },
                               "child " + std::to_string(pid) + " to end", seconds);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, status, 0);
  }
  return ended;
}

// Runs `body` in a forked child and gives its exit code (128 + signal when
// killed, -1 after `seconds`): what blocks or changes the process stays there.
inline int ExitCodeInChild(const std::function<int()>& body, int seconds = 60) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  if (child < 0 || !WaitForChild(child, &status, seconds)) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace ordx::testsupport
