#pragma once

#include <memory>

#include "core/readers/CompositeSource.h"
#include "desktop/app/ReadingSource.h"

namespace meterwright {

class ClaudeDirectSource;

// The process's composite source with its Claude reader: the application's real ReadingSource.
class CompositeReadingSource final : public ReadingSource {
 public:
  CompositeReadingSource(std::unique_ptr<CompositeSource> source,
                         std::shared_ptr<ClaudeDirectSource> claude);

  std::optional<Snapshot> read() override;
  bool forceRefresh() override;
  double manualRefreshAvailableIn() const override;
  std::map<std::string, SourceFailure> failures() const override;
  bool claudeDirect() const override;
  std::optional<Date> sessionExpiry() const override;
  void forget(const std::string& id) override;
  std::vector<std::shared_ptr<PolledSource>> polledSources() const override;

  // The composite source itself, for the setup assistant's per-provider reports.
  const std::shared_ptr<CompositeSource>& composite() const { return source_; }

 private:
  std::shared_ptr<CompositeSource> source_;
  std::shared_ptr<ClaudeDirectSource> claude_;
};

}  // namespace meterwright
