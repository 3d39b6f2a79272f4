#include "core/readers/CompositeSource.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/providers/PollingPolicy.h"
#include "core/text/TextCase.h"
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
      clock_(std::move(clock)),
      pollStates_(PollStateStore::inFolder(locations_.pollStateFolder())) {
  if (claudeDirect_ && claudeReader_) {
    sources_["claude"] = polled("claude", claudeReader_, config);
    order_.push_back("claude");
  }
  if (readers.codex) {
    sources_["codex"] = polled("codex", std::move(readers.codex), config);
    order_.push_back("codex");
  }
  // After the sources: whether a stored reading is live is their poll state's to say.
  if (auto stored = SnapshotStore::load(SnapshotStore::sevenDays, clock_->now(), locations_)) {
    adoptStored(*stored);
  }
}

std::shared_ptr<PolledSource> CompositeSource::polled(const std::string& id,
                                                      std::shared_ptr<DiagnosableSource> reader,
                                                      const Config& config) const {
  std::optional<double> requested;
  if (const ProviderConfig* entry = config.provider(id)) requested = entry->pollSeconds;
  return std::make_shared<PolledSource>(std::move(reader), PollingPolicy::resolved(requested, id),
                                        maxBackoff, PollingPolicy::manualFloor, clock_, pollStates_,
                                        id);
}

ProviderSnapshot CompositeSource::restored(ProviderSnapshot provider) const {
  if (TextCase::lowercased(provider.state) == "unavailable") return provider;
  auto source = sources_.find(provider.id);
  bool live = source != sources_.end() && source->second->lastAttemptProduced(provider.observedAt);
  provider.state = live ? "live" : "cached";
  return provider;
}

void CompositeSource::adoptStored(const Snapshot& stored) {
  for (const ProviderSnapshot& provider : stored.providers) {
    if (forgotten_.contains(provider.id)) continue;
    auto known = lastKnown_.find(provider.id);
    // A reading this process's reader produced (or its cache served) gives way only to a newer
    // one fetched elsewhere.
    if (known != lastKnown_.end() && !restored_.contains(provider.id) &&
        !(provider.observedAt > known->second.observedAt)) {
      continue;
    }
    lastKnown_.insert_or_assign(provider.id, restored(provider));
    restored_.insert(provider.id);
  }
}

std::string CompositeSource::name() const {
  return "direct";
}

std::optional<Snapshot> CompositeSource::read() {
  std::map<std::string, ProviderSnapshot> fresh;
  for (const std::string& id : order_) {
    if (auto reading = sources_.at(id)->read()) {
      // Stored at once, so other processes find the reading as soon as the poll state says the
      // attempt produced it. Unchanged readings (cache hits) leave the file alone.
      SnapshotStore::merge(reading->providers, clock_->now(), locations_);
      for (ProviderSnapshot& provider : reading->providers) {
        fresh.insert_or_assign(provider.id, std::move(provider));
      }
    }
  }
  // What other processes fetched meanwhile, or this one was not due to fetch.
  auto stored = SnapshotStore::load(SnapshotStore::sevenDays, clock_->now(), locations_);

  std::vector<ProviderSnapshot> providers;
  {
    std::lock_guard lock(lastKnownLock_);
    for (auto& [id, provider] : fresh) {
      lastKnown_.insert_or_assign(id, provider);
      restored_.erase(id);
      forgotten_.erase(id);
    }
    if (stored) adoptStored(*stored);
    // The map is ordered by id, so the reading lists its providers in ascending id order.
    for (const auto& [id, provider] : lastKnown_) providers.push_back(provider);
  }
  if (providers.empty()) return std::nullopt;

  Date generatedAt = Date::min();
  for (const ProviderSnapshot& provider : providers) {
    if (provider.observedAt) generatedAt = std::max(generatedAt, *provider.observedAt);
  }
  return Snapshot{generatedAt, std::move(providers), std::nullopt, "direct"};
}

std::vector<std::shared_ptr<PolledSource>> CompositeSource::nativeSources() const {
  std::vector<std::shared_ptr<PolledSource>> sources;
  for (const std::string& id : order_) {
    if (auto found = sources_.find(id); found != sources_.end()) sources.push_back(found->second);
  }
  return sources;
}

std::shared_ptr<PolledSource> CompositeSource::nativeSource(const std::string& id) const {
  auto found = sources_.find(id);
  return found == sources_.end() ? nullptr : found->second;
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
  restored_.erase(id);
  // Not taken back from the stored reading either, until this process reads it again.
  forgotten_.insert(id);
}

}  // namespace meterwright
