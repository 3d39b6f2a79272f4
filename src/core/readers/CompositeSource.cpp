#include "core/readers/CompositeSource.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/providers/PollingPolicy.h"
#include "core/usage/SnapshotStore.h"

namespace meterwright {

namespace {

// However often a provider fails, it is asked again at least every half hour.
constexpr double maxBackoff = 1800;

}  // namespace

CompositeSource::CompositeSource(Readers readers, bool claudeDirect, const Config& config,
                                 FileLocations locations, std::shared_ptr<const Clock> clock)
    : claudeReader_(std::move(readers.claude)),
      claudeDirect_(claudeDirect),
      locations_(std::move(locations)),
      clock_(std::move(clock)) {
  if (auto stored = SnapshotStore::load(SnapshotStore::sevenDays, clock_->now(), locations_)) {
    for (ProviderSnapshot& provider : stored->providers) {
      lastKnown_.insert_or_assign(provider.id, std::move(provider));
    }
  }
  if (claudeDirect_ && claudeReader_) {
    sources_["claude"] = polled("claude", claudeReader_, config);
    order_.push_back("claude");
  }
  if (readers.codex) {
    sources_["codex"] = polled("codex", std::move(readers.codex), config);
    order_.push_back("codex");
  }
}

std::shared_ptr<PolledSource> CompositeSource::polled(const std::string& id,
                                                      std::shared_ptr<DiagnosableSource> reader,
                                                      const Config& config) const {
  std::optional<double> requested;
  if (const ProviderConfig* entry = config.provider(id)) requested = entry->pollSeconds;
  return std::make_shared<PolledSource>(std::move(reader), PollingPolicy::resolved(requested, id),
                                        maxBackoff, PollingPolicy::manualFloor, clock_);
}

std::string CompositeSource::name() const {
  return "direct";
}

std::optional<Snapshot> CompositeSource::read() {
  std::map<std::string, ProviderSnapshot> fresh;
  for (const std::string& id : order_) {
    if (auto reading = sources_.at(id)->read()) {
      for (ProviderSnapshot& provider : reading->providers) {
        fresh.insert_or_assign(provider.id, std::move(provider));
      }
    }
  }

  std::vector<ProviderSnapshot> providers;
  {
    std::lock_guard lock(lastKnownLock_);
    for (auto& [id, provider] : fresh) lastKnown_.insert_or_assign(id, provider);
    // The map is ordered by id, so the reading lists its providers in ascending id order.
    for (const auto& [id, provider] : lastKnown_) providers.push_back(provider);
  }
  if (providers.empty()) return std::nullopt;

  Date generatedAt = Date::min();
  for (const ProviderSnapshot& provider : providers) {
    if (provider.observedAt) generatedAt = std::max(generatedAt, *provider.observedAt);
  }
  Snapshot snapshot{generatedAt, std::move(providers), std::nullopt, "direct"};
  // A read in which nothing new arrived leaves the stored reading as it is.
  if (!fresh.empty()) SnapshotStore::save(snapshot, locations_);
  return snapshot;
}

std::vector<std::shared_ptr<PolledSource>> CompositeSource::nativeSources() const {
  std::vector<std::shared_ptr<PolledSource>> sources;
  for (const std::string& id : order_) {
    if (auto found = sources_.find(id); found != sources_.end()) sources.push_back(found->second);
  }
  return sources;
}

std::map<std::string, SourceFailure> CompositeSource::failures() const {
  std::map<std::string, SourceFailure> failures;
  for (const auto& [id, source] : sources_) {
    if (auto failure = source->lastFailure()) failures.emplace(id, std::move(*failure));
  }
  return failures;
}

double CompositeSource::manualRefreshAvailableIn() const {
  if (sources_.empty()) return 0;
  double shortest = std::numeric_limits<double>::infinity();
  for (const auto& source : nativeSources()) {
    shortest = std::min(shortest, source->manualRefreshAvailableIn());
  }
  return shortest;
}

bool CompositeSource::forceRefresh() {
  bool accepted = false;
  // Every source is asked, so one that accepts does not keep the others closed.
  for (const auto& source : nativeSources()) accepted = source->forceRefresh() || accepted;
  return accepted;
}

std::map<std::string, ProviderSnapshot> CompositeSource::lastKnown() const {
  std::lock_guard lock(lastKnownLock_);
  return lastKnown_;
}

void CompositeSource::forget(const std::string& id) {
  std::lock_guard lock(lastKnownLock_);
  lastKnown_.erase(id);
}

}  // namespace meterwright
