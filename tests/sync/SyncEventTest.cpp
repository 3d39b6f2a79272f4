#include <gtest/gtest.h>

#include <string>

#include "core/sync/SyncEvent.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {
namespace {

// Each case and variant with its identifier, English texts and whether it alerts.
struct EventRow {
  SyncEvent event;
  std::string id;
  std::string title;
  std::string body;
  bool alerts;
};

TEST(SyncEvent, IdentifiersTextsAndAlertsOfEveryCase) {
  coreText().choose({{"en"}});
  for (const EventRow& row : {
           EventRow{{SyncEvent::WindowReset{"claude", "Claude", "5h", false}},
                    "reset-claude-5h",
                    "Claude 5h quota reset",
                    "The 5h window rolled over \u2014 full quota again.",
                    false},
           EventRow{{SyncEvent::WindowReset{"codex", "Codex", "7d", true}},
                    "reset-codex-7d",
                    "Codex 7d is back \u2014 100% again",
                    "The 7d window has rolled over. You can carry on.",
                    true},
           EventRow{{SyncEvent::RunningLow{"claude", "Claude", "5h", 15}},
                    "low-claude-5h-15",
                    "Claude 5h at 15% left",
                    "15% of the 5h window is left.",
                    true},
           EventRow{{SyncEvent::Exhausted{"codex", "Codex", "90m"}},
                    "out-codex-90m",
                    "Codex 90m quota is spent",
                    "The 90m window is used up until it resets.",
                    true},
           EventRow{{SyncEvent::ProviderOffline{"codex", "Codex", "Gone quiet."}},
                    "offline-codex",
                    "Codex stopped reporting",
                    "Gone quiet.",
                    false},
           EventRow{{SyncEvent::SignInExpiring{"claude", "Claude", 42}},
                    "signin-claude",
                    "Claude sign-in expires soon",
                    "About 42 minutes left. Open it on your Mac and it renews itself.",
                    true},
       }) {
    EXPECT_EQ(row.event.id(), row.id);
    EXPECT_EQ(row.event.title(), row.title) << row.id;
    EXPECT_EQ(row.event.body(), row.body) << row.id;
    EXPECT_EQ(row.event.deservesAlert(), row.alerts) << row.id;
  }
  coreText().choose(std::nullopt);
}

TEST(SyncEvent, RunningLowEventsOfDifferentLevelsHaveDifferentIdentities) {
  SyncEvent fifteen{SyncEvent::RunningLow{"claude", "Claude", "5h", 15}};
  SyncEvent five{SyncEvent::RunningLow{"claude", "Claude", "5h", 5}};
  EXPECT_NE(fifteen.id(), five.id());
  EXPECT_NE(fifteen, five);
  EXPECT_EQ(five.id(), "low-claude-5h-5");
}

TEST(SyncEvent, EveryCaseNamesItsProvider) {
  for (const SyncEvent& event : {
           SyncEvent{SyncEvent::WindowReset{"a", "A", "5h", false}},
           SyncEvent{SyncEvent::RunningLow{"a", "A", "5h", 1}},
           SyncEvent{SyncEvent::Exhausted{"a", "A", "5h"}},
           SyncEvent{SyncEvent::ProviderOffline{"a", "A", "r"}},
           SyncEvent{SyncEvent::SignInExpiring{"a", "A", 1}},
       }) {
    EXPECT_EQ(event.provider(), "a") << event.caseName();
    EXPECT_EQ(event.providerName(), "A") << event.caseName();
  }
}

}  // namespace
}  // namespace meterwright
