#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace meterwright::PollingPolicy {

// Shortest menu bar redraw interval; the configuration's refreshSeconds is raised to it.
inline constexpr double redrawFloor = 15;
inline constexpr double defaultRedraw = 60;
// A manual refresh reaches a provider at most once per this interval.
inline constexpr double manualFloor = 60;
// How long before the Claude Code sign-in expires the program starts warning.
inline constexpr double sessionWarningLeadTime = 2700;

double floor(std::string_view id);
double defaultInterval(std::string_view id);
std::string floorReason(std::string_view id);

// The interval a provider is actually polled at: the request (or the provider's default) raised
// to its floor. Nothing can make the program ask more often than this.
double resolved(std::optional<double> requested, std::string_view id);

// The notice shown beside a provider whose configured interval is below its floor.
std::optional<std::string> clampNotice(double requested, std::string_view id);

// "15m", "1h", "90m", "90s": whole hours, else whole minutes, else seconds.
std::string compact(double seconds);

std::string redrawReason();
std::string manualReason();
std::string sessionRenewalHint();
std::string signedOutHint();

}  // namespace meterwright::PollingPolicy
