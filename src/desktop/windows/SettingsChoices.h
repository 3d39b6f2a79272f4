#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/Config.h"
#include "core/time/Clock.h"
#include "core/usage/Snapshot.h"
#include "core/usage/SourceFailure.h"
#include "core/usage/UsageWindow.h"

namespace meterwright {

class PolledSource;

// What the Connections tab says of one polled source, taken from it when the tab is built.
struct SourceState {
  std::string name;
  // The windows of its last good reading; nothing before the first.
  std::optional<std::vector<UsageWindow>> windows;
  std::optional<SourceFailure> failure;
  Date nextAttempt;
  bool backingOff = false;
  double minimumInterval = 0;

  static SourceState of(const PolledSource& source);
};

// The settings window's rules, on plain values: which options a control offers, what a choice
// writes, and the status texts. The widgets around them only show and forward.
namespace SettingsChoices {

// One entry of a pop-up or segmented control: the text shown and the value written.
struct Option {
  std::string label;
  double value = 0;
};
struct Word {
  std::string label;
  std::string value;
};

std::vector<Word> menuBarStyles();
std::vector<Word> metrics();
std::vector<Word> touchBarStyles();
std::vector<Option> redrawIntervals();
std::vector<Option> staleAfterMinutes();
// The "Check every" table, without the options shorter than `floor`.
std::vector<Option> checkEvery(double floor);
// The first option not shorter than `seconds`, else the first; 0 for an empty list.
std::size_t preselected(const std::vector<Option>& options, double seconds);
// The index of the word equal to `value`; the first for any other value.
std::size_t selected(const std::vector<Word>& words, std::string_view value);

// The slider's value as written: the nearest step of 5 within 0…50.
int warnStep(double value);

// Checking adds the length, unchecking removes every occurrence; sorted ascending either way.
std::vector<int> toggledWindow(std::vector<int> windows, int minutes, bool checked);

// A desktop entry chosen in the icon chooser becomes "app:" and its path, any other file "file:"
// and its path.
std::string iconReference(const std::filesystem::path& chosen);

// "#" and six upper-case hexadecimal digits; channels 0…1, out-of-range values clamped.
std::string hexColour(double red, double green, double blue);

// "not present in snapshot", "live" or "data present, not fresh".
std::string providerState(const std::optional<Snapshot>& snapshot, std::string_view id);

// The polling summary of the Display tab; the general hint without sources.
std::string pollingSummary(const std::vector<SourceState>& sources);

// A Connections row's second line: what the source last read (or its failure, or "no data") and
// when it is next asked.
std::string sourceLine(const SourceState& source, Date now);

// The Claude Code sign-in's state; nothing when its expiry is not known.
std::optional<std::string> tokenLine(const std::optional<Date>& expiry, Date now);

// The status line under "Re-check now".
std::string recheckOutcome(bool accepted, double availableIn);

}  // namespace SettingsChoices
}  // namespace meterwright
