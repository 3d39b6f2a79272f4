#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "core/sync/lan/ConnectionCrowd.h"
#include "core/sync/lan/LocalNetworkPublisher.h"
#include "core/time/Clock.h"

namespace meterwright {
namespace {

using namespace std::chrono_literals;
using testing::ConnectionCrowd;

constexpr std::size_t hostileCount = 200;

// A field of /proc/self/status ("VmRSS", "VmHWM") in MiB; nothing when it cannot be read.
std::optional<double> statusMiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) != 0) continue;
    return std::stod(line.substr(field.size() + 1)) / 1024;  // the kernel writes kB
  }
  return std::nullopt;
}

// Starts the peak (VmHWM) afresh from the current resident size.
bool resetPeakResidentSize() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// The publisher's memory while 200 strangers each send all but the last byte of a 1 MiB frame.
// The argument is the largest frame an unrecognised connection may send: the publisher's own
// bound, and the protocol's 1 MiB for comparison. Unpaired connections are closed after 3 s here,
// so in the second case every body has arrived before the crowd is gone.
void BM_PublisherPeakMemoryUnderHeavyFrames(benchmark::State& state) {
  LocalNetworkPublisher::Limits limits;
  limits.pendingTimeout = 3s;
  limits.maximumUnrecognisedMessageBytes = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    const PairingIdentity mac(Uuid::random(), "Memory Mac");
    LocalNetworkPublisher publisher(mac, std::make_shared<SystemClock>(), nullptr, limits);
    if (!publisher.start(0, false).ok() || !publisher.waitUntilReady(10)) {
      state.SkipWithError("the publisher did not start listening");
      return;
    }
    ConnectionCrowd crowd;
    const std::optional<double> before = statusMiB("VmRSS");
    if (!before || !resetPeakResidentSize()) {
      state.SkipWithError("/proc/self cannot report or reset the peak resident size");
      return;
    }
    crowd.open(*publisher.port(), hostileCount, ConnectionCrowd::Behaviour::heavyFrame);
    if (!crowd.waitUntilConnected() || !crowd.waitUntilClosedByListener(hostileCount, 60s)) {
      state.SkipWithError("the publisher did not close every stranger");
      return;
    }
    const std::optional<double> peak = statusMiB("VmHWM");
    if (!peak) {
      state.SkipWithError("/proc/self/status has no peak resident size");
      return;
    }
    state.counters["peakResidentMiB"] = *peak;
    state.counters["growthMiB"] = *peak - *before;
    publisher.stop();
  }
}
BENCHMARK(BM_PublisherPeakMemoryUnderHeavyFrames)
    ->Arg(8192)
    ->Arg(1048576)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace meterwright
