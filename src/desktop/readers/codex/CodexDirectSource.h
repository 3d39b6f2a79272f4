#pragma once

#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/providers/ProviderDescriptor.h"
#include "core/usage/SnapshotSource.h"
#include "desktop/readers/ReaderContext.h"

namespace meterwright {

// The Codex reader: for every reading it starts the user's `codex app-server`, asks it for the
// account's rate limits over line-delimited JSON-RPC and stops it again.
class CodexDirectSource : public DiagnosableSource {
 public:
  CodexDirectSource(std::string name, ProviderDescriptor provider, ReaderContext context);

  std::string name() const override;
  std::optional<Snapshot> read() override;
  std::optional<SourceFailure> lastFailure() const override;

  // One exchange with `executable app-server`: the "result" object of the answer to id 2, or
  // nothing (launch failed, output ended, an error answer, or `timeout` seconds passed).
  static std::optional<nlohmann::json> queryRateLimits(const std::string& executable,
                                                       double timeout,
                                                       const ReaderContext& context);

 private:
  std::string name_;
  ProviderDescriptor provider_;
  ReaderContext context_;
  mutable std::mutex lock_;
  std::optional<SourceFailure> lastFailure_;
};

}  // namespace meterwright
