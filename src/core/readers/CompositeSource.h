#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/Config.h"
#include "core/files/FileLocations.h"
#include "core/readers/PolledSource.h"
#include "core/time/Clock.h"
#include "core/usage/SnapshotSource.h"

namespace meterwright {

// The one object the rest of the program gets readings from. It owns one PolledSource per
// provider reader, asks them in a fixed order, merges their answers with the last known reading of
// every provider ever seen (seeded from the stored reading), stores the result and returns one
// Snapshot. It is cheap to build and is rebuilt rather than reconfigured: per configuration in the
// application, per run on the command line.
//
// Every process of the user shares the providers' poll states and the stored reading: a provider
// that is not due here, or that another process fetched since, is answered from the stored
// reading. A reading restored from there is "live" only when its provider's last attempt, in
// whichever process, succeeded and produced it; otherwise it is "cached" ("unavailable" stays).
//
// read() blocks for as long as the readers take (tens of seconds) and may run on several
// background threads at once; the other members are safe to call meanwhile.
class CompositeSource final : public SnapshotSource {
 public:
  // The readers of one composite source. `claude` is asked only when `claudeDirect` is on, but
  // kept either way.
  struct Readers {
    std::shared_ptr<DiagnosableSource> claude;
    std::shared_ptr<DiagnosableSource> codex;
  };

  // Over readers built elsewhere: the process's composition root passes the real ones, tests
  // scripted ones. `locations` and `clock` serve the stored reading.
  CompositeSource(Readers readers, bool claudeDirect, const Config& config, FileLocations locations,
                  std::shared_ptr<const Clock> clock);

  std::string name() const override;
  // Nothing only when no provider has ever produced a reading.
  std::optional<Snapshot> read() override;

  // The polled sources in the order they are asked.
  std::vector<std::shared_ptr<PolledSource>> nativeSources() const;
  // The polled source of one provider; null when it is not asked.
  std::shared_ptr<PolledSource> nativeSource(const std::string& id) const;
  // Provider id → the last failure of every source that has one.
  std::map<std::string, SourceFailure> failures() const;
  // The shortest wait of any source before "Refresh Now" can reach it; 0 when there are none.
  double manualRefreshAvailableIn() const;
  // Opens every source's manual gate (all of them, also after one has accepted); true when any
  // accepted.
  bool forceRefresh();

  bool claudeDirect() const { return claudeDirect_; }
  const std::shared_ptr<DiagnosableSource>& claudeReader() const { return claudeReader_; }

  // The newest reading of every provider seen, by id.
  std::map<std::string, ProviderSnapshot> lastKnown() const;
  // Drops one provider's last known reading (a newly applied configuration disabled it).
  void forget(const std::string& id);

 private:
  std::shared_ptr<PolledSource> polled(const std::string& id,
                                       std::shared_ptr<DiagnosableSource> reader,
                                       const Config& config) const;
  // A stored provider reading with the state it is shown with here. Called under lastKnownLock_.
  ProviderSnapshot restored(ProviderSnapshot provider) const;
  // Takes what other processes stored since into lastKnown_. Called under lastKnownLock_.
  void adoptStored(const Snapshot& stored);

  std::map<std::string, std::shared_ptr<PolledSource>> sources_;
  std::vector<std::string> order_;
  std::shared_ptr<DiagnosableSource> claudeReader_;
  bool claudeDirect_;
  FileLocations locations_;
  std::shared_ptr<const Clock> clock_;
  std::shared_ptr<PollStateStore> pollStates_;

  mutable std::mutex lastKnownLock_;
  std::map<std::string, ProviderSnapshot> lastKnown_;
  // Ids whose entry in lastKnown_ came from the stored reading rather than this process's readers.
  std::set<std::string> restored_;
  // Ids the owner dropped: never taken back from the stored reading.
  std::set<std::string> forgotten_;
};

}  // namespace meterwright
