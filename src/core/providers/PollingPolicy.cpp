#include "core/providers/PollingPolicy.h"

#include <algorithm>
#include <cmath>

#include "core/format/ClampedInteger.h"
#include "core/providers/ProviderRegistry.h"
#include "core/text/LocalizedModule.h"

namespace meterwright::PollingPolicy {

double floor(std::string_view id) {
  return ProviderRegistry::resolved(id).pollFloor;
}

double defaultInterval(std::string_view id) {
  return ProviderRegistry::resolved(id).pollDefault;
}

std::string floorReason(std::string_view id) {
  return ProviderRegistry::resolved(id).floorReason;
}

double resolved(std::optional<double> requested, std::string_view id) {
  auto entry = ProviderRegistry::resolved(id);
  double interval = requested.value_or(entry.pollDefault);
  // A NaN request must not slip under the floor (std::max would keep it).
  if (std::isnan(interval)) interval = entry.pollDefault;
  return std::max(entry.pollFloor, interval);
}

std::optional<std::string> clampNotice(double requested, std::string_view id) {
  double minimum = floor(id);
  if (!(requested < minimum)) return std::nullopt;
  return L("polling.clampNotice", "The config asks for %1$@; Meterwright is using %2$@.",
           compact(requested), compact(minimum));
}

std::string compact(double seconds) {
  long long whole = clampedInteger(std::round(seconds));
  if (whole >= 3600 && whole % 3600 == 0) return std::to_string(whole / 3600) + "h";
  if (whole >= 60 && whole % 60 == 0) return std::to_string(whole / 60) + "m";
  return std::to_string(whole) + "s";
}

std::string redrawReason() {
  return L(
      "polling.redrawReason",
      "Redrawing never contacts a provider \u2014 it re-renders the numbers already fetched so "
      "countdowns keep ticking. The floor only stops it spinning.");
}

std::string manualReason() {
  return L("polling.manualReason",
           "Refresh Now asks straight away, but not more than once a minute, and it never "
           "overrides a provider that is already refusing.");
}

std::string sessionRenewalHint() {
  return L("polling.sessionRenewal",
           "Claude Code mints a new one the next time you use it \u2014 until then Meterwright "
           "keeps showing the last reading.");
}

std::string signedOutHint() {
  return L("polling.signedOut", "Sign in with the Claude Code CLI, then press Refresh Now.");
}

}  // namespace meterwright::PollingPolicy
