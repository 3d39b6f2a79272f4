#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

// Checks that a component cleaned up after the processes and descriptors it used.
namespace meterwright::testing::ProcessChecks {

// How many descriptors this process has open.
inline int openDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count - 1;  // the iterator's own
}

// True when `pid` is no longer a child of this process waiting to be reaped (or running).
inline bool wasReaped(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0 &&
         errno == ECHILD;
}

// Whether `pid` is gone or a zombie that nobody but its new parent can reap. Waits up to two
// seconds for the kernel to deliver a kill that has already been sent.
inline bool processEnds(pid_t pid) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (true) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    std::size_t close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z')
      return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace meterwright::testing::ProcessChecks
