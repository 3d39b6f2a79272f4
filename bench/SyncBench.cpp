#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/sync/pairing/EnvelopeSealing.h"
#include "core/sync/protocol/SyncFraming.h"

namespace meterwright {
namespace {

const Date now = dateFromUnixSeconds(1'740'821'400);

// Incompressible stand-in for a rendered provider icon.
std::string iconBytes(std::uint32_t seed) {
  std::string bytes(4096, '\0');
  for (char& byte : bytes) {
    seed = seed * 1'103'515'245u + 12'345u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}

// What the sync manager publishes on a typical machine: two providers, three windows, two icons.
SyncPayload realisticPayload() {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", addingSeconds(now, -30), {}};
  claude.windows = {{300, 42.5, addingSeconds(now, 7200), {}},
                    {10080, 18, addingSeconds(now, 400'000), {}}};
  ProviderSnapshot codex{"codex", "Codex", "plus", "live", addingSeconds(now, -45), {}};
  codex.windows = {{300, 71, addingSeconds(now, 3000), {}}};
  SyncPayload payload;
  payload.sentAt = now;
  payload.sourceName = "Studio workstation";
  payload.snapshot = Snapshot{now, {claude, codex}, "composite", "direct"};
  payload.providers = {
      ProviderConfig{"claude", "Claude", true, {300, 10080}, "sparkle", "#D97757", 300},
      ProviderConfig{"codex", "Codex", true, {300}, "terminal", "#10A37F", 300}};
  payload.events = {SyncEvent{SyncEvent::RunningLow{"codex", "Codex", "5h", 29}}};
  payload.icons = {{"claude", iconBytes(1)}, {"codex", iconBytes(2)}};
  return payload;
}

void BM_SealAndOpenPayload(benchmark::State& state) {
  const SyncPayload payload = realisticPayload();
  const SymmetricKey key = SymmetricKey::random();
  const Uuid sender = Uuid::random();
  for (auto _ : state) {
    SyncResult<SyncEnvelope> envelope = EnvelopeSealing::seal(payload, sender, key);
    SyncResult<SyncPayload> opened = EnvelopeSealing::open(envelope.value(), key);
    benchmark::DoNotOptimize(opened);
  }
}
BENCHMARK(BM_SealAndOpenPayload);

// A burst of protocol traffic as one receive buffer: snapshot frames carrying sealed payloads,
// interleaved with the small control messages.
void BM_FramingDecode(benchmark::State& state) {
  const SyncPayload payload = realisticPayload();
  const SymmetricKey key = SymmetricKey::random();
  const Uuid sender = Uuid::random();
  std::string stream;
  for (int i = 0; i < 64; ++i) {
    SyncEnvelope envelope = EnvelopeSealing::seal(payload, sender, key).value();
    stream += SyncFraming::encode(SyncMessage{envelope}).value();
    stream += SyncFraming::encode(SyncMessage{SyncMessage::RequestSnapshot{}}).value();
    stream += SyncFraming::encode(SyncMessage{SyncMessage::Welcome{2, sender, "Studio"}}).value();
  }
  for (auto _ : state) {
    std::string buffer = stream;
    auto messages = SyncFraming::decode(buffer);
    benchmark::DoNotOptimize(messages);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_FramingDecode);

}  // namespace
}  // namespace meterwright
