#pragma once

#include <memory>

#include "core/files/FileLocations.h"
#include "core/settings/EnvironmentBlock.h"
#include "core/time/Clock.h"

namespace meterwright {

class HttpTransport;
class SecretStore;
class ClaudeSessionRenewer;

// How long the readers wait for the outside world, in seconds. The program uses the defaults;
// tests shorten them so a misbehaving fake costs a fraction of a second.
struct ReaderDeadlines {
  double claudeRequest = 15;
  double codexExchange = 20;
  double renewal = 60;
  // `claude auth status`, asked for the plan of a stored long-lived token.
  double planQuery = 10;
  // Between asking a child to stop and killing it.
  double terminationGrace = 5;
  bool operator==(const ReaderDeadlines&) const = default;
};

// Everything a reader takes from the outside: folders, environment, time, the network, the secret
// store and the process-wide renewer. The composition root builds the real one; tests build their
// own.
struct ReaderContext {
  FileLocations locations;
  // Looked up for PATH, CLAUDE_CONFIG_DIR and METERWRIGHT_CLAUDE_USAGE_URL, and handed to children.
  EnvironmentBlock environment;
  std::shared_ptr<const Clock> clock;
  std::shared_ptr<HttpTransport> http;
  std::shared_ptr<SecretStore> secrets;
  std::shared_ptr<ClaudeSessionRenewer> renewer;
  ReaderDeadlines deadlines;
};

}  // namespace meterwright
