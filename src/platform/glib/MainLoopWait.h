#pragma once

#include <functional>

// Bounded waits for code that runs on the thread of a GLib main context without a loop of its
// own: the command-line jobs, and tests of the D-Bus components. The thread-default context is
// iterated, so asynchronous replies and timeouts are delivered meanwhile.
namespace meterwright::MainLoopWait {

// Iterates until `done` returns true or `seconds` pass; whether `done` came true.
bool until(const std::function<bool()>& done, double seconds);

// Iterates for `seconds`, handling whatever arrives.
void run(double seconds);

}  // namespace meterwright::MainLoopWait
