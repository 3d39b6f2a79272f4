#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SourceFailure.h"

namespace meterwright {

class PolledSource;

// What the application asks of its reader: the composite source and the Claude reader's sign-in
// expiry behind one face, so the controller can be driven by a scripted one.
//
// read() blocks for as long as the readers take and runs on the application's worker thread; the
// other members are called on the main thread, also while a read is in progress.
class ReadingSource {
 public:
  virtual ~ReadingSource() = default;

  // Nothing only when no provider has ever produced a reading.
  virtual std::optional<Snapshot> read() = 0;
  // Opens every provider's manual gate; true when any accepted.
  virtual bool forceRefresh() = 0;
  // Seconds until a manual reading can reach a provider; 0 or less when time does not limit it.
  virtual double manualRefreshAvailableIn() const = 0;
  // Provider id → the last failure of its reader.
  virtual std::map<std::string, SourceFailure> failures() const = 0;
  // Whether the Claude reader is polled.
  virtual bool claudeDirect() const = 0;
  // When the Claude sign-in lapses, as far as the Claude reader knows.
  virtual std::optional<Date> sessionExpiry() const = 0;
  // Drops one provider's remembered reading (the configuration disabled it).
  virtual void forget(const std::string& id) = 0;
  // The polled sources in the order they are asked, for the settings window's Connections tab;
  // none for a reader without them.
  virtual std::vector<std::shared_ptr<PolledSource>> polledSources() const { return {}; }
};

}  // namespace meterwright
