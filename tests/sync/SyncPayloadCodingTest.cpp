#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <utility>

#include "core/sync/ProviderConfigCoding.h"
#include "core/sync/SyncCoding.h"

namespace meterwright {
namespace {

using nlohmann::json;
using std::chrono::microseconds;

Date micros(long long count) {
  return Date{microseconds(count)};
}

SyncPayload samplePayload() {
  ProviderSnapshot claude{"claude", "Claude", "max", "live", micros(1'740'821'340'125'000), {}};
  claude.windows = {{300, 0.1 + 0.2, {}, {}}, {10080, 50, micros(1'741'132'800'000'000), "opus"}};
  ProviderSnapshot codex{"codex", "Codex \"β\"", {}, "unavailable", {}, {}};
  Snapshot snapshot{micros(1'740'821'400'500'000), {claude, codex}, "composite", "direct"};

  return SyncPayload{
      2,
      micros(1'740'821'400'250'000),
      "Ada's MacBook",
      snapshot,
      {ProviderConfig{"claude", "Claude", true, {300, 10080}, "sparkle", "#D97757", 300},
       ProviderConfig{"codex", "Codex", false, {}, "app:/usr/share/codex.png", "#2E6BE6", 600.5}},
      Config::Metric::used,
      20,
      {SyncEvent{SyncEvent::RunningLow{"claude", "Claude", "5h", 15}},
       SyncEvent{SyncEvent::WindowReset{"codex", "Codex", "7d", true}}},
      {{"claude", "\x89PNG"}},
  };
}

const std::string sampleText =
    R"({"version":2,"sentAt":1740821400.25,"sourceName":"Ada's MacBook","snapshot":)"
    R"({"generatedAt":1740821400.5,"providers":[{"id":"claude","name":"Claude","plan":"max",)"
    R"("state":"live","observedAt":1740821340.125,"windows":[{"windowMinutes":300,)"
    R"("usedPercent":0.30000000000000004},{"windowMinutes":10080,"usedPercent":50,)"
    R"("resetsAt":1741132800,"group":"opus"}]},{"id":"codex","name":"Codex \"β\"",)"
    R"("state":"unavailable","windows":[]}],"sourceName":"composite","sourcePath":"direct"},)"
    R"("providers":[{"id":"claude","label":"Claude","enabled":true,"windows":[300,10080],)"
    R"("icon":"sparkle","accent":"#D97757","pollSeconds":300},{"id":"codex","label":"Codex",)"
    R"("enabled":false,"windows":[],"icon":"app:/usr/share/codex.png","accent":"#2E6BE6",)"
    R"("pollSeconds":600.5}],"metric":"used","warnBelowRemainingPercent":20,"events":)"
    R"([{"runningLow":{"provider":"claude","providerName":"Claude","window":"5h",)"
    R"("remainingPercent":15}},{"windowReset":{"provider":"codex","providerName":"Codex",)"
    R"("window":"7d","wasSpent":true}}],"icons":{"claude":"iVBORw=="}})";

// The sample's JSON with the member at `pointer` replaced by the JSON `value`, or removed.
std::optional<SyncPayload> decodeEdited(const char* pointer, const std::string& value) {
  json document = json::parse(sampleText);
  json::json_pointer path(pointer);
  if (value.empty()) {
    document[path.parent_pointer()].erase(path.back());
  } else {
    document[path] = json::parse(value);
  }
  return SyncCoding::decodePayload(document.dump());
}

TEST(SyncPayloadCoding, WritesAllNineKeysInFieldOrderWithDatesAsSecondsSince1970) {
  EXPECT_EQ(SyncCoding::encode(samplePayload()), sampleText);
  EXPECT_EQ(SyncCoding::decodePayload(sampleText), samplePayload());
}

TEST(SyncPayloadCoding, EmptyEventsAndIconsAreStillWritten) {
  SyncPayload payload = samplePayload();
  payload.events.clear();
  payload.icons.clear();
  auto text = SyncCoding::encode(payload);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"("events":[],"icons":{}})"), std::string::npos) << *text;
}

TEST(SyncPayloadCoding, EventsAndIconsMayBeMissingOrNull) {
  SyncPayload expected = samplePayload();
  expected.events.clear();
  expected.icons.clear();

  json document = json::parse(sampleText);
  document.erase("events");
  document.erase("icons");
  EXPECT_EQ(SyncCoding::decodePayload(document.dump()), expected);

  document["events"] = nullptr;
  document["icons"] = nullptr;
  EXPECT_EQ(SyncCoding::decodePayload(document.dump()), expected);
}

TEST(SyncPayloadCoding, UnknownKeysAreIgnoredAtEveryLevel) {
  json document = json::parse(sampleText);
  document["colourScheme"] = "dark";
  document["providers"][0]["shortcut"] = "⌘K";
  document["snapshot"]["providers"][0]["windows"][0]["model"] = "opus";
  document["events"][0]["runningLow"]["severity"] = 2;
  EXPECT_EQ(SyncCoding::decodePayload(document.dump()), samplePayload());
}

TEST(SyncPayloadCoding, EveryOneOfTheFirstSevenKeysIsRequired) {
  for (const char* key : {"/version", "/sentAt", "/sourceName", "/snapshot", "/providers",
                          "/metric", "/warnBelowRemainingPercent"}) {
    EXPECT_EQ(decodeEdited(key, ""), std::nullopt) << key;
    EXPECT_EQ(decodeEdited(key, "null"), std::nullopt) << key;
  }
}

TEST(SyncPayloadCoding, AFaultAnywhereFailsTheWholePayload) {
  struct Edit {
    const char* pointer;
    std::string value;
  };
  for (const Edit& edit : {
           Edit{"/version", R"("2")"},
           Edit{"/sentAt", R"("2025-03-01T09:30:00Z")"},
           Edit{"/sourceName", "7"},
           Edit{"/metric", R"("left")"},
           Edit{"/metric", R"("Used")"},
           Edit{"/warnBelowRemainingPercent", "20.5"},
           Edit{"/providers", "{}"},
           Edit{"/providers/0/id", ""},
           Edit{"/providers/0/enabled", R"("yes")"},
           Edit{"/providers/0/windows", "[300, 7.5]"},
           Edit{"/providers/0/pollSeconds", R"("300")"},
           // Dates inside the snapshot are numbers as well.
           Edit{"/snapshot/generatedAt", R"("2025-03-01T09:30:00Z")"},
           Edit{"/snapshot/providers/0/windows/1/resetsAt", R"("2025-03-05T00:00:00Z")"},
           Edit{"/snapshot/sourcePath", ""},
           Edit{"/events", "{}"},
           Edit{"/events/0", R"({"runningOut":{"provider":"claude","providerName":"Claude"}})"},
           Edit{"/events/0/runningLow/remainingPercent", ""},
           Edit{"/icons", R"(["iVBORw=="])"},
           Edit{"/icons/claude", R"("iVBORw")"},
           Edit{"/icons/claude", "null"},
       }) {
    EXPECT_EQ(decodeEdited(edit.pointer, edit.value), std::nullopt)
        << edit.pointer << " = " << edit.value;
  }
}

TEST(SyncPayloadCoding, AProviderWithOnlyAnIdTakesTheCataloguesDefaults) {
  auto payload = decodeEdited("/providers", R"([{"id":"codex"},{"id":"acme","label":null}])");
  ASSERT_TRUE(payload);
  ASSERT_EQ(payload->providers.size(), 2u);
  const ProviderConfig& codex = payload->providers[0];
  EXPECT_EQ(codex.label, "Codex");
  EXPECT_TRUE(codex.enabled);
  EXPECT_TRUE(codex.windows.empty());
  EXPECT_EQ(codex.accent, "#2E6BE6");
  EXPECT_EQ(codex.pollSeconds, 600);
  const ProviderConfig& acme = payload->providers[1];
  EXPECT_EQ(acme.label, "Acme");
  EXPECT_EQ(acme.accent, "#8E8E93");
  EXPECT_EQ(acme.icon, "circle.hexagongrid.fill");
  EXPECT_EQ(acme.pollSeconds, 900);
}

TEST(SyncPayloadCoding, ProviderValuesAreCarriedAsWrittenWithoutMigration) {
  // The configuration file would replace this legacy accent and default symbol; the sender has
  // already settled its values, so the payload keeps them.
  auto entry = ProviderConfigCoding::decode(
      json::parse(R"({"id":"codex","accent":"#10A37F","icon":"sparkle"})"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->accent, "#10A37F");
  EXPECT_EQ(entry->icon, "sparkle");
}

TEST(SyncPayloadCoding, ValuesJsonCannotCarryFailTheEncode) {
  SyncPayload payload = samplePayload();
  payload.snapshot.providers[0].windows[0].usedPercent = std::nan("");
  EXPECT_EQ(SyncCoding::encode(payload), std::nullopt);

  payload = samplePayload();
  payload.providers[1].pollSeconds = HUGE_VAL;
  EXPECT_EQ(SyncCoding::encode(payload), std::nullopt);

  payload = samplePayload();
  payload.sourceName = "Ada\xc3";
  EXPECT_EQ(SyncCoding::encode(payload), std::nullopt);
}

TEST(SyncDateCoding, WholeInstantsAreIntegersAndFractionsAreKept) {
  EXPECT_EQ(SyncCoding::encodeDate(micros(1'740'821'400'000'000)).dump(), "1740821400");
  EXPECT_EQ(SyncCoding::encodeDate(micros(1'740'821'400'250'000)).dump(), "1740821400.25");
  EXPECT_EQ(SyncCoding::encodeDate(micros(-1'500'000)).dump(), "-1.5");
  EXPECT_EQ(SyncCoding::encodeDate(Date{}).dump(), "0");
  // Nanoseconds are rounded to the microsecond.
  EXPECT_EQ(
      SyncCoding::encodeDate(Date{std::chrono::nanoseconds(1'740'821'400'123'456'789)}).dump(),
      "1740821400.123457");

  EXPECT_EQ(SyncCoding::decodeDate(json::parse("1740821400.25")), micros(1'740'821'400'250'000));
  EXPECT_EQ(SyncCoding::decodeDate(json::parse("1740821400")), micros(1'740'821'400'000'000));
  EXPECT_EQ(SyncCoding::decodeDate(json::parse("1740821400.123457")),
            micros(1'740'821'400'123'457));
  EXPECT_EQ(SyncCoding::decodeDate(json::parse("-0.25")), micros(-250'000));
  EXPECT_EQ(SyncCoding::decodeDate(json::parse(R"("1740821400")")), std::nullopt);
  EXPECT_EQ(SyncCoding::decodeDate(json::parse("true")), std::nullopt);
  EXPECT_EQ(SyncCoding::decodeDate(json::parse("null")), std::nullopt);
}

TEST(SyncDateCoding, ADecodedDateReencodesToANumberThatDecodesToItAgain) {
  // Around 2^23 s a double's step is about a nanosecond, near the limits it is microseconds; both
  // are where naive conversions drift on every pass.
  for (const char* number :
       {"1740821400.123456789", "8388608.1234567891", "8388607.9999995", "0.0000004", "0.0000005",
        "-0.0000005", "-8388608.9999996", "9199999999.999999", "-9199999999.4999995", "1e300",
        "-1e300", "4.9e-324", "18446744073709551615", "-9223372036854775808"}) {
    auto first = SyncCoding::decodeDate(json::parse(number));
    ASSERT_TRUE(first) << number;
    auto again = SyncCoding::decodeDate(json::parse(SyncCoding::encodeDate(*first).dump()));
    EXPECT_EQ(again, first) << number;
  }
}

TEST(SyncDateCoding, TheDateCodingServesSnapshots) {
  auto coding = SyncCoding::dates();
  auto encoded = coding.encode(micros(1'740'821'400'500'000));
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->dump(), "1740821400.5");
  EXPECT_EQ(coding.decode(json(1740821400.5)), micros(1'740'821'400'500'000));
  EXPECT_EQ(coding.decode(json("1740821400.5")), std::nullopt);
}

TEST(SyncEventCoding, EachCaseIsOneMemberHoldingItsLabelledValues) {
  struct Row {
    SyncEvent event;
    std::string text;
  };
  for (const Row& row : {
           Row{{SyncEvent::WindowReset{"claude", "Claude", "5h", false}},
               R"({"windowReset":{"provider":"claude","providerName":"Claude","window":"5h",)"
               R"("wasSpent":false}})"},
           Row{{SyncEvent::RunningLow{"codex", "Codex", "7d", 0}},
               R"({"runningLow":{"provider":"codex","providerName":"Codex","window":"7d",)"
               R"("remainingPercent":0}})"},
           Row{{SyncEvent::Exhausted{"claude", "Claude", "90m"}},
               R"({"exhausted":{"provider":"claude","providerName":"Claude","window":"90m"}})"},
           Row{{SyncEvent::ProviderOffline{"codex", "Codex", "It has not answered."}},
               R"({"providerOffline":{"provider":"codex","providerName":"Codex",)"
               R"("reason":"It has not answered."}})"},
           Row{{SyncEvent::SignInExpiring{"claude", "Claude", 45}},
               R"({"signInExpiring":{"provider":"claude","providerName":"Claude",)"
               R"("minutesLeft":45}})"},
       }) {
    EXPECT_EQ(SyncCoding::encode(row.event), row.text);
    EXPECT_EQ(SyncCoding::decodeEvent(row.text), row.event) << row.text;
  }
}

TEST(SyncEventCoding, EveryKeyIsRequiredAndTheCaseMustBeKnownAndAlone) {
  for (const char* text : {
           R"({"exhausted":{"provider":"c","providerName":"C"}})",
           R"({"exhausted":{"provider":"c","window":"5h"}})",
           R"({"exhausted":{"providerName":"C","window":"5h"}})",
           R"({"exhausted":{"provider":"c","providerName":"C","window":null}})",
           R"({"windowReset":{"provider":"c","providerName":"C","window":"5h"}})",
           R"({"windowReset":{"provider":"c","providerName":"C","window":"5h","wasSpent":1}})",
           R"({"runningLow":{"provider":"c","providerName":"C","window":"5h",)"
           R"("remainingPercent":14.5}})",
           R"({"runningLow":{"provider":"c","providerName":"C","window":"5h"}})",
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
