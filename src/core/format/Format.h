#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/config/Config.h"
#include "core/config/ProviderConfig.h"
#include "core/settings/Environment.h"
#include "core/time/Clock.h"
#include "core/usage/ProviderSnapshot.h"
#include "core/usage/UsageWindow.h"

namespace meterwright::Format {

// Every number, countdown and clock time the user sees comes from here, so the tray, the menu
// rows, the command line and paired devices say the same thing. Texts follow the launch language.

// U+21BB CLOCKWISE OPEN CIRCLE ARROW: a window that resets (or has reset).
inline constexpr std::string_view resetGlyph = "\u21BB";

// The value rounded half away from zero, then "%": 37.5 → "38%", −0.4 → "0%".
std::string percent(double value);

// A compact duration: "<1m", "42m", "2h 5m", "3h", "6d 23h", "2d". Minutes are dropped once there
// is a day; negative durations count as none.
std::string relative(double seconds);

// A short clock time in the user's formatting locale and time zone: the time alone on the same
// calendar day as `now`, weekday and time up to six days ahead (and on any past day), month, day
// and time beyond that.
std::string clockTime(Date date, Date now);
// The same in an explicit ICU locale ("en_US", "de_DE") and time zone ("UTC", "Europe/Berlin").
std::string clockTime(Date date, Date now, std::string_view localeName,
                      std::string_view timeZoneId);

// The ICU locale clock times are formatted in: the first of LC_ALL, LC_TIME and LANG that is set,
// without its encoding or modifier; English when none is set or it is "C" or "POSIX".
std::string timeLocale(const Environment& environment);

double value(const UsageWindow& window, Config::Metric metric);

// "left" / "used" in the current language.
std::string metricWord(Config::Metric metric);
// "38% left" / "62% used" in the current language.
std::string metricPhrase(std::string_view text, Config::Metric metric);

// Whether the current language puts the metric word before the number ("noch 38%" rather than
// "38% left"); renderers then draw the word first.
bool metricWordLeads();
// The same rule for one "format.phrase.left" text.
bool metricWordLeads(std::string_view leftPhrase);

// One window in a few characters: "↻" once it has reset, "↻2h 5m" while it is spent and waiting
// for its reset, else its percentage in `metric`.
std::string headline(const UsageWindow& window, Config::Metric metric, Date now);

// "40% used · 60% left · resets in 2h 5m", or a note that the window has reset.
std::string caption(const UsageWindow& window, Date now);

// The ungrouped windows a provider shows by default: all of them in reading order, or the
// configured lengths in the configured order (a length the provider lacks is skipped).
std::vector<UsageWindow> windows(const ProviderSnapshot& provider, const ProviderConfig& config);

// windows() followed by every grouped window in reading order; the configuration never filters
// grouped windows.
std::vector<UsageWindow> allWindows(const ProviderSnapshot& provider, const ProviderConfig& config);

}  // namespace meterwright::Format
