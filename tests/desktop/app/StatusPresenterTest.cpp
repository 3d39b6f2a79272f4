#include <gtest/gtest.h>

#include "desktop/app/AppHarness.h"
#include "desktop/app/StatusPresenter.h"

namespace meterwright {
namespace {

using testing::window;

TEST(StatusPresenter, NeedsAttentionAtOrBelowTheWarningThreshold) {
  struct Case {
    double used;
    int threshold;
    bool hasData;
    bool attention;
  };
  for (Case c : {Case{80, 20, true, true}, Case{79.5, 20, true, false}, Case{100, 0, true, false},
                 Case{120, 1, true, true}, Case{95, 20, false, false}}) {
    DisplayEntry entry;
    entry.hasData = c.hasData;
    entry.windows = {window(300, 10), window(10080, c.used)};
    Config config;
    config.warnBelowRemainingPercent = c.threshold;
    EXPECT_EQ(StatusPresenter::needsAttention({entry}, config), c.attention)
        << c.used << "% used, threshold " << c.threshold;
  }
}

TEST(StatusPresenter, EntryWithoutWindowsSaysNoData) {
  Date now = dateFromUnixSeconds(1'700'000'000);
  DisplayEntry codex;
  codex.name = "Codex";
  DisplayEntry claude;
  claude.name = "Claude";
  claude.hasData = true;
  claude.windows = {window(300, 42.9), window(10080, 7)};
  Snapshot snapshot{now, {}, std::nullopt, "direct"};
  StatusPresentation shown =
      StatusPresenter::describe(snapshot, {claude, codex}, testing::testConfig(), 0, now);
  EXPECT_EQ(shown.accessibilityLabel, "Meterwright");
  EXPECT_EQ(shown.accessibilityValue, "Claude 5h 43% used, 7d 7% used; Codex no data");
  EXPECT_EQ(shown.tooltip, "Claude: 5h 42%, 7d 7%\nCodex: no data");
}

}  // namespace
}  // namespace meterwright
