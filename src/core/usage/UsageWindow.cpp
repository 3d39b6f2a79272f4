#include "core/usage/UsageWindow.h"

#include <algorithm>

namespace meterwright {

double UsageWindow::remainingPercent() const {
  return std::max(0.0, 100.0 - usedPercent);
}

bool UsageWindow::isSpent() const {
  return remainingPercent() < 0.5;
}

std::string UsageWindow::label() const {
  if (windowMinutes % 1440 == 0) return std::to_string(windowMinutes / 1440) + "d";
  if (windowMinutes % 60 == 0) return std::to_string(windowMinutes / 60) + "h";
  return std::to_string(windowMinutes) + "m";
}

std::string UsageWindow::identity() const {
  return group.value_or("") + "\u00B7" + std::to_string(windowMinutes);
}

std::optional<double> UsageWindow::resetsIn(Date now) const {
  if (!resetsAt) return std::nullopt;
  return secondsBetween(now, *resetsAt);
}

bool UsageWindow::hasRolledOver(Date now) const {
  return resetsAt && now >= *resetsAt;
}

}  // namespace meterwright
