#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/usage/Snapshot.h"

namespace meterwright {

// `--follow`: stays running and writes the status line on start and whenever it changes, for
// status bars that keep one process (Waybar's continuous exec, polybar's tail, i3blocks' persist).
// Every part says when it next needs to run and the loop sleeps until the earliest: the next
// reading, a change of the stored reading (another process fetched), a signal, or the reader of
// the output going away. Readings run on a worker thread so that the loop answers at once.
//
// It ends with status 0 on SIGINT, SIGTERM, a closed output (SIGPIPE is ignored, so a write
// fails instead) or a hang-up of the output's terminal.
class FollowLoop {
 public:
  struct Callbacks {
    // Takes a reading, asking providers only when their floors allow. Runs on the worker thread.
    std::function<std::optional<Snapshot>()> read;
    // The line for a reading, without its line break.
    std::function<std::string(const std::optional<Snapshot>&)> render;
    // Seconds until the next reading is worth taking: a countdown may move, a provider fall due.
    std::function<double()> secondsToNextReading;
  };

  // `storedReading` is watched for other processes' readings; `outputFd` gets the lines.
  FollowLoop(Callbacks callbacks, std::filesystem::path storedReading, int outputFd);

  // Returns the exit status once the loop has ended.
  int run();

 private:
  Callbacks callbacks_;
  std::filesystem::path storedReading_;
  int outputFd_;
};

}  // namespace meterwright
