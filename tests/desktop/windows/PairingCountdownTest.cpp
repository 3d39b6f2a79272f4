#include <gtest/gtest.h>

#include <cmath>

#include "desktop/text/DesktopText.h"
#include "desktop/windows/PairingCountdown.h"

namespace meterwright {
namespace {

using WindowStyle::Tone;

TEST(PairingCountdown, CountsWholeSecondsAndTurnsOrangeUnderFifteen) {
  struct Case {
    double secondsLeft;
    PairingCountdown expected;
  };
  const Case cases[] = {
      {60, {"Expires in 60s", Tone::secondary, false}},
      {15, {"Expires in 15s", Tone::secondary, false}},
      {14.999, {"Expires in 14s", Tone::orange, false}},
      {14.5, {"Expires in 14s", Tone::orange, false}},
      {0.4, {"Expires in 0s", Tone::orange, false}},
      {0, {"This code has expired", Tone::secondary, true}},
      {-30, {"This code has expired", Tone::secondary, true}},
      {std::nan(""), {"This code has expired", Tone::secondary, true}},
  };
  for (const Case& test : cases)
    EXPECT_EQ(PairingCountdown::at(test.secondsLeft), test.expected) << test.secondsLeft;
}

TEST(PairingCountdown, FollowsTheLaunchLanguage) {
  desktopText().choose(std::vector<std::string>{"de"});
  EXPECT_EQ(PairingCountdown::at(14.5).text, "Läuft in 14s ab");
  EXPECT_EQ(PairingCountdown::done().text, "Fertig");
  desktopText().choose(std::nullopt);
}

}  // namespace
}  // namespace meterwright
