#pragma once

#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

// Checks that a component cleaned up after the processes and descriptors it used, and kept time.
namespace meterwright::testing::ProcessChecks {

inline int openDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count - 1;  // the iterator's own
}

// True when `pid` is no longer a child of this process, running or waiting to be reaped.
inline bool wasReaped(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0 &&
         errno == ECHILD;
}

// Whether `condition` holds within `seconds`, asked every few milliseconds: for a state that
// another thread or process brings about and that no callback announces.
template <typename Condition>
bool eventually(Condition&& condition, double seconds = 20) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Whether `pid` is gone or a zombie only its new parent can reap. Waits up to two seconds for the
// kernel to deliver a kill that has already been sent.
inline bool processEnds(pid_t pid) {
  return eventually(
      [pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return true;
        std::size_t close = line.rfind(')');
        return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
      },
      2);
}

// Seconds `call` took, to check it kept to a deadline. Upper margins in tests are generous: the
// suites run under sanitizers on a shared machine.
template <typename Call>
double secondsTaken(Call&& call) {
  auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace meterwright::testing::ProcessChecks
