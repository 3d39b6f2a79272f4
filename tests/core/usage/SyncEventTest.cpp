#include <gtest/gtest.h>

#include <string>

#include "core/sync/protocol/SyncCoding.h"
#include "core/text/LocalizedModule.h"
#include "core/usage/SyncEvent.h"

namespace meterwright {
namespace {

TEST(SyncEvent, IdentifiersTextsAlertsAndWireFormOfEveryCase) {
  struct Row {
    SyncEvent event;
    std::string id, title, body;
    bool alerts;
    std::string json;
  };
  coreText().choose({{"en"}});
  for (const Row& row : {
           Row{{SyncEvent::WindowReset{"claude", "Claude", "5h", false}},
               "reset-claude-5h",
               "Claude 5h quota reset",
               "The 5h window rolled over \u2014 full quota again.",
               false,
               R"({"windowReset":{"provider":"claude","providerName":"Claude","window":"5h",)"
               R"("wasSpent":false}})"},
           Row{{SyncEvent::WindowReset{"codex", "Codex", "7d", true}},
               "reset-codex-7d",
               "Codex 7d is back \u2014 100% again",
               "The 7d window has rolled over. You can carry on.",
               true,
               R"({"windowReset":{"provider":"codex","providerName":"Codex","window":"7d",)"
               R"("wasSpent":true}})"},
           Row{{SyncEvent::RunningLow{"claude", "Claude", "5h", 15}},
               "low-claude-5h-15",
               "Claude 5h at 15% left",
               "15% of the 5h window is left.",
               true,
               R"({"runningLow":{"provider":"claude","providerName":"Claude","window":"5h",)"
               R"("remainingPercent":15}})"},
           Row{{SyncEvent::Exhausted{"codex", "Codex", "90m"}},
               "out-codex-90m",
               "Codex 90m quota is spent",
               "The 90m window is used up until it resets.",
               true,
               R"({"exhausted":{"provider":"codex","providerName":"Codex","window":"90m"}})"},
           Row{{SyncEvent::ProviderOffline{"codex", "Codex", "Gone quiet."}},
               "offline-codex",
               "Codex stopped reporting",
               "Gone quiet.",
               false,
               R"({"providerOffline":{"provider":"codex","providerName":"Codex",)"
               R"("reason":"Gone quiet."}})"},
           Row{{SyncEvent::SignInExpiring{"claude", "Claude", 42}},
               "signin-claude",
               "Claude sign-in expires soon",
               "About 42 minutes left. Open it on your computer and it renews itself.",
               true,
               R"({"signInExpiring":{"provider":"claude","providerName":"Claude",)"
               R"("minutesLeft":42}})"},
       }) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(row.event.id(), row.id);
    EXPECT_EQ(row.event.title(), row.title);
    EXPECT_EQ(row.event.body(), row.body);
    EXPECT_EQ(row.event.deservesAlert(), row.alerts);
    EXPECT_EQ(SyncCoding::encode(row.event), row.json);
    EXPECT_EQ(SyncCoding::decodeEvent(row.json), row.event);
  }
  coreText().choose(std::nullopt);
}

TEST(SyncEvent, DecodingNeedsEveryKeyAndOneKnownCase) {
  for (const char* text : {
           R"({"exhausted":{"provider":"c","providerName":"C"}})",
           R"({"exhausted":{"providerName":"C","window":"5h"}})",
           R"({"exhausted":{"provider":"c","providerName":"C","window":null}})",
           R"({"windowReset":{"provider":"c","providerName":"C","window":"5h","wasSpent":1}})",
           R"({"runningLow":{"provider":"c","providerName":"C","window":"5h",)"
           R"("remainingPercent":14.5}})",
           R"({"providerOffline":{"provider":"c","providerName":"C"}})",
           R"({"signInExpiring":{"provider":"c","providerName":"C","minutesLeft":"5"}})",
           R"({"signedOut":{"provider":"c","providerName":"C"}})",
           R"({"exhausted":{"provider":"c","providerName":"C","window":"5h"},"note":1})",
           R"({"exhausted":[]})",
           R"({})",
       }) {
    EXPECT_EQ(SyncCoding::decodeEvent(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace meterwright
