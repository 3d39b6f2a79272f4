#pragma once

#include <functional>

// The windows live on the thread that runs the GLib default main context, GTK's. Work finished
// elsewhere (a publisher's queue, a cloud folder read on a worker) comes back through here.
namespace meterwright::MainThread {

// Runs `action` on the default main context's next iteration. Callable from any thread; never
// runs `action` before returning, even on the main thread, so a caller's state is settled first.
void post(std::function<void()> action);

}  // namespace meterwright::MainThread
