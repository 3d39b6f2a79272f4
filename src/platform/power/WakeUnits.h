#pragma once

#include <string>
#include <string_view>

// The systemd units of the daily wake: a timer that wakes the machine from suspend at a time of
// day and starts a service that does nothing (the wake itself is the point: the running program
// then publishes a reading).
namespace meterwright::WakeUnits {

inline constexpr const char* timerName = "meterwright-wake.timer";
inline constexpr const char* serviceName = "meterwright-wake.service";

// Two-digit hours, minutes and seconds, 00:00:00 to 23:59:59, nothing else.
bool isTimeOfDay(std::string_view time);

// The timer's text for a time that passed isTimeOfDay.
std::string timer(const std::string& time);
std::string service();

}  // namespace meterwright::WakeUnits
