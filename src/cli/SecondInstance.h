#pragma once

#include <optional>

#include "cli/JobContext.h"
#include "core/control/ControlMessage.h"

// The command line's side of the one instance per user: whether an application already runs,
// found by its control socket, and what it answers.
namespace meterwright::SecondInstance {

// How long a running instance may take to accept a connection and to answer.
inline constexpr double answerDeadline = 5;

struct Reply {
  // An instance listens on the socket.
  bool running = false;
  // Its answer; nothing when it did not answer in time.
  std::optional<ControlAnswer> answer;
};

// Sends `request` to the running instance, when there is one.
Reply ask(const FileLocations& locations, const ControlRequest& request);

// For the application job, first: when an instance runs, it is asked to open its popup (or, when
// it runs without a tray, one line says that it runs), and the exit status is returned. Nothing
// when no instance runs: this process is to become it.
std::optional<int> tryHandOver(Jobs::Context& context);

// Says on standard error that the running instance did not answer; the job's exit status.
int notAnswered(Jobs::Context& context);

// Says on standard error why the running instance did not carry the request out.
int failed(Jobs::Context& context, const ControlFailure& failure);

}  // namespace meterwright::SecondInstance
