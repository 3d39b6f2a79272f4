#pragma once

#include <string>

#include "core/usage/Snapshot.h"

namespace meterwright::testing {

// Dates built without ISO 8601 parsing, so a fault in it cannot hide in the fixture.
inline const Date sampleTime = dateFromUnixSeconds(1'740'821'400);  // 2025-03-01T09:30:00Z

// Every optional field present once and absent once, and the reading's exact compact JSON form.
inline Snapshot sampleSnapshot() {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", addingSeconds(sampleTime, -60), {}};
  claude.windows = {{300, 0.1 + 0.2, {}, {}},
                    {10080, 50, addingSeconds(sampleTime, 311'400), "opus"}};
  ProviderSnapshot codex{"codex", "Codex \"β\"", {}, "unavailable", {}, {}};
  return Snapshot{sampleTime, {claude, codex}, "composite", "direct"};
}

inline const std::string sampleText =
    R"({"generatedAt":"2025-03-01T09:30:00Z","providers":[{"id":"claude","name":"Claude",)"
    R"("plan":"max","state":"live","observedAt":"2025-03-01T09:29:00Z","windows":[{"windowMinutes")"
    R"(:300,"usedPercent":0.30000000000000004},{"windowMinutes":10080,"usedPercent":50,"resetsAt":)"
    R"("2025-03-05T00:00:00Z","group":"opus"}]},{"id":"codex","name":"Codex \"β\"","state":)"
    R"("unavailable","windows":[]}],"sourceName":"composite","sourcePath":"direct"})";

}  // namespace meterwright::testing
