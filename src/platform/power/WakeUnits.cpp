#include "platform/power/WakeUnits.h"

#include <regex>

namespace meterwright::WakeUnits {

bool isTimeOfDay(std::string_view time) {
  static const std::regex pattern("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$");
  return std::regex_match(time.begin(), time.end(), pattern);
}

std::string timer(const std::string& time) {
  return "[Unit]\n"
         "Description=Wake the computer daily so Meterwright can publish a reading\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=*-*-* " +
         time +
         "\n"
         "WakeSystem=true\n"
         "Unit=" +
         serviceName +
         "\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string service() {
  return "[Unit]\n"
         "Description=Daily wake for Meterwright (the wake is all it does)\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "ExecStart=/bin/true\n";
}

}  // namespace meterwright::WakeUnits
