#include "desktop/app/CompositeReadingSource.h"

#include <utility>

#include "desktop/readers/claude/ClaudeDirectSource.h"

namespace meterwright {

CompositeReadingSource::CompositeReadingSource(std::unique_ptr<CompositeSource> source,
                                               std::shared_ptr<ClaudeDirectSource> claude)
    : source_(std::move(source)), claude_(std::move(claude)) {}

std::optional<Snapshot> CompositeReadingSource::read() {
  return source_->read();
}

bool CompositeReadingSource::forceRefresh() {
  return source_->forceRefresh();
}

double CompositeReadingSource::manualRefreshAvailableIn() const {
  return source_->manualRefreshAvailableIn();
}

std::map<std::string, SourceFailure> CompositeReadingSource::failures() const {
  return source_->failures();
}

bool CompositeReadingSource::claudeDirect() const {
  return source_->claudeDirect();
}

std::optional<Date> CompositeReadingSource::sessionExpiry() const {
  return claude_ ? claude_->sessionExpiry() : std::nullopt;
}

void CompositeReadingSource::forget(const std::string& id) {
  source_->forget(id);
}

std::vector<std::shared_ptr<PolledSource>> CompositeReadingSource::polledSources() const {
  return source_->nativeSources();
}

}  // namespace meterwright
