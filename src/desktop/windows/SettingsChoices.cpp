#include "desktop/windows/SettingsChoices.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/format/Format.h"
#include "core/providers/PollingPolicy.h"
#include "core/readers/PolledSource.h"
#include "desktop/text/DesktopText.h"

namespace meterwright {

SourceState SourceState::of(const PolledSource& source) {
  SourceState state;
  state.name = source.name();
  if (auto cached = source.cachedSnapshot()) {
    state.windows.emplace();
    for (const ProviderSnapshot& provider : cached->providers)
      state.windows->insert(state.windows->end(), provider.windows.begin(), provider.windows.end());
  }
  state.failure = source.lastFailure();
  state.nextAttempt = source.nextAttempt();
  state.backingOff = source.isBackingOff();
  state.minimumInterval = source.minimumInterval();
  return state;
}

namespace SettingsChoices {

using desktop::L;

std::vector<Word> menuBarStyles() {
  return {{L("settings.style.bars", "Bars"), "bars"},
          {L("settings.style.detailed", "Detailed"), "detailed"},
          {L("settings.style.text", "Text"), "text"}};
}

std::vector<Word> metrics() {
  return {{L("settings.show.used", "Used %"), "used"},
          {L("settings.show.remaining", "Remaining %"), "remaining"}};
}

std::vector<Word> touchBarStyles() {
  return {{L("settings.layout.compact", "Compact"), "bars"},
          {L("settings.layout.detailed", "Detailed"), "detailed"}};
}

std::vector<Option> redrawIntervals() {
  return {{L("settings.interval.15s", "15 seconds"), 15},
          {L("settings.interval.30s", "30 seconds"), 30},
          {L("settings.interval.1m", "1 minute"), 60},
          {L("settings.interval.5m", "5 minutes"), 300}};
}

std::vector<Option> staleAfterMinutes() {
  return {{L("settings.interval.10m", "10 minutes"), 10},
          {L("settings.interval.20m", "20 minutes"), 20},
          {L("settings.interval.45m", "45 minutes"), 45},
          {L("settings.interval.2h", "2 hours"), 120}};
}

std::vector<Option> checkEvery(double floor) {
  std::vector<Option> all{{L("settings.interval.5m", "5 minutes"), 300},
                          {L("settings.interval.10m", "10 minutes"), 600},
                          {L("settings.interval.15m", "15 minutes"), 900},
                          {L("settings.interval.30m", "30 minutes"), 1800},
                          {L("settings.interval.1h", "1 hour"), 3600}};
  std::erase_if(all, [floor](const Option& option) { return option.value < floor; });
  return all;
}

std::size_t preselected(const std::vector<Option>& options, double seconds) {
  auto found = std::find_if(options.begin(), options.end(),
                            [seconds](const Option& option) { return option.value >= seconds; });
  return found == options.end() ? 0 : std::size_t(found - options.begin());
}

std::size_t selected(const std::vector<Word>& words, std::string_view value) {
  auto found = std::find_if(words.begin(), words.end(),
                            [value](const Word& word) { return word.value == value; });
  return found == words.end() ? 0 : std::size_t(found - words.begin());
}

int warnStep(double value) {
  if (!std::isfinite(value)) return 0;
  return int(std::lround(std::clamp(value, 0.0, 50.0) / 5)) * 5;
}

std::vector<int> toggledWindow(std::vector<int> windows, int minutes, bool checked) {
  std::erase(windows, minutes);
  if (checked) windows.push_back(minutes);
  std::sort(windows.begin(), windows.end());
  return windows;
}

std::string iconReference(const std::filesystem::path& chosen) {
  return (chosen.extension() == ".desktop" ? "app:" : "file:") + chosen.string();
}

std::string hexColour(double red, double green, double blue) {
  auto byte = [](double channel) {
    if (!std::isfinite(channel)) channel = 0;
    return unsigned(std::lround(std::clamp(channel, 0.0, 1.0) * 255));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", byte(red), byte(green), byte(blue));
  return text;
}

std::string providerState(const std::optional<Snapshot>& snapshot, std::string_view id) {
  const ProviderSnapshot* provider = snapshot ? snapshot->provider(id) : nullptr;
  if (!provider) return L("settings.state.absent", "not present in snapshot");
  if (provider->isLive()) return L("settings.state.live", "live");
  return L("settings.state.stale", "data present, not fresh");
}

std::string pollingSummary(const std::vector<SourceState>& sources) {
  if (sources.empty())
    return L("settings.polling.hint",
             "Each provider is polled on its own schedule, with a minimum it cannot be pushed "
             "below. Providers explains why.");
  std::string entries;
  for (const SourceState& source : sources) {
    if (!entries.empty()) entries += ", ";
    std::string name = source.name.substr(0, source.name.find(" \u2014 "));
    entries +=
        L("settings.polling.every", "%@ every %@", name, Format::relative(source.minimumInterval));
  }
  return L("settings.polling.current",
           "Currently %@. Each has a minimum it cannot be pushed below \u2014 Providers explains "
           "why.",
           entries);
}

std::string sourceLine(const SourceState& source, Date now) {
  std::string read;
  if (source.windows && !source.windows->empty()) {
    for (const UsageWindow& window : *source.windows) {
      if (!read.empty()) read += " \u00B7 ";
      read += window.label() + " " +
              L("settings.connection.used", "%@ used", Format::percent(window.usedPercent));
    }
  } else if (source.failure) {
    read = source.failure->summary;
  } else {
    read = L("settings.connection.noData", "no data");
  }
  double left = secondsBetween(now, source.nextAttempt);
  if (source.backingOff && left > 0)
    return read + " \u00B7 " +
           L("settings.connection.backingOff", "backing off \u00B7 retry in %@",
             Format::relative(left));
  if (left > 0)
    return read + L("settings.connection.next", " \u00B7 next check in %@", Format::relative(left));
  return read + " \u00B7 " + L("settings.connection.due", "checking on next tick");
}

std::optional<std::string> tokenLine(const std::optional<Date>& expiry, Date now) {
  if (!expiry) return std::nullopt;
  double left = secondsBetween(now, *expiry);
  if (left > 0) {
    std::string line =
        L("settings.token.valid", "Claude Code token valid for %@", Format::relative(left));
    return left < PollingPolicy::sessionWarningLeadTime ? "\u26A0 " + line : line;
  }
  return L("settings.token.lapsed", "Claude Code token lapsed %@ ago \u2014 sign-in still valid",
           Format::relative(-left)) +
         " " + PollingPolicy::sessionRenewalHint();
}

std::string recheckOutcome(bool accepted, double availableIn) {
  if (accepted)
    return L("settings.recheck.asking",
             "Asking now \u2014 the rows above update when each answers.");
  if (availableIn > 0)
    return L("settings.throttled.wait", "Providers are throttled \u2014 try again in %@.",
             Format::relative(availableIn));
  return L("settings.throttled.now", "Providers are throttled right now.");
}

}  // namespace SettingsChoices
}  // namespace meterwright
