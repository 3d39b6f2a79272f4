#pragma once

#include <optional>
#include <string>

#include "core/settings/EnvironmentBlock.h"

// What the tray needs of the session bus, asked once for --diagnose: a bus, a
// StatusNotifierWatcher on it and a host registered with that watcher.
namespace meterwright::TrayCheck {

// How one question went. Decided by what happened, never by an error's words.
enum class Answer {
  yes,
  no,
  // Nothing came back within the deadline.
  silent,
  // The reply was not of the type asked for.
  garbled,
  // The bus or the peer returned an error.
  refused,
  // Not asked: an earlier step failed.
  notAsked,
};

struct Facts {
  // A session bus address was found; `bus` says whether it could be opened.
  bool busAddress = false;
  Answer bus = Answer::notAsked;
  Answer watcher = Answer::notAsked;
  Answer host = Answer::notAsked;
};

// Asks the session bus, each step within `deadlineSeconds`, iterating the thread-default main
// context meanwhile: for command-line jobs, never the application's main loop. The connection is
// closed before this returns.
Facts gather(const EnvironmentBlock& environment, double deadlineSeconds);

}  // namespace meterwright::TrayCheck
